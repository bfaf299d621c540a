// Fuzz target: a whole extraction from memory into a capped in-memory sink.
// Invariants: every written path is relative and clean, every kept file has
// exactly the declared size and CRC of an entry of that name and a time in
// the range Windows accepts, nothing stays open, the output cap holds, and
// callbacks get bounded, terminated texts on the calling thread. The same
// extraction with worker threads then gives the same result, callbacks (all
// kinds in one sequence) and files.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <zlib.h>

#include "archive.h"
#include "check.h"
#include "extract.h"
#include "memory_sink.h"
#include "source.h"

namespace {

constexpr size_t kCap = 16 << 20;
int g_prompts = 0;
int g_replaces = 0;
std::vector<std::string> g_calls; // every callback: its kind, then what it was given
std::thread::id g_caller;

int32_t UZ_CALL on_print(const char *text, int32_t length) {
    FUZZ_CHECK(std::this_thread::get_id() == g_caller);
    FUZZ_CHECK(length >= 0 && length <= 32800);
    FUZZ_CHECK(text[length] == '\0');
    g_calls.push_back("print " + std::string(text, static_cast<size_t>(length)));
    return 0;
}

int32_t UZ_CALL on_replace(char *name) {
    FUZZ_CHECK(std::this_thread::get_id() == g_caller);
    FUZZ_CHECK(strnlen(name, 256) < 256);
    g_calls.push_back(std::string("replace ") + name);
    return (++g_replaces % 3 == 0) ? UZ_REPLACE_YES : UZ_REPLACE_NO;
}

int32_t UZ_CALL on_password(char *buffer, int32_t size, const char *prompt, const char *name) {
    FUZZ_CHECK(std::this_thread::get_id() == g_caller);
    FUZZ_CHECK(size > 0 && size <= 256);
    FUZZ_CHECK(strnlen(name, 256) < 256 && prompt != nullptr);
    g_calls.push_back(std::string("password ") + name);
    static const char *const answers[] = {"pw", "", "secret"};
    if (g_prompts >= 3) return 1;
    const char *a = answers[g_prompts++];
    std::memcpy(buffer, a, std::strlen(a) + 1);
    return 0;
}

void UZ_CALL on_list(int32_t, int32_t, int32_t ratio, int32_t month, int32_t day, int32_t, int32_t hour,
                     int32_t minute, int32_t, const char *name, const char *method, uint32_t, int32_t) {
    FUZZ_CHECK(strnlen(name, 256) < 256 && method != nullptr);
    g_calls.push_back(std::string("list ") + name);
    FUZZ_CHECK(ratio >= 0 && ratio <= 1000 && month >= 0 && month < 16 && day >= 0 && day < 32 &&
               hour >= 0 && hour < 32 && minute >= 0 && minute < 64);
}

struct Result {
    int32_t rc;
    std::vector<std::string> calls;
};

Result extract(uz::Source &src, uz::MemorySink &sink, uz::Settings s, unsigned threads) {
    g_prompts = 0;
    g_replaces = 0;
    g_calls.clear();
    g_caller = std::this_thread::get_id();
    UzCallbacks cb{};
    cb.print = on_print;
    cb.replace = on_replace;
    cb.password = on_password;
    cb.message = on_list;
    s.threads = threads;
    const int32_t rc = uz::run_extraction(src, &sink, s, &cb);
    return {rc, g_calls};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const uint8_t mode = size ? data[size - 1] : 0;
    uz::Settings s;
    s.message_level = 0;
    s.rules = (mode & 1) ? uz::NameRules::Windows : uz::NameRules::Posix;
    s.keep_folders = !(mode & 2);
    s.list_only = (mode & 0x0C) == 0x0C;

    uz::MemorySource src(data, size);
    uz::MemorySink sink(kCap);
    UzStatistics stats{};
    s.statistics = &stats;
    const Result serial = extract(src, sink, s, 1);
    const int32_t rc = serial.rc;
    static const std::set<int32_t> known = {UZ_OK, UZ_WARNING, UZ_BAD_ARCHIVE, UZ_NO_MEMORY,
                                            UZ_NOT_ZIP, UZ_DISK, UZ_ABORTED, UZ_UNSUPPORTED,
                                            UZ_BAD_PASSWORD};
    FUZZ_CHECK(known.count(rc));
    if (s.list_only) FUZZ_CHECK(sink.files().empty() && sink.folders().empty());

    // What the central directory allows for each cleaned path.
    uz::Archive ar;
    std::multimap<std::string, std::pair<uint64_t, uint32_t>> allowed;
    if (uz::read_central_directory(src, ar).status == uz::ArchiveStatus::Ok) {
        for (const uz::Entry &en : ar.entries) {
            uz::CleanName cn = uz::clean_entry_name(en.name, s.rules);
            if (!cn.ok) continue;
            if (!s.keep_folders && cn.path.find('/') != std::string::npos)
                cn.path.erase(0, cn.path.rfind('/') + 1);
            allowed.emplace(cn.path, std::make_pair(en.usize, en.crc));
        }
    }
    const auto check_output = [&](const uz::MemorySink &out) {
        FUZZ_CHECK(out.open_count() == 0);
        FUZZ_CHECK(out.used() <= kCap);
        for (const auto &[path, stored] : out.files()) {
            fuzzcheck::check_clean_path(path, s.rules);
            FUZZ_CHECK(stored.filetime <= uz::kFiletimeMax);
            if (!s.keep_folders) FUZZ_CHECK(path.find('/') == std::string::npos);
            const uint32_t crc = static_cast<uint32_t>(
                crc32(0, stored.data.data(), static_cast<uInt>(stored.data.size())));
            bool match = false;
            auto range = allowed.equal_range(path);
            for (auto it = range.first; it != range.second; ++it)
                if (it->second.first == stored.data.size() && it->second.second == crc) match = true;
            FUZZ_CHECK(match);
        }
        for (const std::string &folder : out.folders()) fuzzcheck::check_clean_path(folder, s.rules);
    };
    check_output(sink);

    uz::MemorySink other(kCap);
    UzStatistics other_stats{};
    s.statistics = &other_stats;
    const Result parallel = extract(src, other, s, 3);
    check_output(other);
    FUZZ_CHECK(parallel.rc == rc && parallel.calls == serial.calls);
    FUZZ_CHECK(other.folders() == sink.folders() && other.files().size() == sink.files().size());
    for (const auto &[path, stored] : sink.files())
        FUZZ_CHECK(other.files().count(path) && other.files().at(path).data == stored.data);
    FUZZ_CHECK(other_stats.entry_count == stats.entry_count &&
               other_stats.total_size == stats.total_size);
    return 0;
}
