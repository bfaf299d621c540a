#include <gtest/gtest.h>

#include <string>

#include "names.h"

namespace {

using uz::NameRules;

struct NameCase {
    const char *name;
    bool posix_ok;
    bool windows_ok;
    const char *path; // expected path when accepted (same under both rules)
};

// Each row: how a hostile or ordinary name fares under both rule sets.
const NameCase kCases[] = {
    {"a.txt", true, true, "a.txt"},
    {"dir/sub/file.bin", true, true, "dir/sub/file.bin"},
    {"dir\\sub\\file.bin", true, true, "dir/sub/file.bin"},
    {"./a/./b", true, true, "a/b"},
    {"a//b", true, true, "a/b"},
    {"/abs/x", true, true, "abs/x"},
    {"\\abs\\x", true, true, "abs/x"},
    {"\xc3\xbc/\xe6\x97\xa5.txt", true, true, "\xc3\xbc/\xe6\x97\xa5.txt"},
    {"...hidden", true, true, "...hidden"},
    {"a..b", true, true, "a..b"},
    // parent references, with either separator, before or after stripping
    {"..", false, false, nullptr},
    {"../x", false, false, nullptr},
    {"..\\x", false, false, nullptr},
    {"a/../../x", false, false, nullptr},
    {"a\\..\\..\\x", false, false, nullptr},
    {"a/b/..", false, false, nullptr},
    {"/../x", false, false, nullptr},
    {"//../x", false, false, nullptr},
    {"\\..\\x", false, false, nullptr},
    {"./../x", false, false, nullptr},
    // control characters
    {"a\x01z", false, false, nullptr},
    {"tab\there", false, false, nullptr},
    {"line\nbreak", false, false, nullptr},
    {"del\x7f", false, false, nullptr},
    // not text: overlong '.' and '/', surrogates, stray bytes
    {"\xc0\xae\xc0\xae/x", false, false, nullptr},
    {"a\xc0\xafx", false, false, nullptr},
    {"\xed\xa0\x80", false, false, nullptr},
    {"\xff", false, false, nullptr},
    // Windows only: drives, UNC and device paths, streams, devices, reserved
    // characters, trailing dots and spaces
    {"C:x", true, false, "C:x"},
    {"C:\\x", true, false, "C:/x"},
    {"c:/x", true, false, "c:/x"},
    {"\\\\server\\share\\x", true, false, "server/share/x"},
    {"//server/share/x", true, false, "server/share/x"},
    {"\\\\?\\C:\\x", true, false, "?/C:/x"},
    {"\\\\.\\PhysicalDrive0", true, false, "PhysicalDrive0"},
    {"file.txt:stream", true, false, "file.txt:stream"},
    {"file.txt::$DATA", true, false, "file.txt::$DATA"},
    {"CON", true, false, "CON"},
    {"con", true, false, "con"},
    {"nul.txt", true, false, "nul.txt"},
    {"NUL .txt", true, false, "NUL .txt"},
    {"dir/aux/x", true, false, "dir/aux/x"},
    {"COM1", true, false, "COM1"},
    {"lpt9.log", true, false, "lpt9.log"},
    {"COM\xc2\xb9", true, false, "COM\xc2\xb9"},
    {"CONIN$", true, false, "CONIN$"},
    {"dir./x", true, false, "dir./x"},
    {"x ", true, false, "x "},
    {"x.", true, false, "x."},
    {"a<b", true, false, "a<b"},
    {"a|b", true, false, "a|b"},
    {"a\"b", true, false, "a\"b"},
    {"what?", true, false, "what?"},
    {"star*", true, false, "star*"},
    // look-alikes that are ordinary names
    {"console.txt", true, true, "console.txt"},
    {"COM10", true, true, "COM10"},
    {"nul_x", true, true, "nul_x"},
    {"auxiliary/x", true, true, "auxiliary/x"},
    // nothing left to name
    {"", false, false, nullptr},
    {"/", false, false, nullptr},
    {"./", false, false, nullptr},
};

TEST(EntryNames, RulesTable) {
    for (const NameCase &c : kCases) {
        for (NameRules rules : {NameRules::Posix, NameRules::Windows}) {
            const bool want = rules == NameRules::Posix ? c.posix_ok : c.windows_ok;
            const uz::CleanName r = uz::clean_entry_name(c.name, rules);
            const char *label = rules == NameRules::Posix ? "posix" : "windows";
            EXPECT_EQ(r.ok, want) << label << " '" << c.name << "': " << r.why;
            if (r.ok && want) {
                EXPECT_EQ(r.path, c.path) << label << " '" << c.name << "'";
            }
            if (!r.ok) {
                EXPECT_TRUE(r.path.empty());
            }
        }
    }
}

TEST(EntryNames, FolderStrippedAndRootFlags) {
    struct {
        const char *name;
        bool folder, stripped, root;
    } const cases[] = {
        {"a/", true, false, false}, {"a\\", true, false, false}, {"/a/b/", true, true, false},
        {"a", false, false, false}, {"./", true, false, true},   {".", false, false, true},
        {"/", true, true, true},
    };
    for (const auto &c : cases) {
        const uz::CleanName r = uz::clean_entry_name(c.name, NameRules::Windows);
        EXPECT_EQ(r.folder, c.folder) << c.name;
        EXPECT_EQ(r.stripped, c.stripped) << c.name;
        EXPECT_EQ(r.root, c.root) << c.name;
    }
}

TEST(EntryNames, Cp437DecodesHighHalf) {
    EXPECT_EQ(uz::cp437_to_utf8("plain"), "plain");
    EXPECT_EQ(uz::cp437_to_utf8("\x81"
                                "ber"),
              "\xc3\xbc"
              "ber");                                   // ü
    EXPECT_EQ(uz::cp437_to_utf8("\x9e"), "\xe2\x82\xa7"); // ₧
    EXPECT_EQ(uz::cp437_to_utf8("\xe1"), "\xc3\x9f");     // ß
    EXPECT_EQ(uz::cp437_to_utf8("\xff"), "\xc2\xa0");     // no-break space
    std::string all;
    for (int c = 0x80; c <= 0xFF; ++c) all += static_cast<char>(c);
    EXPECT_TRUE(uz::valid_utf8(uz::cp437_to_utf8(all)));
}

TEST(EntryNames, WildcardMatch) {
    struct {
        const char *pattern, *name;
        bool match;
    } const cases[] = {
        {"*", "anything/at/all", true}, {"*.txt", "a/b.txt", true}, {"*.txt", "a.txt.bak", false},
        {"bin/*", "bin/mysqld.exe", true}, {"bin/*", "share/bin/x", false}, {"?.c", "a.c", true},
        {"?.c", "ab.c", false}, {"a*b*c", "aXXbYYc", true}, {"a*b*c", "aXXbYY", false},
        {"", "", true}, {"", "x", false}, {"**", "", true},
    };
    for (const auto &c : cases) EXPECT_EQ(uz::wildcard_match(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
    // A pathological pattern still finishes quickly (no exponential backtracking).
    const std::string name(5000, 'a');
    EXPECT_FALSE(uz::wildcard_match("*a*a*a*a*a*a*a*a*b", name));
}

} // namespace
