// The exports as a program drives them: records, flags, callbacks and the
// replace and password dialogues.
#include <gtest/gtest.h>

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

#include "skip.h"
#include "extract.h"
#include "platform.h"
#include "test_util.h"
#include "zipcrypto.h"

// zlib.h (through the archive builder) makes this name a macro.
#undef zlib_version

namespace uztest {
namespace {

class Api : public ::testing::Test {
protected:
    int32_t extract(const Bytes &zip, Mode run = {}) {
        write_file(dir_.path() / "a.zip", zip);
        return unzip(dir_.path() / "a.zip", target(), rec_, run);
    }
    fs::path target() const { return dir_.path() / "target"; }

    TempDir dir_;
    Recorder rec_;
};

TEST_F(Api, ReplaceDialogue) {
    struct Case {
        int32_t answer;
        int32_t want_rc;
        const char *want_a;
        bool b_written;
    } const cases[] = {
        {UZ_REPLACE_NO, UZ_OK, "old", true},
        {UZ_REPLACE_YES, UZ_OK, "new", true},
        {UZ_REPLACE_STOP, UZ_ABORTED, "old", false},
        {12345, UZ_OK, "old", true}, // unknown answers leave the file alone
    };
    const Bytes zip = ZipBuilder().add("sub/a.txt", "new").add("b.txt", "b").finish();
    for (const Case &c : cases) {
        fs::remove_all(target());
        write_file(target() / "sub" / "a.txt", bytes_of("old"));
        rec_ = Recorder{};
        rec_.replace_answers = {c.answer};
        EXPECT_EQ(extract(zip), c.want_rc) << c.answer;
        EXPECT_EQ(read_text(target() / "sub" / "a.txt"), c.want_a) << c.answer;
        EXPECT_EQ(fs::exists(target() / "b.txt"), c.b_written) << c.answer;
        ASSERT_EQ(rec_.replace_names.size(), 1u);
        EXPECT_TRUE(rec_.replace_names[0] == "sub/a.txt" || rec_.replace_names[0] == "sub\\a.txt");
    }
}

TEST_F(Api, ReplaceStopAlsoStopsLaterReplacements) {
    const Bytes zip = ZipBuilder().add("a.txt", "new").add("b.txt", "new").finish();
    write_file(target() / "a.txt", bytes_of("old"));
    write_file(target() / "b.txt", bytes_of("old"));
    rec_.replace_answers = {UZ_REPLACE_STOP, UZ_REPLACE_YES};
    EXPECT_EQ(extract(zip), UZ_ABORTED);
    EXPECT_EQ(rec_.replace_names.size(), 1u);
    EXPECT_EQ(read_text(target() / "b.txt"), "old");
}

EntrySpec secret(const std::string &name, const std::string &data, const std::string &pw,
                 bool descriptor = false) {
    EntrySpec e;
    e.name = name;
    e.data = bytes_of(data);
    e.method = 8;
    e.password = pw;
    e.descriptor = descriptor;
    return e;
}

// A wrong password whose check byte matches (1 in 256): found by trying.
std::string colliding_password(const Bytes &zip, size_t data_offset, uint8_t check,
                               const std::string &right) {
    for (int i = 0; i < 100000; ++i) {
        const std::string pw = "wrong" + std::to_string(i);
        if (pw == right) continue;
        uz::ZipCrypto c(pw);
        uint8_t head[12];
        std::memcpy(head, zip.data() + data_offset, 12);
        if (c.decrypt_header(head) == check) return pw;
    }
    return {};
}

bool read_only(const fs::path &p) {
    return (fs::status(p).permissions() & fs::perms::owner_write) == fs::perms::none;
}

void set_read_only(const fs::path &p, bool on) {
    fs::permissions(p, fs::perms::owner_write, on ? fs::perm_options::remove : fs::perm_options::add);
}

// Yes to the overwrite question puts the new file in place only once it is
// complete and checked: until then the old one stays as it was, read-only
// attribute included, and nothing else is left beside it.
TEST_F(Api, ReplacedFileSurvivesANewEntryThatFails) {
    const std::string fresh(500, 'n');
    ZipBuilder damaged_zb;
    damaged_zb.add("sub/a.txt", fresh);
    Bytes damaged = damaged_zb.finish();
    damaged[damaged_zb.data_offset_of(0) + 250] ^= 0x01;
    ZipBuilder secret_zb;
    secret_zb.add(secret("sub/a.txt", fresh, "right"));
    const Bytes encrypted = secret_zb.finish();
    const std::string collide =
        colliding_password(encrypted, secret_zb.data_offset_of(0), crc_of(bytes_of(fresh)) >> 24, "right");
    ASSERT_FALSE(collide.empty());
    const Bytes good = ZipBuilder().add("sub/a.txt", fresh).finish();

    struct Case {
        const char *what;
        const Bytes *zip;
        std::deque<std::string> passwords;
        int32_t want;
        const std::string *after; // null: the old content
    } const cases[] = {
        {"damaged entry", &damaged, {}, UZ_BAD_ARCHIVE, nullptr},
        {"wrong password passing the check byte", &encrypted, {collide, "\x1"}, UZ_BAD_PASSWORD, nullptr},
        {"good entry", &good, {}, UZ_OK, &fresh},
    };
    const fs::path old = target() / "sub" / "a.txt";
    for (const Case &c : cases) {
        for (const bool locked : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (locked ? ", read-only" : ""));
            if (fs::exists(old)) set_read_only(old, false);
            fs::remove_all(target());
            write_file(old, bytes_of("old"));
            set_read_only(old, locked);
            rec_ = Recorder{};
            rec_.replace_answers = {UZ_REPLACE_YES};
            rec_.password_answers = c.passwords;
            EXPECT_EQ(extract(*c.zip), c.want) << rec_.printed();
            EXPECT_EQ(rec_.replace_names.size(), 1u);
            EXPECT_EQ(read_text(old), c.after ? *c.after : "old");
            if (!c.after) {
                EXPECT_EQ(read_only(old), locked);
            }
            EXPECT_EQ(tree(target(), false).size(), 2u); // sub and sub/a.txt
            set_read_only(old, false);
        }
    }
}

#ifdef _WIN32
// An old file that cannot be replaced (held open without delete sharing):
// the replace fails, and the file keeps its content and its read-only
// attribute, although the move was tried again without it.
TEST_F(Api, ReplaceThatCannotTakePlaceLeavesTheOldFileAsItWas) {
    const fs::path old = target() / "a.txt";
    write_file(old, bytes_of("old"));
    ASSERT_TRUE(SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE held = CreateFileW(old.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    rec_.replace_answers = {UZ_REPLACE_YES};
    EXPECT_EQ(extract(ZipBuilder().add("a.txt", "new").finish()), UZ_DISK) << rec_.printed();
    CloseHandle(held);
    EXPECT_EQ(GetFileAttributesW(old.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(read_text(old), "old");
    EXPECT_EQ(tree(target(), false).size(), 1u);
    SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

TEST_F(Api, PasswordDialogue) {
    ZipBuilder zb;
    zb.add(secret("one.txt", std::string(500, '1'), "right"))
        .add("plain.txt", "plain")
        .add(secret("two.txt", std::string(700, '2'), "right", true));
    const Bytes zip = zb.finish();
    const uint32_t crc1 = crc_of(bytes_of(std::string(500, '1')));
    const std::string collide = colliding_password(zip, zb.data_offset_of(0), crc1 >> 24, "right");
    ASSERT_FALSE(collide.empty());
    const std::string cancel = "\x1";

    struct Case {
        const char *what;
        std::deque<std::string> answers;
        int32_t want_rc;
        bool one, two;
        size_t prompts;
    };
    const Case cases[] = {
        {"right at once, reused for the second entry", {"right"}, UZ_OK, true, true, 1},
        {"wrong then right", {"bad", "right"}, UZ_OK, true, true, 2},
        {"cancel stops all asking", {cancel}, UZ_BAD_PASSWORD, false, false, 1},
        {"wrong three times, then cancel", {"bad", "worse", "worst", cancel}, UZ_BAD_PASSWORD, false,
         false, 4},
        {"check byte collision, then right", {collide, "right"}, UZ_OK, true, true, 2},
        {"check byte collision, then cancel", {collide, cancel}, UZ_BAD_PASSWORD, false, false, 2},
    };
    for (const Case &c : cases) {
        fs::remove_all(target());
        rec_ = Recorder{};
        rec_.password_answers = c.answers;
        EXPECT_EQ(extract(zip), c.want_rc) << c.what << "\n" << rec_.printed();
        EXPECT_EQ(fs::exists(target() / "one.txt"), c.one) << c.what;
        EXPECT_EQ(fs::exists(target() / "two.txt"), c.two) << c.what;
        EXPECT_EQ(read_text(target() / "plain.txt"), "plain") << c.what;
        EXPECT_EQ(rec_.password_names.size(), c.prompts) << c.what;
        if (c.one) {
            EXPECT_EQ(read_text(target() / "one.txt"), std::string(500, '1'));
        }
        if (c.two) {
            EXPECT_EQ(read_text(target() / "two.txt"), std::string(700, '2'));
        }
        EXPECT_FALSE(rec_.bad_text);
    }
}

TEST_F(Api, PasswordBufferFilledToItsAnnouncedSize) {
    // The callback may use every byte it was told about; no terminator is
    // then present, and the library must not read past the buffer.
    rec_.fill_password_buffer = true;
    const Bytes zip = ZipBuilder().add(secret("s.txt", "data", "pw")).finish();
    EXPECT_EQ(extract(zip), UZ_BAD_PASSWORD);
    EXPECT_EQ(rec_.password_names.size(), 3u); // bounded retries
    EXPECT_FALSE(fs::exists(target() / "s.txt"));
}

TEST_F(Api, MessageLevels) {
    const Bytes zip = ZipBuilder().add("dir/", "").add("dir/good.txt", "g").add("../bad.txt", "b").finish();
    struct Case {
        int level;
        bool entry_lines, warnings;
    } const cases[] = {{0, true, true}, {1, false, true}, {2, false, false}, {7, false, false}};
    for (const Case &c : cases) {
        fs::remove_all(target());
        rec_ = Recorder{};
        Mode run;
        run.level = c.level;
        EXPECT_EQ(extract(zip, run), UZ_WARNING);
        const std::string out = rec_.printed();
        EXPECT_EQ(out.find("good.txt") != std::string::npos, c.entry_lines) << c.level << out;
        EXPECT_EQ(out.find("bad.txt") != std::string::npos, c.warnings) << c.level << out;
        EXPECT_FALSE(rec_.bad_text);
        for (const auto &p : rec_.prints) EXPECT_EQ(p.back(), '\n');
    }
}

TEST_F(Api, ListingWritesNothing) {
    EntrySpec e;
    e.name = "listed.txt";
    e.data = bytes_of(std::string(1234, 'l'));
    e.dos_date = ((2008 - 1980) << 9) | (3 << 5) | 7;
    e.dos_time = (9 << 11) | (5 << 5);
    const Bytes zip = ZipBuilder().add(e).add("second/", "").finish();
    Mode run;
    run.list_only = true;
    EXPECT_EQ(extract(zip, run), UZ_OK);
    ASSERT_EQ(rec_.rows.size(), 2u);
    const Recorder::Row &r = rec_.rows[0];
    EXPECT_EQ(r.size, 1234);
    EXPECT_EQ(r.month, 3);
    EXPECT_EQ(r.day, 7);
    EXPECT_EQ(r.year, 2008);
    EXPECT_EQ(r.hour, 9);
    EXPECT_EQ(r.minute, 5);
    EXPECT_EQ(r.name, "listed.txt");
    EXPECT_TRUE(rec_.rows[1].name == "second/" || rec_.rows[1].name == "second\\");
    EXPECT_FALSE(fs::exists(target()));
}

TEST_F(Api, NamesReachCallbacksAsDataAndBounded) {
    const std::string fmt = "%s%n%x%p.txt";
    std::string deep;
    for (int i = 0; i < 3; ++i) deep += std::string(100, static_cast<char>('a' + i)) + "/";
    deep += "file.txt";
    const Bytes zip = ZipBuilder().add(fmt, "f").add(deep, "d").finish();
    write_file(target() / fs::u8path(deep), bytes_of("old"));
    rec_.replace_answers = {UZ_REPLACE_YES};
    EXPECT_EQ(extract(zip), UZ_OK) << rec_.printed();
    EXPECT_NE(rec_.printed().find(fmt), std::string::npos);
    EXPECT_EQ(read_text(target() / fmt), "f");
    EXPECT_EQ(read_text(target() / fs::u8path(deep)), "d");
    ASSERT_EQ(rec_.replace_names.size(), 1u);
    EXPECT_EQ(rec_.replace_names[0].size(), 255u);
    EXPECT_FALSE(rec_.bad_text);
    ASSERT_EQ(rec_.service_names.size(), 2u);
    EXPECT_EQ(rec_.service_names[0], fmt);
}

TEST_F(Api, ServiceCallbackCanStop) {
    rec_.service_answer = 1;
    EXPECT_EQ(extract(ZipBuilder().add("a.txt", "a").add("b.txt", "b").finish()), UZ_ABORTED);
    EXPECT_EQ(rec_.service_names.size(), 1u);
    EXPECT_FALSE(fs::exists(target() / "a.txt"));
}

TEST_F(Api, FoldersParentsAndTimes) {
    auto ut = [](int64_t t) {
        Bytes x;
        put16(x, 0x5455);
        put16(x, 5);
        x.push_back(1);
        put32(x, static_cast<uint32_t>(t));
        return x;
    };
    EntrySpec folder;
    folder.name = "dated/";
    folder.central_extra = ut(1500000000);
    EntrySpec inner;
    inner.name = "dated/inner.txt";
    inner.data = bytes_of("inner");
    inner.central_extra = ut(1600000000);
    EntrySpec zero_attr_folder; // trailing slash is enough, attributes zero
    zero_attr_folder.name = "empty/";
    const Bytes zip = ZipBuilder()
                          .add(folder)
                          .add(inner)
                          .add(zero_attr_folder)
                          .add("not/listed/parents.txt", "p")
                          .finish();
    EXPECT_EQ(extract(zip), UZ_OK) << rec_.printed();
    EXPECT_TRUE(fs::is_directory(target() / "empty"));
    EXPECT_EQ(read_text(target() / "not" / "listed" / "parents.txt"), "p");
    EXPECT_EQ(mtime_of(target() / "dated" / "inner.txt"), 1600000000);
    EXPECT_EQ(mtime_of(target() / "dated"), 1500000000); // set after its contents
}

TEST_F(Api, WithoutFolderFlagFilesGoFlat) {
    const Bytes zip = ZipBuilder().add("a/", "").add("a/b/deep.txt", "d").add("top.txt", "t").finish();
    Mode run;
    run.keep_folders = false;
    EXPECT_EQ(extract(zip, run), UZ_OK);
    const auto t = tree(target(), false);
    EXPECT_EQ(t.size(), 2u);
    EXPECT_TRUE(t.count("deep.txt") && t.count("top.txt"));
}

TEST_F(Api, NameEncodings) {
    auto unicode_path = [](const std::string &raw, const std::string &utf8, bool good_crc) {
        Bytes x;
        put16(x, 0x7075);
        put16(x, static_cast<uint32_t>(5 + utf8.size()));
        x.push_back(1);
        put32(x, crc_of(bytes_of(raw)) ^ (good_crc ? 0 : 1));
        append(x, utf8);
        return x;
    };
    EntrySpec flagged;
    flagged.name = "\xc3\xa9t\xc3\xa9.txt"; // été
    flagged.flags = 0x800;
    flagged.data = bytes_of("1");
    EntrySpec cp437;
    cp437.name = "\x81"
                 "ber.txt"; // über
    cp437.data = bytes_of("2");
    EntrySpec with_path;
    with_path.name = "raw-name.txt";
    with_path.central_extra = unicode_path("raw-name.txt", "\xe6\x97\xa5\xe6\x9c\xac.txt", true);
    with_path.data = bytes_of("3");
    EntrySpec stale_path;
    stale_path.name = "kept.txt";
    stale_path.central_extra = unicode_path("kept.txt", "ignored.txt", false);
    stale_path.data = bytes_of("4");
    const Bytes zip = ZipBuilder().add(flagged).add(cp437).add(with_path).add(stale_path).finish();
    EXPECT_EQ(extract(zip), UZ_OK) << rec_.printed();
    const auto t = tree(target(), false);
    EXPECT_TRUE(t.count("\xc3\xa9t\xc3\xa9.txt"));
    EXPECT_TRUE(t.count("\xc3\xbc"
                        "ber.txt"));
    EXPECT_TRUE(t.count("\xe6\x97\xa5\xe6\x9c\xac.txt"));
    EXPECT_TRUE(t.count("kept.txt"));
    EXPECT_EQ(t.size(), 4u);
}

TEST_F(Api, UnsupportedMethodSkipsOnlyThatEntry) {
    EntrySpec bz;
    bz.name = "bzip2.bin";
    bz.method = 12;
    bz.data = bytes_of("not really bzip2");
    EntrySpec aes;
    aes.name = "aes.bin";
    aes.method = 99;
    aes.data = bytes_of("not really aes");
    EXPECT_EQ(extract(ZipBuilder().add(bz).add("ok.txt", "ok").add(aes).finish()), UZ_UNSUPPORTED);
    const auto t = tree(target(), false);
    EXPECT_EQ(t.size(), 1u);
    EXPECT_TRUE(t.count("ok.txt"));
    EXPECT_NE(rec_.printed().find("method 12"), std::string::npos);
}

TEST_F(Api, IncludeAndExcludeLists) {
    const Bytes zip = ZipBuilder().add("bin/a.exe", "a").add("bin/skip.exe", "s").add("doc/r.txt", "r").finish();
    write_file(dir_.path() / "a.zip", zip);
    const std::string a = (dir_.path() / "a.zip").string(), f = target().string();
    UzOptions opt{};
    opt.message_level = 2;
    opt.keep_folders = 1;
    opt.archive = a.c_str();
    opt.folder = f.c_str();
    UzCallbacks cb = rec_.table();
    UzNameList inc{}, exc{};
    inc[0] = "bin/*";
    exc[0] = "*skip*";
    EXPECT_EQ(Wiz_SingleEntryUnzip(1, &inc, 1, &exc, &opt, &cb), UZ_OK);
    const auto t = tree(target(), false);
    EXPECT_TRUE(t.count("bin/a.exe"));
    EXPECT_FALSE(t.count("bin/skip.exe"));
    EXPECT_FALSE(t.count("doc/r.txt"));
    EXPECT_EQ(cb.statistics.entry_count, 1u);
    EXPECT_EQ(cb.statistics.total_size, 1u);
}

TEST_F(Api, BadParameters) {
    write_file(dir_.path() / "a.zip", ZipBuilder().add("a.txt", "a").finish());
    const std::string a = (dir_.path() / "a.zip").string(), f = target().string();
    UzNameList list{};
    struct Case {
        const char *what;
        bool null_options, null_callbacks;
        const char *archive;
        int32_t inc_count;
        bool null_inc;
        int32_t want;
    } const cases[] = {
        {"null options", true, false, a.c_str(), 0, false, UZ_BAD_PARAMS},
        {"null callbacks", false, true, a.c_str(), 0, false, UZ_BAD_PARAMS},
        {"null archive", false, false, nullptr, 0, false, UZ_BAD_PARAMS},
        {"empty archive path", false, false, "", 0, false, UZ_BAD_PARAMS},
        {"include count too large", false, false, a.c_str(), 101, false, UZ_BAD_PARAMS},
        {"negative include count", false, false, a.c_str(), -1, false, UZ_BAD_PARAMS},
        {"include count with null list", false, false, a.c_str(), 1, true, UZ_BAD_PARAMS},
        {"include count over null names", false, false, a.c_str(), 1, false, UZ_BAD_PARAMS},
        {"missing archive", false, false, "no/such/archive.zip", 0, false, UZ_NOT_ZIP},
    };
    for (const Case &c : cases) {
        UzOptions opt{};
        opt.message_level = 1;
        opt.keep_folders = 1;
        opt.archive = c.archive;
        opt.folder = f.c_str();
        UzCallbacks cb = rec_.table();
        EXPECT_EQ(Wiz_SingleEntryUnzip(c.inc_count, c.null_inc ? nullptr : &list, 0, &list,
                                       c.null_options ? nullptr : &opt,
                                       c.null_callbacks ? nullptr : &cb),
                  c.want)
            << c.what;
    }
    EXPECT_FALSE(fs::exists(target() / "a.txt"));

    UzVersion v{};
    EXPECT_EQ(UzpVersion2(nullptr), UZ_BAD_PARAMS);
    v.length = 12;
    EXPECT_EQ(UzpVersion2(&v), UZ_BAD_PARAMS);
    v.length = sizeof(UzVersion);
    EXPECT_EQ(UzpVersion2(&v), UZ_OK);
    EXPECT_EQ(v.unzip[0], UNZIP32_VERSION_MAJOR);
    EXPECT_NE(std::string(v.zlib_version), "");
    EXPECT_LT(strnlen(v.date, sizeof v.date), sizeof v.date);
}

// Texts for callbacks are cut before a character that would not fit, never
// inside it, and characters the code page lacks still show.
TEST(CallbackText, CutsOnlyBetweenWholeCharacters) {
    const std::string text = "a\xc3\xa7\xc3\xa3o"; // "ação"
    EXPECT_EQ(uz::identity_text(text, 4), "a\xc3\xa7");
    EXPECT_EQ(uz::identity_text(text, 2), "a");
    EXPECT_EQ(uz::identity_text(text, 99), text);
#ifdef _WIN32
    auto ansi = [](const wchar_t *w) {
        char out[64] = {};
        const int n = WideCharToMultiByte(CP_ACP, 0, w, -1, out, sizeof out, nullptr, nullptr);
        return std::string(out, n > 0 ? static_cast<size_t>(n - 1) : 0);
    };
    EXPECT_EQ(uz::callback_text(text, 99), ansi(L"a\u00e7\u00e3o"));
    const std::string two = uz::callback_text(text, 2);
    EXPECT_EQ(two, ansi(L"a\u00e7").substr(0, two.size()));
    EXPECT_FALSE(uz::callback_text("\xe6\x97\xa5", 99).empty()); // 日 in any code page, or its stand-in
#else
    EXPECT_EQ(uz::callback_text(text, 4), uz::identity_text(text, 4));
#endif
}

#ifdef _WIN32
// System messages are formatted wide and reach the library's text (UTF-8)
// whole: a Portuguese message keeps its accents.
TEST(SystemMessage, AccentedMessagesStayWhole) {
    const DWORD portuguese = MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN);
    wchar_t wide[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             ERROR_FILE_NOT_FOUND, portuguese, wide, 512, nullptr);
    if (n == 0) CM_SKIP_UNLESS_CI("no Portuguese system messages here");
    while (n > 0 && (wide[n - 1] == L'\r' || wide[n - 1] == L'\n' || wide[n - 1] == L' ')) --n;
    char utf8[1024];
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), utf8, sizeof utf8, nullptr, nullptr);
    const std::string expected(utf8, static_cast<size_t>(m));
    ASSERT_NE(expected.find("\xc3"), std::string::npos) << "expected an accented message";
    EXPECT_EQ(uz::system_message(ERROR_FILE_NOT_FOUND, portuguese), expected);
    EXPECT_EQ(uz::system_message(0xDEADu), "Windows error 57005");
}
#endif

} // namespace
} // namespace uztest
