// The extraction engine: reads the archive, applies the name rules and the
// dialogues, and streams every entry into a sink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "names.h"
#include "sink.h"
#include "source.h"
#include "unzip32.h"
#include "workers.h"

namespace uz {

struct Settings {
    int message_level = 1;      // 0 every entry, 1 warnings and errors, 2 nothing
    bool list_only = false;
    bool keep_folders = true;
    NameRules rules = kHostRules;
    std::vector<std::string> include; // wildcard patterns; empty: every entry
    std::vector<std::string> exclude;
    int password_prompts = 3;   // per entry, before it counts as a bad password
    UzStatistics *statistics = nullptr; // filled in at the end when set
    // Worker threads that write the next entries under temporary names while
    // this thread reaches them in turn (they start and end within the run):
    // 0 one per processor; 1 none, this thread does everything. At most
    // kMaxThreads, and never more than there are entries for them.
    unsigned threads = 0;
    ThreadStart start_thread = nullptr; // null: std::thread
};

inline constexpr unsigned kMaxThreads = 8;

// The longest piece of text one print callback receives, terminator excluded.
inline constexpr size_t kPrintMax = 32800;

// Converts UTF-8 text into the bytes handed to callbacks (ANSI on Windows),
// at most max_bytes of them and never ending inside a character.
using TextConverter = std::string (*)(const std::string &utf8, size_t max_bytes);
// UTF-8 unchanged, cut before a character that would not fit.
std::string identity_text(const std::string &utf8, size_t max_bytes);

// Runs one extraction (or listing); sink may be null when listing.
// Answers one of the UZ_* results.
int32_t run_extraction(Source &src, Sink *sink, const Settings &settings,
                       const UzCallbacks *callbacks, TextConverter to_callback_text = identity_text);

// Reads the archive's directory as every run begins: UZ_OK, UZ_WARNING (its
// entry count is wrong, or it holds none), or the code of an archive that
// cannot be read; what there is to say about it goes to said (UTF-8 lines).
int32_t read_directory(Source &src, Archive &ar, std::vector<std::string> &said);

// UzListEntries over a source: every entry's path as an extraction keeping
// folders would write it, its name and size.
int32_t list_entries(Source &src, UzPrintFn print, UzEntryFn entry, void *context, uint64_t &held);

} // namespace uz
