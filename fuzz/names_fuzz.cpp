// Fuzz target: the entry-name rules under both rule sets.
#include <cstddef>
#include <cstdint>
#include <string>

#include "check.h"
#include "names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string in(reinterpret_cast<const char *>(data), size);
    for (uz::NameRules rules : {uz::NameRules::Posix, uz::NameRules::Windows}) {
        const uz::CleanName r = uz::clean_entry_name(in, rules);
        if (!r.ok) {
            FUZZ_CHECK(r.path.empty());
            continue;
        }
        fuzzcheck::check_clean_path(r.path, rules);
        // Cleaning is idempotent, and a name fit for Windows is fit everywhere.
        const uz::CleanName again = uz::clean_entry_name(r.path, rules);
        FUZZ_CHECK(again.ok && again.path == r.path && !again.stripped);
        if (rules == uz::NameRules::Windows) {
            const uz::CleanName posix = uz::clean_entry_name(in, uz::NameRules::Posix);
            FUZZ_CHECK(posix.ok && posix.path == r.path);
        }
    }
    const std::string utf8 = uz::cp437_to_utf8(in);
    FUZZ_CHECK(uz::valid_utf8(utf8));
    FUZZ_CHECK(uz::wildcard_match(in, in));
    const size_t half = size / 2;
    uz::wildcard_match(in.substr(0, half), in.substr(half));
    return 0;
}
