// What only the worker threads can get wrong: a stop while later entries
// are being decoded, write failures of entries written ahead, entries that
// meet an earlier one of the same name, large entries, names already taken,
// damage in the middle, and threads that cannot be started. Each outcome is
// compared with the same extraction on one thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "both_paths.h"

namespace uztest {
namespace {

// Threads that pass it wait there (a while at most) until it opens.
class Gate {
public:
    void pass() {
        std::unique_lock<std::mutex> lock(m_);
        if (open_) return;
        ++held_;
        cv_.notify_all();
        if (!cv_.wait_for(lock, std::chrono::seconds(30), [&] { return open_; })) timed_out_ = true;
        --held_;
    }
    void open() {
        {
            const std::lock_guard<std::mutex> lock(m_);
            open_ = true;
            held_at_open_ = held_;
        }
        cv_.notify_all();
    }
    // Waits (a while at most) until n threads are held.
    void wait_until_held(int n) {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, std::chrono::seconds(30), [&] { return held_ >= n; });
    }
    int held_at_open() const { return held_at_open_; }
    bool timed_out() const { return timed_out_; }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false, timed_out_ = false;
    int held_ = 0, held_at_open_ = 0;
};

// The archive in memory, read the way a file is; a worker's read of
// anything at or beyond an offset waits at the gate.
class GatedSource final : public uz::Source {
public:
    GatedSource(const Bytes &zip, uint64_t from) : zip_(zip), from_(from) {}
    Gate gate;
    uint64_t size() const override { return zip_.size(); }
    size_t read_at(uint64_t off, void *buf, size_t n) override {
        if (off + n > from_ && std::this_thread::get_id() != caller_) gate.pass();
        return uz::MemorySource(zip_.data(), zip_.size()).read_at(off, buf, n);
    }

private:
    const Bytes &zip_;
    uint64_t from_;
    std::thread::id caller_ = std::this_thread::get_id();
};

// A memory sink behind hooks: one chosen file can fail once it holds some
// bytes, or when it is closed, for want of space or for good.
class HookSink final : public uz::Sink {
public:
    explicit HookSink(size_t cap = 64 << 20) : memory(cap) {}

    uz::MemorySink memory;
    std::string fail_path;
    size_t fail_after = SIZE_MAX; // a write that takes fail_path beyond this fails
    bool fail_close = false;
    bool fail_full = true;

    bool make_folder(const std::string &rel) override { return memory.make_folder(rel); }
    bool has_folder(const std::string &rel) override { return memory.has_folder(rel); }
    Create create(const std::string &rel, uint32_t mode, bool replace, File *&out) override {
        const Create c = memory.create(rel, mode, replace, out);
        if (c == Create::Created) {
            const std::lock_guard<std::mutex> lock(m_);
            written_[out] = {rel, 0};
        }
        return c;
    }
    Create stage(const std::string &rel, const std::string &folder, uint32_t mode, File *&out) override {
        const Create c = memory.stage(rel, folder, mode, out);
        if (c == Create::Created) {
            const std::lock_guard<std::mutex> lock(m_);
            written_[out] = {rel, 0};
            staged_.insert(rel);
        }
        return c;
    }
    // Whether a worker has begun writing anything meant for rel.
    bool was_staged(const std::string &rel) {
        const std::lock_guard<std::mutex> lock(m_);
        return staged_.count(rel) > 0;
    }
    Create place(File *f, bool replace) override { return memory.place(f, replace); }
    bool occupied(const std::string &rel) override { return memory.occupied(rel); }
    bool write(File *f, const uint8_t *data, size_t n, Failure &why) override {
        std::string path;
        size_t had = 0;
        {
            const std::lock_guard<std::mutex> lock(m_);
            auto &w = written_.at(f);
            path = w.first;
            had = w.second;
            w.second += n;
        }
        if (path == fail_path && had + n > fail_after) {
            why = {fail_full ? "no space left on the test device" : "the test device failed", fail_full};
            return false;
        }
        return memory.write(f, data, n, why);
    }
    bool close(File *f, const uz::Stamp &st, Failure &why) override {
        if (forget(f) == fail_path && fail_close) {
            memory.discard(f);
            why = {"the test device refused to close", fail_full};
            return false;
        }
        return memory.close(f, st, why);
    }
    void discard(File *f) override {
        if (forget(f).empty()) ++dropped; // complete, and written for nothing
        memory.discard(f);
    }
    std::atomic<int> dropped{0};
    void set_folder_time(const std::string &rel, const uz::Stamp &st) override {
        memory.set_folder_time(rel, st);
    }
    std::string last_error() const override { return memory.last_error(); }

private:
    // A staged file is forgotten once closed, and may be discarded after.
    std::string forget(File *f) {
        const std::lock_guard<std::mutex> lock(m_);
        const auto it = written_.find(f);
        if (it == written_.end()) return {};
        const std::string path = it->second.first;
        written_.erase(it);
        return path;
    }

