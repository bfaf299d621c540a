// One extraction (or listing): the state shared by the entry-by-entry work
// of the calling thread (extract.cpp) and the worker threads that write the
// later entries ahead of their turn (ahead.cpp).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "decoder.h"
#include "extract.h"

namespace uz {

inline constexpr size_t kCallbackName = 256; // bytes, terminator included
inline constexpr size_t kPasswordSize = 256;
inline constexpr size_t kPathMax = 4096;     // bytes of a cleaned path
// Entries handed to the workers and not yet reached, per worker.
inline constexpr size_t kAheadPerWorker = 8;
// Entries of at most this size wait in memory for their turn, and this
// thread writes them under their names: for small files that costs less
// than a temporary name and a move. Larger ones go to files ahead.
inline constexpr uint64_t kHeldMax = 64 << 10;

inline uint32_t file_mode(const Entry &en) { return en.unix_mode() & 0111 ? 0777 : 0666; }

// Where the folders of path still to be looked at begin: just past the
// deepest one above it that known() accepts, else at the start.
template <class Known> size_t past_known(const std::string &path, Known known) {
    for (size_t cut = path.rfind('/'); cut != std::string::npos && cut > 0; cut = path.rfind('/', cut - 1))
        if (known(path.substr(0, cut))) return cut + 1;
    return 0;
}

// An entry a worker decodes ahead of its turn: a small one into memory, a
// larger one into a file under a temporary name in the entry's own folder,
// once that folder is there (made by this run, or there before it). The
// file so has that folder's access rights from the start, and a move within
// the volume keeps them. Nothing of it can be seen until the calling thread
// reaches it: that thread makes every callback and every change to the
// folder in the order one thread alone would, because the answer to a
// callback (and the text of a message) may depend on how the entries before
// it went. At its turn the entry is written or its file moved to its name,
// or dropped.
struct Job : WorkItem {
    size_t turn = 0; // the entry's place in the extraction order
    const Entry *en = nullptr;
    bool held = false;    // decoded into memory, not into a file
    bool waiting = false; // its folder is not there yet: not handed out
    std::string path;     // where it goes
    std::string folder;   // path's folder, where its file is written meanwhile
    uint32_t mode = 0;
    // Set by the worker: the data of a held entry; the complete file (if
    // any) of another; how decoding went, or why not.
    std::vector<uint8_t> data;
    SinkFile file;
    Decoded result{Outcome::WriteError, "not written ahead"};
};

// A job's outcome, taken over by the calling thread at the entry's turn.
struct Staged {
    bool have = false; // false: no worker decoded the entry
    bool held = false;
    std::vector<uint8_t> data;
    SinkFile file;
    Decoded result;
};

enum class Opened { Yes, Skipped, Stopped };

class Run {
public:
    Run(Source &src, Sink *sink, const Settings &s, const UzCallbacks *cb, TextConverter conv)
        : src_(src), sink_(sink), s_(s), cb_(cb), conv_(conv), own_(src) {}
    // Whatever ended the run, the workers drop the entries they have not
    // begun, and what they wrote ahead is removed.
    ~Run();

    int32_t go();
    void fill(UzStatistics &st) const;

private:
    // ---- messages and callbacks (extract.cpp)
    void note(int32_t code);
    void print(const std::string &utf8);
    void info(const char *what, const std::string &path);
    void warn(const char *what, const std::string &name, const char *why);
    void callback_name(const std::string &utf8, char (&buf)[kCallbackName]) const;

    bool selected(const Entry &en) const;
    int32_t list();
    bool ensure_folder(const std::string &path);
    // false: stop everything (the user aborted)
    bool extract_entry(const Entry &en);
    bool extract_file(const Entry &en, const std::string &path);
    bool extract_encrypted(const Entry &en, const std::string &path);
    std::optional<bool> place_staged(const Entry &en, const std::string &path, SinkFile &file,
                                     bool &replace);
    Opened ask_replace(const std::string &path);
    Opened open_target(const Entry &en, const std::string &path, bool &replace, Sink::File *&file);
    bool next_password(const Entry &en, const char *cbname, size_t &known_next, int &prompts,
                       ZipCrypto &crypto, std::string &password, bool &cancelled);
    Decoded write_here(const Entry &en, const ZipCrypto *crypto, const std::string &path, bool replace,
                       Sink::File *file, const Staged *held = nullptr);
    void report(const Entry &en, const std::string &path, const Decoded &d);

    // ---- workers (ahead.cpp)
    std::string file_target(const Entry &en) const;
    unsigned worker_count() const;
    void start_workers(unsigned n);
    bool folder_on_disk(const std::string &folder);
    void look_ahead();
    Staged staged(size_t turn);
    bool reclaim(Job &job);
    void drop_ahead();
    bool retry_alone(bool full);
    void let_go_first();

    Source &src_;
    Sink *sink_;
    const Settings &s_;
    const UzCallbacks *cb_;
    TextConverter conv_;
    Decoder own_;
    Archive ar_;
    std::unordered_set<std::string> folders_; // made (or found) by this thread at their turn
    std::vector<std::pair<std::string, Stamp>> folder_times_;
    std::vector<std::string> passwords_; // accepted in this run, newest last
    bool passwords_cancelled_ = false;
    int32_t result_ = UZ_OK;
    uint64_t total_size_ = 0, total_packed_ = 0;
    uint32_t processed_ = 0;

    std::vector<const Entry *> order_; // the entries to extract, in turn
    size_t turn_ = 0;                  // the one this thread is at

    std::vector<std::unique_ptr<Decoder>> decoders_; // one per worker
    std::deque<Job> ahead_;    // handed out, in turn order
    size_t next_ahead_ = 0;    // the first turn not yet considered for a worker
    std::unordered_set<std::string> targets_; // of the turns considered so far
    std::unordered_set<std::string> on_disk_; // folders seen there before their turn
    size_t waiting_ = 0;       // jobs in ahead_ waiting for their folder
    bool alone_ = false;       // the disk filled up: the rest is this thread's
    // The workers' part is over: they skip what is left, and give up the
    // entry they are writing.
    std::atomic<bool> quit_{false};
    // Last, so that the threads are joined before anything they use goes away.
    Workers<Job> workers_;
};

} // namespace uz
