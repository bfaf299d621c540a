// Extractions checked on both paths: once with the calling thread alone
// (one thread) and once with workers. Both must leave the same files, tell
// the callbacks the same things in the same order, and answer the same.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "extract.h"
#include "memory_sink.h"
#include "test_util.h"

namespace uztest {

inline void expect_same_dialogue(const Recorder &serial, const Recorder &parallel,
                                 const std::string &context) {
    EXPECT_EQ(parallel.calls, serial.calls) << context;
    EXPECT_FALSE(serial.off_thread || parallel.off_thread)
        << context << ": a callback ran on another thread";
}

// The tree below root; folders made on the way carry the time of the run,
// so folder times are left out.
inline std::map<std::string, Node> snapshot(const fs::path &root) {
    auto t = tree(root);
    for (auto &entry : t)
        if (entry.second.folder) entry.second.mtime = 0;
    return t;
}

// The first path where two trees differ, or "".
inline std::string first_difference(const std::map<std::string, Node> &a,
                                    const std::map<std::string, Node> &b) {
    for (const auto &[path, node] : a)
        if (!b.count(path) || !(b.at(path) == node)) return path;
    for (const auto &entry : b)
        if (!a.count(entry.first)) return entry.first;
    return "";
}

// run(threads) extracts into folder with rec's table, on both paths. The
// folder is absent before each run, or as prepare leaves it; tidy takes out
// what must go before the folder can be removed. The parallel run's folder
// and record stay for the caller.
inline int32_t on_both_paths(const fs::path &folder, Recorder &rec,
                             const std::function<int32_t(unsigned threads)> &run,
                             const std::string &context = "",
                             const std::function<void()> &prepare = {},
                             const std::function<void()> &tidy = {}) {
    if (prepare) {
        prepare();
    } else {
        EXPECT_FALSE(fs::exists(folder)) << context;
    }
    const Recorder script = rec;
    const int32_t serial = run(1);
    const Recorder told = rec;
    const auto left = snapshot(folder);
    if (tidy) tidy();
    fs::remove_all(folder);
    if (prepare) prepare();
    rec = script;
    const int32_t parallel = run(kParallel);
    EXPECT_EQ(parallel, serial) << context;
    expect_same_dialogue(told, rec, context);
    EXPECT_EQ(first_difference(left, snapshot(folder)), "") << context;
    return parallel;
}

// ---- The engine over memory

struct InMemory {
    int32_t rc = 0;
    Recorder rec;
    UzStatistics stats{};
    std::map<std::string, uz::MemorySink::Stored> files;
    std::set<std::string> folders;
    std::map<std::string, uz::Stamp> folder_times;
    size_t open = 0;
    std::vector<std::pair<std::string, std::string>> staged; // file, the folder it was written in
};

// One run of the engine into sink; memory is the sink itself or the one
// behind it, whose contents are kept. service replaces the recorder's.
inline InMemory extract_into(uz::Source &src, unsigned threads, uz::Sink &sink,
                             const uz::MemorySink &memory, const Recorder &script = {},
                             uz::Settings s = {}, UzServiceFn service = nullptr) {
    InMemory out;
    out.rec = script;
    s.threads = threads;
    s.statistics = &out.stats;
    UzCallbacks cb = out.rec.table();
    if (service) cb.service = service;
    out.rc = uz::run_extraction(src, &sink, s, &cb);
    out.files = memory.files();
    out.folders = memory.folders();
    out.folder_times = memory.folder_times();
    out.open = memory.open_count();
    out.staged = memory.staged_in();
    return out;
}

inline InMemory extract_into(const Bytes &zip, unsigned threads, uz::Sink &sink,
                             const uz::MemorySink &memory, const Recorder &script = {},
                             const uz::Settings &s = {}) {
    uz::MemorySource src(zip.data(), zip.size());
    return extract_into(src, threads, sink, memory, script, s);
}

inline InMemory extract_in_memory(const Bytes &zip, unsigned threads, const Recorder &script = {},
                                  const uz::Settings &s = {}, size_t cap = 64 << 20) {
    uz::MemorySink sink(cap);
    return extract_into(zip, threads, sink, sink, script, s);
}

inline bool same_stamp(const uz::Stamp &a, const uz::Stamp &b) {
    return a.unix_valid == b.unix_valid && a.unix_sec == b.unix_sec && a.nsec == b.nsec &&
           a.dos_date == b.dos_date && a.dos_time == b.dos_time;
}

inline void expect_same(const InMemory &serial, const InMemory &parallel, const std::string &context) {
    EXPECT_EQ(parallel.rc, serial.rc) << context;
    expect_same_dialogue(serial.rec, parallel.rec, context);
    EXPECT_EQ(parallel.open, 0u) << context;
    // A file written ahead is made in its own folder, where it gets that
    // folder's access rights, and nowhere else.
    for (const auto &[path, folder] : parallel.staged) {
        const size_t slash = path.rfind('/');
        EXPECT_EQ(folder, slash == std::string::npos ? "" : path.substr(0, slash)) << context << ": " << path;
    }
    EXPECT_EQ(parallel.folders, serial.folders) << context;
    EXPECT_EQ(parallel.stats.entry_count, serial.stats.entry_count) << context;
    EXPECT_EQ(parallel.stats.total_size, serial.stats.total_size) << context;
    EXPECT_EQ(parallel.stats.total_packed_size, serial.stats.total_packed_size) << context;
    ASSERT_EQ(parallel.files.size(), serial.files.size()) << context;
    for (const auto &[path, f] : serial.files) {
        ASSERT_TRUE(parallel.files.count(path)) << context << ": " << path;
        const uz::MemorySink::Stored &g = parallel.files.at(path);
        EXPECT_TRUE(g.data == f.data && g.mode == f.mode && same_stamp(g.stamp, f.stamp))
            << context << ": " << path;
    }
    ASSERT_EQ(parallel.folder_times.size(), serial.folder_times.size()) << context;
    for (const auto &[path, st] : serial.folder_times) {
        EXPECT_TRUE(parallel.folder_times.count(path) && same_stamp(parallel.folder_times.at(path), st))
            << context << ": " << path;
    }
}

// Both paths over memory; the parallel run comes back.
inline InMemory both_in_memory(const Bytes &zip, const std::string &context = "",
                               const Recorder &script = {}, const uz::Settings &s = {},
                               size_t cap = 64 << 20) {
    const InMemory serial = extract_in_memory(zip, 1, script, s, cap);
    InMemory parallel = extract_in_memory(zip, kParallel, script, s, cap);
    expect_same(serial, parallel, context);
    return parallel;
}

} // namespace uztest
