// Entry names: decoding to UTF-8 and the rules that decide where (and whether)
// an entry may be written. Pure functions, so that the Windows rules can be
// exercised on any host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace uz {

enum class NameRules {
    Posix,  // separators '/' and '\', no "..", no control characters
    Windows // additionally: drives, UNC, streams, devices, reserved characters, trailing dots/spaces
};

#if defined(_WIN32)
constexpr NameRules kHostRules = NameRules::Windows;
#else
constexpr NameRules kHostRules = NameRules::Posix;
#endif

struct CleanName {
    bool ok = false;        // false: the entry must not be written at all
    bool folder = false;    // the name ends with a separator
    bool stripped = false;  // leading separators were removed
    bool root = false;      // !ok: the name means the extraction folder itself ("./")
    std::string path;       // ok: relative, components joined by '/', none empty, "." or ".."
    const char *why = "";   // !ok: why the name was refused
};

// Decides the relative path for an entry name given in UTF-8.
CleanName clean_entry_name(std::string_view utf8, NameRules rules);

// Code page 437 (the zip default for names) to UTF-8.
std::string cp437_to_utf8(std::string_view raw);

// Complete, shortest-form UTF-8 without surrogates or code points above U+10FFFF.
bool valid_utf8(std::string_view s);

// '*' matches any run of bytes (separators included), '?' exactly one byte.
bool wildcard_match(std::string_view pattern, std::string_view name);

} // namespace uz