    std::mutex m_;
    std::map<File *, std::pair<std::string, size_t>> written_;
    std::set<std::string> staged_;
};

// Compressible but not trivial data, different for every seed.
Bytes filler(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto &c : b) c = static_cast<uint8_t>('a' + rng() % 8);
    return b;
}

EntrySpec deflated(const std::string &name, size_t size, unsigned seed) {
    EntrySpec e;
    e.name = name;
    e.data = filler(size, seed);
    e.method = 8;
    return e;
}

// A file from before the run, or one another program makes meanwhile.
void put_old(uz::MemorySink &m, const std::string &name) {
    uz::Sink::File *f = nullptr;
    uz::Sink::Failure why;
    ASSERT_EQ(m.create(name, 0666, false, f), uz::Sink::Create::Created) << name;
    m.write(f, reinterpret_cast<const uint8_t *>("old"), 3, why);
    m.close(f, {}, why);
}

// Waits (30 s at most) until test() holds; false when it never does.
bool eventually(const std::function<bool()> &test) {
    for (int i = 0; i < 3000 && !test(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return test();
}

size_t names_in(const fs::path &folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// ---- A stop while later entries are being decoded

Gate *g_gate = nullptr;
std::string g_stop_name;
int32_t g_stop_answer = 0;

// When the stop entry comes up, waits until workers are held decoding both
// entries after it, then lets them go on.
int32_t UZ_CALL gate_service(const char *name, int32_t size) {
    rec_service(name, size);
    if (name != g_stop_name) return 0;
    if (g_gate) {
        g_gate->wait_until_held(2);
        g_gate->open();
    }
    return g_stop_answer;
}

TEST(Parallel, StopWhileLaterEntriesAreDecoded) {
    struct Case {
        const char *what;
        int32_t service_answer;
        bool file_exists;
    } const cases[] = {
        {"service callback says stop", 1, false},
        {"replace question answered stop", 0, true},
    };
    // The big entry keeps the reads of every entry up to the stop (a worker
    // reads a whole window ahead) short of the last file's data, which the
    // big entry's own reads reach.
    ZipBuilder zb;
    for (int i = 0; i < 3; ++i) zb.add(deflated("before" + std::to_string(i) + ".txt", 200000, i));
    EntrySpec big = deflated("after.bin", 1200000, 8);
    big.method = 0;
    zb.add("stop.txt", "new").add(big).add(deflated("after.txt", 1000, 9)).add("later/", "");
    const Bytes zip = zb.finish();
    const std::string last = "after.txt";
    const uint64_t last_data =
        static_cast<uint64_t>(std::search(zip.begin(), zip.end(), last.begin(), last.end()) - zip.begin()) +
        last.size();
    for (const Case &c : cases) {
        g_stop_name = "stop.txt";
        g_stop_answer = c.service_answer;
        InMemory runs[2];
        int held = 0;
        for (const unsigned threads : {1u, kParallel}) {
            HookSink sink;
            if (c.file_exists) put_old(sink.memory, "stop.txt");
            GatedSource src(zip, last_data);
            g_gate = threads > 1 ? &src.gate : nullptr;
            Recorder script;
            script.replace_answers = {UZ_REPLACE_STOP};
            uz::Settings s;
            s.message_level = 0;
            runs[threads > 1] = extract_into(src, threads, sink, sink.memory, script, s, gate_service);
            EXPECT_FALSE(src.gate.timed_out()) << c.what;
            if (threads > 1) held = src.gate.held_at_open();
            g_gate = nullptr;
        }
        expect_same(runs[0], runs[1], c.what);
        const InMemory &run = runs[1];
        EXPECT_EQ(run.rc, UZ_ABORTED) << c.what;
        EXPECT_EQ(held, 2) << c.what << ": the entries after the stop were not being decoded";
        for (int i = 0; i < 3; ++i) {
            const std::string name = "before" + std::to_string(i) + ".txt";
            ASSERT_TRUE(run.files.count(name)) << c.what << ": " << name;
            EXPECT_TRUE(run.files.at(name).data == filler(200000, i)) << c.what << ": " << name;
        }
        EXPECT_FALSE(run.files.count("after.txt") || run.files.count("after.bin") ||
                     run.folders.count("later"))
            << c.what;
        EXPECT_EQ(run.files.count("stop.txt"), c.file_exists ? 1u : 0u) << c.what;
        EXPECT_NE(run.rec.printed().find("stopped: stop.txt"), std::string::npos) << c.what;
    }
}

// ---- Write failures of entries decoded ahead

void expect_write_failures_as_on_one_thread(size_t size) {
    ZipBuilder zb;
    for (int i = 0; i < 8; ++i) zb.add(deflated("d" + std::to_string(i % 2) + "/f" + std::to_string(i), size, i));
    const Bytes zip = zb.finish();
    struct Case {
        const char *what;
        std::string path;
        size_t after;
        bool at_close;
        bool full; // else the failure is the file's own, and what was written ahead stays
        const char *text;
    } const cases[] = {
        {"one file runs out of space", "d1/f3", size / 2, false, true, "no space left on the test device"},
        {"one file runs out at once", "d0/f0", 0, false, true, "no space left on the test device"},
        {"one file cannot be completed", "d0/f4", SIZE_MAX, true, false, "the test device refused to close"},
        {"one file fails for good halfway", "d1/f3", size / 2, false, false, "the test device failed"},
    };
    for (const Case &c : cases) {
        InMemory runs[2];
        for (const unsigned threads : {1u, kParallel}) {
            HookSink sink;
            sink.fail_path = c.path;
            sink.fail_after = c.after;
            sink.fail_close = c.at_close;
            sink.fail_full = c.full;
            uz::Settings s;
            s.message_level = 0;
            runs[threads > 1] = extract_into(zip, threads, sink, sink.memory, {}, s);
            EXPECT_TRUE(c.full || sink.dropped == 0) << c.what << ": files written ahead were dropped";
        }
        expect_same(runs[0], runs[1], c.what);
        EXPECT_EQ(runs[1].rc, UZ_DISK) << c.what;
        EXPECT_EQ(runs[1].files.size(), 7u) << c.what;
        EXPECT_FALSE(runs[1].files.count(c.path)) << c.what << ": a partial file is left";
        EXPECT_NE(runs[1].rec.printed().find("error: " + c.path + ": " + c.text), std::string::npos)
            << c.what << "\n" << runs[1].rec.printed();
    }

    // The sink runs out of memory as it moves a file written ahead to its
    // name: the file is still the run's, which discards it once.
    if (size > 64 << 10) {
        HookSink sink;
        sink.memory.place_fails = true;
        Recorder script;
        script.meanwhile = [&](const std::string &name) {
            if (name.ends_with("f2")) {
                EXPECT_TRUE(eventually([&] { return sink.was_staged("d0/f2"); }));
            }
        };
        EXPECT_THROW(extract_into(zip, kParallel, sink, sink.memory, script), std::bad_alloc);
        EXPECT_EQ(sink.memory.open_count(), 0u);
    }

    // The whole sink fills up: the same entries still fit as on one thread,
    // every file left is whole, and nothing stays open.
    const size_t cap = size * 10 / 3;
    const InMemory serial = extract_in_memory(zip, 1, {}, {}, cap);
    ASSERT_EQ(serial.rc, UZ_DISK);
    for (int round = 0; round < 5; ++round) {
        const InMemory run = extract_in_memory(zip, kParallel, {}, {}, cap);
        expect_same(serial, run, "the sink fills up");
        EXPECT_LT(run.files.size(), 8u);
        for (const auto &[path, f] : run.files) {
            const int i = path.back() - '0';
            EXPECT_TRUE(f.data == filler(size, static_cast<unsigned>(i))) << path;
        }
        EXPECT_EQ(run.stats.entry_count, run.files.size());
    }
}

TEST(Parallel, WriteFailuresOfEntriesDecodedAhead) {
    // Entries written to files ahead, and entries held in memory until this
    // thread writes them.
    for (const size_t size : {150000, 30000}) {
        SCOPED_TRACE(size);
        expect_write_failures_as_on_one_thread(size);
    }
}

// ---- Entries that meet an earlier one of the same name

TEST(Parallel, EntriesMeetingOneInFlight) {
    const EntrySpec big = deflated("same.txt", 600000, 1);
    EntrySpec damaged = deflated("same.txt", 600000, 2);
    damaged.crc = 0x12345678;
    EntrySpec damaged_file = damaged;
    damaged_file.name = "x";
    EntrySpec good_file = big;
    good_file.name = "x";
    EntrySpec secret = deflated("secret.txt", 5000, 3);
    secret.password = "right";
    struct Case {
        const char *what;
        Bytes zip;
        std::deque<int32_t> answers;
        std::deque<std::string> passwords = {};
    };
    const Case cases[] = {
        {"same name, replaced", ZipBuilder().add(big).add("same.txt", "second").finish(), {UZ_REPLACE_YES}},
        {"same name, kept", ZipBuilder().add(big).add("same.txt", "second").finish(), {UZ_REPLACE_NO}},
        {"same name, the first damaged", ZipBuilder().add(damaged).add("same.txt", "second").finish(), {}},
        {"a file where a folder goes", ZipBuilder().add(good_file).add("x/y.txt", "y").finish(), {}},
        {"a damaged file where a folder goes", ZipBuilder().add(damaged_file).add("x/y.txt", "y").finish(), {}},
        {"a damaged file, then the folder entry", ZipBuilder().add(damaged_file).add("x/", "").finish(), {}},
        {"an encrypted entry, a wrong password first", ZipBuilder().add(big).add(secret).finish(), {},
         {"wrong", "right"}},
    };
    for (const Case &c : cases) {
        TempDir dir;
        write_file(dir / "a.zip", c.zip);
        Recorder rec;
        rec.replace_answers = c.answers;
        rec.password_answers = c.passwords;
        on_both_paths(dir / "out", rec, [&](unsigned threads) {
            Mode run;
            run.threads = threads;
            return unzip(dir / "a.zip", dir / "out", rec, run);
        }, c.what);
        EXPECT_FALSE(rec.printed().empty()) << c.what;
    }
}

// ---- Large entries

// Every file of the tree, whole; a temporary name left behind shows here too.
void expect_files(const fs::path &root, const std::map<std::string, Bytes> &want,
                  const std::string &context) {
    std::map<std::string, Bytes> got;
    for (const auto &[path, node] : tree(root, false))
        if (!node.folder) got[path] = node.data;
    EXPECT_EQ(got.size(), want.size()) << context;
    for (const auto &[path, data] : got)
        EXPECT_TRUE(want.count(path) && want.at(path) == data) << context << ": " << path;
}

EntrySpec stored(const std::string &name, size_t size, unsigned seed) {
    EntrySpec e;
    e.name = name;
    e.data = Bytes(size);
    std::mt19937 rng(seed);
    for (auto &c : e.data) c = static_cast<uint8_t>(rng());
    return e;
}

// Entries far beyond a read window and beyond what would be held in memory,
// among small ones and folders.
std::vector<EntrySpec> large_and_small() {
    EntrySpec folder;
    folder.name = "d/";
    return {deflated("a.txt", 3000, 1),     deflated("big1.bin", 9 << 20, 2),
            folder,                         stored("d/big2.bin", 4 << 20, 3),
            deflated("d/b.txt", 20000, 4),  deflated("d/e/big3.bin", 3 << 20, 5),
            stored("c.bin", 1 << 20, 6),    deflated("d/e/f.txt", 10, 7)};
}

TEST(Parallel, LargeEntriesInOneThreadsOrder) {
#ifndef _WIN32
    // A group of this user's other than the one its files get (any, for root).
    std::optional<gid_t> group;
    gid_t groups[64];
    const int count = ::getgroups(64, groups);
    for (int i = 0; i < count && !group; ++i)
        if (groups[i] != ::getegid()) group = groups[i];
    if (::geteuid() == 0) group = ::getegid() + 1;
#endif
    ZipBuilder zb;
    std::map<std::string, Bytes> want, flat;
    for (const EntrySpec &e : large_and_small()) {
        zb.add(e);
        if (e.name.back() == '/') continue;
        want[e.name] = e.data;
        flat[e.name.substr(e.name.rfind('/') + 1)] = e.data;
    }
    const Bytes zip = zb.finish();
    struct Case {
        const char *what;
        bool keep;
        // Made before the run, as the setup makes its protected folders.
        std::vector<std::string> there;
        // The first of them passes its group on to what is made in it, as
        // a folder passes on its access list, which a file made elsewhere
        // and moved in would not have.
        bool passes_group_on = false;
    } const cases[] = {
        {"folders kept", true, {}},
        {"all in one folder", false, {}},
        {"the top folder and one below it there before", true, {"d", "d/e"}, true},
    };
    for (const Case &c : cases) {
        uz::Settings s;
        s.message_level = 0;
        s.keep_folders = c.keep;
        InMemory runs[2];
        for (const unsigned threads : {1u, kParallel}) {
            uz::MemorySink sink(64 << 20);
            for (const std::string &f : c.there) ASSERT_TRUE(sink.make_folder(f));
            runs[threads > 1] = extract_into(zip, threads, sink, sink, {}, s);
        }
        expect_same(runs[0], runs[1], c.what);
        EXPECT_EQ(runs[1].rc, UZ_OK) << c.what;
        EXPECT_EQ(runs[1].files.size(), want.size()) << c.what;
        // Such a folder is one to write ahead in, whoever made it.
        for (const char *name : {"d/big2.bin", "d/e/big3.bin"})
            EXPECT_TRUE(c.there.empty() || std::any_of(runs[1].staged.begin(), runs[1].staged.end(),
                                                       [&](const auto &st) { return st.first == name; }))
                << c.what << ": " << name << " not written ahead";

        TempDir dir;
        write_file(dir / "a.zip", zip);
        Recorder rec;
        on_both_paths(dir / "out", rec, [&](unsigned threads) {
            Mode m;
            m.threads = threads;
            m.keep_folders = c.keep;
            return unzip(dir / "a.zip", dir / "out", rec, m);
        }, c.what, [&] {
            for (const std::string &f : c.there) {
                fs::create_directories(dir / "out" / f);
#ifndef _WIN32
                if (c.passes_group_on && f == c.there[0] && group) {
                    ASSERT_TRUE(::chown((dir / "out" / f).c_str(), -1, *group) == 0 &&
                                ::chmod((dir / "out" / f).c_str(), 02775) == 0);
                }
#endif
            }
        });
        expect_files(dir / "out", c.keep ? want : flat, c.what);
#ifndef _WIN32
        for (const auto &[path, node] : c.passes_group_on ? tree(dir / "out" / c.there[0], false)
                                                          : std::map<std::string, Node>{}) {
            struct stat sb;
            EXPECT_TRUE(!group || (::stat((dir / "out" / c.there[0] / path).c_str(), &sb) == 0 && sb.st_gid == *group))
                << c.what << ": " << path << " was made elsewhere";
        }
#endif
    }
}

// ---- Names already taken ask before anything is written for them

// A file from before the run, with one time for every run: two runs would
// otherwise differ by the second each wrote it in.
void write_old(const fs::path &p) {
    write_file(p, Bytes{'o', 'l', 'd'});
    static const auto when =
        std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now()) - std::chrono::hours(9600);
    fs::last_write_time(p, when);
    ASSERT_EQ(fs::last_write_time(p), when) << p << ": the test cannot set the time";
}

TEST(Parallel, TakenNamesAskFirst) {
    const EntrySpec big1 = deflated("big1.bin", 3 << 20, 1), big2 = stored("d/big2.bin", 3 << 20, 2);
    EntrySpec again = deflated("big1.bin", 2 << 20, 3);
    // Who has the name: a file there before the run, an earlier entry of the
    // archive, or another program, which makes big1.bin just before its turn
    // once a worker is writing it ahead.
    enum Taken { Before, Earlier, Meanwhile };
    struct Case {
        const char *what;
        Taken taken;
        std::deque<int32_t> answers;
    } const cases[] = {
        {"files there before, both replaced", Before, {UZ_REPLACE_YES, UZ_REPLACE_YES}},
        {"files there before, the first kept", Before, {UZ_REPLACE_NO, UZ_REPLACE_YES}},
        {"files there before, stopped at the first", Before, {UZ_REPLACE_STOP}},
        {"an earlier entry of the name, replaced", Earlier, {UZ_REPLACE_YES}},
        {"an earlier entry of the name, kept", Earlier, {UZ_REPLACE_NO}},
        {"a file made meanwhile, kept", Meanwhile, {UZ_REPLACE_NO}},
        {"a file made meanwhile, replaced", Meanwhile, {UZ_REPLACE_YES}},
    };
    for (const Case &c : cases) {
        ZipBuilder zb;
        if (c.taken == Earlier) zb.add(again);
        for (int i = 0; i < 3; ++i) zb.add(deflated("f" + std::to_string(i), 200000, 10 + i));
        zb.add(big1).add(deflated("g.txt", 5000, 20));
        if (c.taken == Before) zb.add(big2);
        zb.add(deflated("h.txt", 5000, 21));
        const Bytes zip = zb.finish();
        const Bytes old{'o', 'l', 'd'}, made_meanwhile = c.answers[0] == UZ_REPLACE_YES ? big1.data : old;
        Recorder script;
        script.replace_answers = c.answers;
        uz::Settings s;
        s.message_level = 0;
        InMemory runs[2];
        for (const unsigned threads : {1u, kParallel}) {
            HookSink sink;
            if (c.taken == Before) {
                ASSERT_TRUE(sink.memory.make_folder("d"));
                for (const char *name : {"big1.bin", "d/big2.bin"}) put_old(sink.memory, name);
            }
            script.meanwhile = [&](const std::string &name) {
                if (c.taken != Meanwhile || name != "big1.bin") return;
                EXPECT_TRUE(threads == 1 || eventually([&] { return sink.was_staged(name); })) << c.what;
                put_old(sink.memory, name);
            };
            uz::MemorySource src(zip.data(), zip.size());
            runs[threads > 1] = extract_into(src, threads, sink, sink.memory, script, s);
            // A name that needed a question had nothing written for it by a
            // worker, unless it was taken only after.
            for (const std::string &name : runs[threads > 1].rec.replace_names)
                EXPECT_EQ(sink.was_staged(name), c.taken == Meanwhile && threads > 1) << c.what;
        }
        expect_same(runs[0], runs[1], c.what);
        EXPECT_EQ(runs[1].rec.replace_names.size(), c.answers.size()) << c.what;
        EXPECT_TRUE(c.taken != Meanwhile || runs[1].files.at("big1.bin").data == made_meanwhile) << c.what;

        // The same through the file layer, whose own check finds the files.
        TempDir dir;
        write_file(dir / "a.zip", zip);
        Recorder rec;
        rec.replace_answers = c.answers;
        unsigned threads_now = 0;
        rec.meanwhile = [&](const std::string &name) {
            if (c.taken != Meanwhile || name != "big1.bin") return;
            // f0 to f2 are in place; a fourth name is big1.bin's temporary file.
            EXPECT_TRUE(threads_now == 1 || eventually([&] { return names_in(dir / "out") > 3; })) << c.what;
            write_old(dir / "out/big1.bin");
        };
        const auto prepare = [&] {
            if (c.taken == Before) {
                write_old(dir / "out/big1.bin");
                write_old(dir / "out/d/big2.bin");
            }
        };
        on_both_paths(dir / "out", rec, [&](unsigned threads) {
            Mode m;
            m.threads = threads_now = threads;
            return unzip(dir / "a.zip", dir / "out", rec, m);
        }, c.what, prepare);
        EXPECT_EQ(rec.replace_names.size(), c.answers.size()) << c.what;
        EXPECT_TRUE(c.taken != Meanwhile || read_file(dir / "out/big1.bin") == made_meanwhile) << c.what;
    }
}

// ---- Damage in the middle, and a stop there

TEST(Parallel, DamagedLargeEntryInTheMiddle) {
    const std::vector<EntrySpec> before = {deflated("b0.bin", 3 << 20, 1), stored("b1.bin", 2 << 20, 2)};
    const std::vector<EntrySpec> after = {deflated("a0.bin", 3 << 20, 3), stored("d/a1.bin", 2 << 20, 4),
                                          deflated("d/a2.txt", 3000, 5)};
    EntrySpec bad_crc = deflated("bad.bin", 4 << 20, 6);
    bad_crc.crc = 0x12345678;
    EntrySpec too_long = deflated("bad.bin", 4 << 20, 7);
    too_long.usize = 2 << 20; // found out halfway through
    // The middle entry's name may be taken, before the run or by another
    // program just before its turn (once a worker is writing it ahead); the
    // question that follows ends the run.
    enum Taken { Free, Before, Meanwhile };
    struct Case {
        const char *what;
        EntrySpec middle;
        Taken taken;
        int32_t answer;
        int32_t rc;
    } const cases[] = {
        {"a CRC error at its end", bad_crc, Free, 0, UZ_BAD_ARCHIVE},
        {"more data than declared, halfway", too_long, Free, 0, UZ_BAD_ARCHIVE},
        {"a stop at its question", deflated("bad.bin", 4 << 20, 8), Before, UZ_REPLACE_STOP, UZ_ABORTED},
        {"an exception at its question, its file written ahead", deflated("bad.bin", 4 << 20, 9), Meanwhile,
         kReplaceThrows, UZ_FATAL},
    };
    for (const Case &c : cases) {
        ZipBuilder zb;
        std::map<std::string, Bytes> want;
        for (const EntrySpec &e : before) zb.add(e), want[e.name] = e.data;
        zb.add(c.middle);
        for (const EntrySpec &e : after) zb.add(e), want[e.name] = e.data;
        if (c.taken != Free) {
            want = {{before[0].name, before[0].data}, {before[1].name, before[1].data}};
            want["bad.bin"] = Bytes{'o', 'l', 'd'};
        }
        const Bytes zip = zb.finish();
        TempDir dir;
        write_file(dir / "a.zip", zip);
        Recorder rec;
        rec.replace_answers = {c.answer};
        unsigned threads_now = 0;
        rec.meanwhile = [&](const std::string &name) {
            if (c.taken != Meanwhile || name != "bad.bin") return;
            // Besides the two files in place, a temporary file: bad.bin's, or
            // a0.bin's, which the workers take only after bad.bin.
            EXPECT_TRUE(threads_now == 1 || eventually([&] { return names_in(dir / "out") > 2; })) << c.what;
            write_old(dir / "out/bad.bin");
        };
        const int32_t rc = on_both_paths(dir / "out", rec, [&](unsigned threads) {
            Mode m;
            m.threads = threads_now = threads;
            return unzip(dir / "a.zip", dir / "out", rec, m);
        }, c.what, [&] {
            if (c.taken == Before) write_old(dir / "out/bad.bin");
        });
        EXPECT_EQ(rc, c.rc) << c.what;
        // Earlier files whole, the damaged one absent, later ones whole (or
        // absent after a stop), and no temporary file anywhere.
        expect_files(dir / "out", want, c.what);
    }
}

// ---- Threads that cannot be started

std::atomic<int> g_starts{0}, g_alive{0};
int g_fail_at = -1;

std::thread counting_start(std::function<void()> body) {
    if (g_starts++ == g_fail_at)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    ++g_alive;
    return std::thread([body = std::move(body)] {
        body();
        --g_alive;
    });
}

TEST(Parallel, ThreadsThatCannotStart) {
    ZipBuilder zb;
    for (int i = 0; i < 12; ++i) zb.add(deflated("f" + std::to_string(i), 20000, i));
    zb.add("../bad.txt", "skipped with a warning");
    const Bytes zip = zb.finish();
    uz::Settings s;
    s.message_level = 0;
    const InMemory serial = extract_in_memory(zip, 1, {}, s);
    EXPECT_EQ(serial.rc, UZ_WARNING);
    for (const int fail_at : {0, 1, 3, -1}) {
        g_starts = 0;
        g_fail_at = fail_at;
        s.start_thread = counting_start;
        const InMemory run = extract_in_memory(zip, kParallel, {}, s);
        const std::string what = "start " + std::to_string(fail_at) + " fails";
        expect_same(serial, run, what);
        EXPECT_EQ(g_alive, 0) << what << ": a thread outlived the call";
        EXPECT_EQ(g_starts, fail_at < 0 ? static_cast<int>(kParallel) : fail_at + 1) << what;
    }
}

} // namespace
} // namespace uztest
