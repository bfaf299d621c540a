#include "names.h"

#include <array>
#include <vector>

namespace uz {
namespace {

constexpr std::array<uint16_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void append_utf8(std::string &out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
    return true;
}

// Windows opens a device instead of a file for these base names, whatever
// the extension and however many spaces precede it ("nul .txt").
bool is_device_name(std::string_view component) {
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    static constexpr std::string_view kPlain[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (auto d : kPlain)
        if (iequals(base, d)) return true;
    if (base.size() >= 4) {
        std::string_view head = base.substr(0, 3);
        std::string_view tail = base.substr(3);
        if (iequals(head, "com") || iequals(head, "lpt")) {
            if (tail.size() == 1 && tail[0] >= '0' && tail[0] <= '9') return true;
            // Superscript one, two and three count as digits here.
            if (tail == "\xC2\xB9" || tail == "\xC2\xB2" || tail == "\xC2\xB3") return true;
        }
    }
    return false;
}

const char *windows_component_problem(std::string_view c) {
    for (char ch : c) {
        switch (ch) {
        case '<': case '>': case ':': case '"': case '|': case '?': case '*':
            return "reserved character in name";
        default:
            break;
        }
    }
    if (c.back() == '.' || c.back() == ' ') return "name part ends with a dot or space";
    if (is_device_name(c)) return "device name";
    return nullptr;
}

} // namespace

std::string cp437_to_utf8(std::string_view raw) {
    std::string out;
    out.reserve(raw.size() + raw.size() / 2);
    for (unsigned char c : raw) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            append_utf8(out, kCp437High[c - 0x80]);
    }
    return out;
}

bool valid_utf8(std::string_view s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i < len) return false;
        for (size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

CleanName clean_entry_name(std::string_view name, NameRules rules) {
    CleanName r;
    if (name.empty()) {
        r.why = "empty name";
        return r;
    }
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            r.why = "control character in name";
            return r;
        }
    }
    if (!valid_utf8(name)) {
        r.why = "name is not valid text";
        return r;
    }
    const bool windows = rules == NameRules::Windows;
    if (windows) {
        if (name.size() >= 2 && is_separator(name[0]) && is_separator(name[1])) {
            r.why = "network or device path";
            return r;
        }
        if (name.size() >= 2 && name[1] == ':' &&
            ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
            r.why = "drive letter in name";
            return r;
        }
    }
    r.folder = is_separator(name.back());
    size_t i = 0;
    while (i < name.size() && is_separator(name[i])) ++i;
    r.stripped = i > 0;

    std::string out;
    out.reserve(name.size());
    while (i < name.size()) {
        size_t j = i;
        while (j < name.size() && !is_separator(name[j])) ++j;
        std::string_view c = name.substr(i, j - i);
        i = j + 1;
        if (c.empty() || c == ".") continue;
        if (c == "..") {
            r.why = "parent folder reference in name";
            return r;
        }
        if (windows) {
            if (const char *why = windows_component_problem(c)) {
                r.why = why;
                return r;
            }
        }
        if (!out.empty()) out += '/';
        out += c;
    }
    if (out.empty()) {
        r.root = r.folder || name == ".";
        r.why = "name has no file or folder part";
        return r;
    }
    r.ok = true;
    r.path = std::move(out);
    return r;
}

bool wildcard_match(std::string_view p, std::string_view s) {
    // Iterative matcher with single backtrack point: linear in practice, and
    // never recursive, so hostile patterns cannot exhaust the stack.
    size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == s[si])) {
            ++pi;
            ++si;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

} // namespace uz
