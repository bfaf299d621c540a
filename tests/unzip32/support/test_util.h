// Shared helpers of the library's tests: temporary folders, file trees, and
// recording callbacks with scripted answers.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "api.h"
#include "unzip32.h"
#include "zip_builder.h"

namespace uztest {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        static std::mt19937_64 rng(std::random_device{}());
        path_ = fs::temp_directory_path() / ("uz-test-" + std::to_string(rng()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const fs::path &path() const { return path_; }
    fs::path operator/(const std::string &rel) const { return path_ / fs::u8path(rel); }

private:
    fs::path path_;
};

inline void write_file(const fs::path &p, const Bytes &data) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes read_file(const fs::path &p) {
    std::ifstream in(p, std::ios::binary | std::ios::ate);
    if (!in) return {};
    Bytes b(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char *>(b.data()), static_cast<std::streamsize>(b.size()));
    return b;
}

inline std::string read_text(const fs::path &p) {
    const Bytes b = read_file(p);
    return std::string(b.begin(), b.end());
}

struct Node {
    bool folder = false;
    Bytes data;
    int64_t mtime = 0; // Unix seconds
    bool operator==(const Node &) const = default;
};

// INT64_MIN for a time the library's clock cannot hold (a clamped forged one).
inline int64_t mtime_of(const fs::path &p) {
    std::error_code ec;
    const auto t = fs::last_write_time(p, ec);
    if (ec) return INT64_MIN;
    const auto sys = std::chrono::file_clock::to_sys(t);
    return std::chrono::floor<std::chrono::seconds>(sys.time_since_epoch()).count();
}

// Every file and folder below root, keyed by '/'-separated UTF-8 path.
inline std::map<std::string, Node> tree(const fs::path &root, bool with_times = true) {
    std::map<std::string, Node> out;
    if (!fs::exists(root)) return out;
    for (const auto &e : fs::recursive_directory_iterator(root)) {
        Node n;
        n.folder = e.is_directory();
        if (!n.folder) n.data = read_file(e.path());
        if (with_times) n.mtime = mtime_of(e.path());
        const auto rel = e.path().lexically_relative(root).generic_u8string();
        out[std::string(rel.begin(), rel.end())] = std::move(n);
    }
    return out;
}

// A replace answer that is no answer: the callback throws instead.
inline constexpr int32_t kReplaceThrows = -99;

// Callbacks that record what they were given and answer from scripts.
struct Recorder {
    // Every callback as it came, whatever its kind: the kind, then what it
    // was given. Orders between kinds show only here.
    std::vector<std::string> calls;
    std::vector<std::string> prints;
    std::vector<std::string> replace_names;
    std::deque<int32_t> replace_answers; // empty: UZ_REPLACE_NO
    std::vector<std::string> password_names;
    std::deque<std::string> password_answers; // "\x1" means cancel; empty queue cancels
    struct Row {
        int32_t size, month, day, year, hour, minute;
        std::string name;
    };
    std::vector<Row> rows;
    std::vector<std::string> service_names;
    int32_t service_answer = 0;
    // Run by the service callback before it answers: what another program
    // does to the folder while the extraction goes on.
    std::function<void(const std::string &name)> meanwhile;
    bool fill_password_buffer = false; // write every announced byte, no terminator
    bool bad_text = false;             // a print callback broke its contract
    std::thread::id caller;            // the thread that set up the table
    bool off_thread = false;           // a callback came on another thread

    std::string printed() const {
        std::string all;
        for (const auto &p : prints) all += p;
        return all;
    }

    static Recorder *current;
    UzCallbacks table();
};

inline Recorder *Recorder::current = nullptr;

inline Recorder &on_call(const std::string &kind, const std::string &given) {
    Recorder &r = *Recorder::current;
    if (std::this_thread::get_id() != r.caller) r.off_thread = true;
    r.calls.push_back(kind + " " + given);
    return r;
}

inline int32_t UZ_CALL rec_print(const char *text, int32_t length) {
    const std::string given(text, static_cast<size_t>(std::max(length, 0)));
    Recorder &r = on_call("print", given);
    if (length < 0 || length > 32800 || text[length] != '\0') r.bad_text = true;
    r.prints.push_back(given);
    return 0;
}

inline int32_t UZ_CALL rec_replace(char *name) {
    Recorder &r = on_call("replace", name);
    if (strnlen(name, 256) > 255) r.bad_text = true;
    r.replace_names.emplace_back(name);
    if (r.replace_answers.empty()) return UZ_REPLACE_NO;
    const int32_t a = r.replace_answers.front();
    r.replace_answers.pop_front();
    if (a == kReplaceThrows) throw std::runtime_error("the replace callback failed");
    return a;
}

inline int32_t UZ_CALL rec_password(char *buffer, int32_t size, const char *prompt,
                                    const char *name) {
    Recorder &r = on_call("password", std::string(prompt ? prompt : "") + "|" + name);
    if (size <= 0 || size > 256 || !prompt || strnlen(name, 256) > 255) r.bad_text = true;
    r.password_names.emplace_back(name);
    if (r.fill_password_buffer) {
        std::memset(buffer, 'x', static_cast<size_t>(size));
        return 0;
    }
    if (r.password_answers.empty()) return 1;
    const std::string a = r.password_answers.front();
    r.password_answers.pop_front();
    if (a == "\x1") return 1;
    std::memcpy(buffer, a.c_str(), a.size() + 1);
    return 0;
}

inline void UZ_CALL rec_list(int32_t size, int32_t packed, int32_t ratio, int32_t month,
                             int32_t day, int32_t year, int32_t hour, int32_t minute, int32_t mark,
                             const char *name, const char *method, uint32_t crc, int32_t encrypted) {
    std::string given;
    for (const int64_t n : {int64_t{size}, int64_t{packed}, int64_t{ratio}, int64_t{month},
                            int64_t{day}, int64_t{year}, int64_t{hour}, int64_t{minute},
                            int64_t{mark}, int64_t{crc}, int64_t{encrypted}})
        given += std::to_string(n) + " ";
    on_call("list", given + name + "|" + method).rows.push_back({size, month, day, year, hour, minute, name});
}

inline int32_t UZ_CALL rec_service(const char *name, int32_t size) {
    Recorder &r = on_call("service", std::string(name) + "|" + std::to_string(size));
    r.service_names.emplace_back(name);
    if (r.meanwhile) r.meanwhile(name);
    return r.service_answer;
}

inline UzCallbacks Recorder::table() {
    current = this;
    caller = std::this_thread::get_id();
    UzCallbacks cb{};
    cb.print = rec_print;
    cb.replace = rec_replace;
    cb.password = rec_password;
    cb.message = rec_list;
    cb.service = rec_service;
    return cb;
}

struct Mode {
    int level = 0;
    bool list_only = false;
    bool keep_folders = true;
    unsigned threads = 0; // 0: the library's default
};

// The thread count of the tests' parallel runs: more workers than most
// machines have cores, so that entries overlap even on one core.
inline constexpr unsigned kParallel = 4;

// One call of the export, as a program would make it.
inline int32_t unzip(const fs::path &archive, const fs::path &folder, Recorder &rec,
                     Mode run = {}) {
    const std::string a = archive.string(), f = folder.string();
    UzOptions opt{};
    opt.message_level = run.level;
    opt.list_only = run.list_only ? 1 : 0;
    opt.keep_folders = run.keep_folders ? 1 : 0;
    opt.archive = a.c_str();
    opt.folder = f.c_str();
    UzCallbacks cb = rec.table();
    UzNameList none{};
    if (run.threads == 0) return Wiz_SingleEntryUnzip(0, &none, 0, &none, &opt, &cb);
    return uz::single_entry_unzip(0, &none, 0, &none, &opt, &cb, run.threads);
}

} // namespace uztest
