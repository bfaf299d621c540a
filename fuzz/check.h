// Invariant checks shared by the fuzz targets: abort() on a violation, so
// that both libFuzzer and the replay test report it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "names.h"

#define FUZZ_CHECK(cond)                                                                  \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

namespace fuzzcheck {

inline bool lower_equals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

// Written independently of the rules themselves: what a safe relative path
// looks like to the file system.
inline void check_clean_path(const std::string &path, uz::NameRules rules) {
    FUZZ_CHECK(!path.empty());
    FUZZ_CHECK(path.front() != '/');
    FUZZ_CHECK(path.back() != '/');
    FUZZ_CHECK(uz::valid_utf8(path));
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string_view c(path.data() + start, end - start);
        FUZZ_CHECK(!c.empty() && c != "." && c != "..");
        for (char ch : c) {
            const auto u = static_cast<unsigned char>(ch);
            FUZZ_CHECK(u >= 0x20 && u != 0x7F && ch != '\\');
            if (rules == uz::NameRules::Windows)
                FUZZ_CHECK(std::string_view("<>:\"|?*").find(ch) == std::string_view::npos);
        }
        if (rules == uz::NameRules::Windows) {
            FUZZ_CHECK(c.back() != '.' && c.back() != ' ');
            std::string_view base = c.substr(0, c.find('.'));
            while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
            for (const char *dev : {"con", "prn", "aux", "nul", "conin$", "conout$", "com1", "com9",
                                    "lpt1", "lpt9", "com0", "lpt0"})
                FUZZ_CHECK(!lower_equals(base, dev));
            if (base.size() == 4 && (lower_equals(base.substr(0, 3), "com") ||
                                     lower_equals(base.substr(0, 3), "lpt")))
                FUZZ_CHECK(!(base[3] >= '0' && base[3] <= '9'));
        }
        start = end + 1;
    }
}

} // namespace fuzzcheck
