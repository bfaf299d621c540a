// Hostile archives: names that try to leave the extraction folder, damaged
// and forged containers, overlapping entries. A sentinel folder beside the
// extraction folder proves that nothing escaped. Every case runs on one
// thread and on several, with the same outcome.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#endif

#include "both_paths.h"
#include "extract.h"
#include "memory_sink.h"
#include "platform.h"
#include "test_util.h"

namespace uztest {
namespace {

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        target_ = base_.path() / "target";
        write_file(base_.path() / "sentinel" / "keep.txt", bytes_of("keep"));
    }

    int32_t extract(const Bytes &zip, Mode run = {}) {
        write_file(base_.path() / "a.zip", zip);
        return on_both_paths(
            target_, rec_,
            [&](unsigned threads) {
                run.threads = threads;
                return unzip(base_.path() / "a.zip", target_, rec_, run);
            },
            "", prepare_, tidy_);
    }

    // The engine with explicit rules over the real file layer.
    int32_t extract_with(const Bytes &zip, uz::NameRules rules) {
        write_file(base_.path() / "a.zip", zip);
        return on_both_paths(target_, rec_, [&](unsigned threads) {
            std::string err;
            auto src = uz::open_archive_file((base_.path() / "a.zip").string().c_str(), false, err);
            auto sink = uz::open_folder_sink(target_.string().c_str(), false, err);
            uz::Settings s;
            s.rules = rules;
            s.threads = threads;
            UzCallbacks cb = rec_.table();
            return uz::run_extraction(*src, sink.get(), s, &cb);
        });
    }

    void expect_nothing_escaped(const std::string &context) {
        std::set<std::string> top;
        for (const auto &e : fs::directory_iterator(base_.path()))
            top.insert(e.path().filename().string());
        EXPECT_EQ(top, (std::set<std::string>{"a.zip", "sentinel", "target"})) << context;
        const auto sentinel = tree(base_.path() / "sentinel", false);
        ASSERT_EQ(sentinel.size(), 1u) << context;
        EXPECT_EQ(sentinel.at("keep.txt").data, bytes_of("keep")) << context;
        EXPECT_FALSE(fs::exists(base_.path().parent_path() / "evil.txt")) << context;
        for (const auto &e : fs::recursive_directory_iterator(target_))
            EXPECT_FALSE(fs::is_symlink(e.symlink_status())) << context << ": " << e.path();
    }

    void reset_target() {
        fs::remove_all(target_);
        rec_ = Recorder{};
    }

    TempDir base_;
    fs::path target_;
    Recorder rec_;
    // What a case puts into the extraction folder before each run, and what
    // must be taken out of it before the folder can be removed.
    std::function<void()> prepare_, tidy_;
};

Bytes hostile_with_ok(const std::string &name) {
    return ZipBuilder().add(name, "evil").add("ok.txt", "fine").finish();
}

TEST_F(Hostile, ParentReferencesNeverLeaveTheFolder) {
    const char *names[] = {
        "../evil.txt",          "../sentinel/keep.txt", "a/../../evil.txt", "..\\evil.txt",
        "a\\..\\..\\evil.txt",  "./../evil.txt",        "/../evil.txt",     "//../evil.txt",
        "\\..\\sentinel\\keep.txt", "a/b/../../../evil.txt", "..",           "a/..",
    };
    for (const char *n : names) {
        for (uz::NameRules rules : {uz::NameRules::Posix, uz::NameRules::Windows}) {
            reset_target();
            EXPECT_EQ(extract_with(hostile_with_ok(n), rules), UZ_WARNING) << n;
            expect_nothing_escaped(n);
            const auto t = tree(target_, false);
            EXPECT_EQ(t.size(), 1u) << n;
            EXPECT_TRUE(t.count("ok.txt")) << n;
            EXPECT_NE(rec_.printed().find("skipped"), std::string::npos) << n;
        }
    }
}

TEST_F(Hostile, AbsoluteNamesLandInsideTheFolder) {
    const std::string sentinel_abs = (base_.path() / "sentinel" / "keep.txt").generic_string();
    const std::string names[] = {"/abs/evil.txt", "\\abs\\evil.txt", "/" + sentinel_abs,
                                 sentinel_abs, "//server/share/evil.txt", "\\\\?\\C:\\evil.txt"};
    for (const std::string &n : names) {
        reset_target();
        const int32_t rc = extract(hostile_with_ok(n));
        EXPECT_NE(rc, UZ_OK) << n;
        expect_nothing_escaped(n);
        EXPECT_TRUE(fs::exists(target_ / "ok.txt")) << n;
    }
}

TEST_F(Hostile, WindowsNamesAreRefusedUnderWindowsRules) {
    const char *names[] = {"C:evil.txt", "C:\\evil.txt", "c:/evil.txt", "file.txt:stream",
                           "file.txt::$DATA", "CON", "nul.txt", "NUL .txt", "COM1.log",
                           "aux/x.txt", "LPT1", "CONOUT$", "dir./x.txt", "trail ", "x.",
                           "a<b", "a|b", "what?", "\\\\server\\share\\x", "\\\\?\\C:\\x",
                           "\\\\.\\COM1"};
    for (const char *n : names) {
        reset_target();
        EXPECT_EQ(extract_with(hostile_with_ok(n), uz::NameRules::Windows), UZ_WARNING) << n;
        expect_nothing_escaped(n);
        const auto t = tree(target_, false);
        EXPECT_EQ(t.size(), 1u) << n;
        EXPECT_TRUE(t.count("ok.txt")) << n;
    }
}

TEST_F(Hostile, ControlCharactersAndBrokenTextAreRefused) {
    const std::string names[] = {"ctl\x01.txt", "tab\tname", "line\nbreak", "del\x7f",
                                 std::string("nul\0byte", 8), "\xc0\xae\xc0\xae/evil.txt"};
    for (const std::string &n : names) {
        EntrySpec e;
        e.name = n;
        e.data = bytes_of("evil");
        e.flags = 0x800; // UTF-8, so no code page decoding repairs the bytes
        reset_target();
        EXPECT_EQ(extract(ZipBuilder().add(e).add("ok.txt", "fine").finish()), UZ_WARNING);
        expect_nothing_escaped("control character");
        EXPECT_EQ(tree(target_, false).size(), 1u);
    }
}

TEST_F(Hostile, SymlinkEntriesAreNeverLinks) {
    struct Case {
        const char *name;
        const char *link_target;
    } const cases[] = {{"link", "../sentinel"}, {"link", "/"}, {"sub/link", "../../sentinel"}};
    for (const Case &c : cases) {
        EntrySpec link;
        link.name = c.name;
        link.data = bytes_of(c.link_target);
        link.made_by = 3 << 8;
        link.external_attr = 0120777u << 16;
        const Bytes zip = ZipBuilder()
                              .add(link)
                              .add(std::string(c.name) + "/keep.txt", "evil")
                              .finish();
        reset_target();
        EXPECT_EQ(extract(zip), UZ_WARNING) << c.name;
        expect_nothing_escaped(c.name);
        EXPECT_NE(rec_.printed().find("symbolic link"), std::string::npos);
    }
}

#ifdef _WIN32
// Runs a Unix tool (Wine starts Unix programs like its own) in a folder.
// Wine does not wait for a Unix process: the caller looks for its effect.
void run_unix_tool(const wchar_t *program, std::wstring line, const fs::path &folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
#endif

// Makes link a folder link to the folder to: a junction on Windows, a
// symbolic link elsewhere. True when the link is in place.
bool make_folder_link(const fs::path &link, const fs::path &to) {
#ifdef _WIN32
    fs::create_directory(link);
    HANDLE h = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    // A mount-point reparse buffer: tag, sizes, then the substitute name and
    // the printed name, each ended by a zero character.
    const std::wstring print = fs::absolute(to).wstring(), substitute = L"\\??\\" + print;
    std::vector<uint8_t> buffer(16 + (substitute.size() + print.size() + 2) * 2);
    auto word = [&](size_t at, size_t v) { buffer[at] = uint8_t(v), buffer[at + 1] = uint8_t(v >> 8); };
    word(0, IO_REPARSE_TAG_MOUNT_POINT & 0xFFFF);
    word(2, IO_REPARSE_TAG_MOUNT_POINT >> 16);
    word(4, buffer.size() - 8);
    word(8, 0);
    word(10, substitute.size() * 2);
    word(12, substitute.size() * 2 + 2);
    word(14, print.size() * 2);
    std::memcpy(buffer.data() + 16, substitute.c_str(), substitute.size() * 2 + 2);
    std::memcpy(buffer.data() + 16 + substitute.size() * 2 + 2, print.c_str(), print.size() * 2 + 2);
    DWORD returned = 0;
    const bool made = h != INVALID_HANDLE_VALUE &&
                      DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      nullptr, 0, &returned, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!made) {
        // Wine makes no junctions but shows a Unix symbolic link as one.
        fs::remove(link);
        run_unix_tool(L"Z:\\bin\\ln",
                      L"ln -s \"" + fs::relative(to, link.parent_path()).generic_wstring() + L"\" \"" +
                          link.filename().wstring() + L"\"",
                      link.parent_path());
    }
    for (int wait = 0; wait < 100; ++wait, Sleep(50)) {
        const DWORD a = GetFileAttributesW(link.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    }
    return false;
#else
    fs::create_directory_symlink(to, link);
    return fs::is_symlink(fs::symlink_status(link));
#endif
}

// A junction or symbolic link already inside the extraction folder is never
// gone through: the entries below it fail like a file in the way of a folder.
TEST_F(Hostile, FolderLinksInsideTheFolderAreNotFollowed) {
    prepare_ = [&] {
        fs::create_directories(target_);
        ASSERT_TRUE(make_folder_link(target_ / "link", base_.path() / "sentinel"));
    };
    // Removed before the folder, which would otherwise be emptied through it.
    std::string linked = "link";
    tidy_ = [&] {
#ifdef _WIN32
        if (!RemoveDirectoryW((target_ / linked).c_str())) {
            run_unix_tool(L"Z:\\bin\\rm", L"rm " + fs::path(linked).wstring(), target_);
            for (int wait = 0; wait < 100 && fs::exists(fs::symlink_status(target_ / linked)); ++wait) Sleep(50);
        }
#endif
    };
    // Nothing shows through it even for a moment: a large entry would be
    // written ahead in its folder, were the link taken for one. The last
    // entry's turn gives a worker that took it the time to begin.
    rec_.meanwhile = [&](const std::string &name) {
        for (int look = name == "ok.txt" ? 50 : 1; look > 0; --look) {
            EXPECT_EQ(tree(base_.path() / "sentinel", false).size(), 1u) << name;
            if (look > 1) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    const Bytes zip = ZipBuilder()
                          .add("link/evil.txt", "evil")
                          .add("link/big.bin", std::string(8 << 20, 'e'))
                          .add("link/", "")
                          .add("link/deeper/evil.txt", "evil")
                          .add("ok.txt", "fine")
                          .finish();
    EXPECT_EQ(extract(zip), UZ_DISK) << rec_.printed();
    const auto sentinel = tree(base_.path() / "sentinel", false);
    EXPECT_EQ(sentinel.size(), 1u);
    EXPECT_EQ(read_text(base_.path() / "sentinel" / "keep.txt"), "keep");
    EXPECT_EQ(read_text(target_ / "ok.txt"), "fine");
    EXPECT_NE(rec_.printed().find("error: link/evil.txt: cannot create folder"), std::string::npos)
        << rec_.printed();
    tidy_();

    // A folder of the run swapped for a link between two of its entries:
    // what comes after in it fails, and nothing goes through the link. On
    // Windows the folder is held open, so that only a rename from outside
    // Windows (Wine's host) can take it away.
    reset_target();
    prepare_ = nullptr;
    linked = "sub";
    rec_.meanwhile = [&](const std::string &name) {
        if (name != (uz::kHostRules == uz::NameRules::Windows ? "sub\\second.txt" : "sub/second.txt")) return;
#ifdef _WIN32
        EXPECT_FALSE(MoveFileW((target_ / "sub").c_str(), (target_ / "sub.old").c_str()));
        run_unix_tool(L"Z:\\bin\\mv", L"mv sub sub.old", target_);
        for (int wait = 0; wait < 100 && !fs::exists(target_ / "sub.old"); ++wait) Sleep(50);
#else
        fs::rename(target_ / "sub", target_ / "sub.old");
#endif
        ASSERT_TRUE(make_folder_link(target_ / "sub", base_.path() / "sentinel"));
    };
    const Bytes swapped = ZipBuilder()
                              .add("sub/first.txt", "first")
                              .add("sub/second.txt", "evil")
                              .add("sub/third/evil.txt", "evil")
                              .add("ok.txt", "fine")
                              .finish();
    EXPECT_EQ(extract(swapped), UZ_DISK) << rec_.printed();
    EXPECT_EQ(tree(base_.path() / "sentinel", false).size(), 1u);
    EXPECT_EQ(read_text(target_ / "sub.old" / "first.txt"), "first");
    EXPECT_EQ(read_text(target_ / "ok.txt"), "fine");
    EXPECT_NE(rec_.printed().find("error: sub/second.txt: its folder was moved or replaced during the extraction"),
              std::string::npos)
        << rec_.printed();
    tidy_();
}

// A time beyond what Windows accepts (2^63 and above in an NTFS field) is
// clamped to the largest it accepts; the entry itself extracts.
TEST_F(Hostile, ForgedNtfsTimesAreClamped) {
    auto with_ntfs_time = [](uint64_t ft) {
        Bytes x;
        put16(x, 0x000a);
        put16(x, 32);
        put32(x, 0);
        put16(x, 1);
        put16(x, 24);
        put64(x, ft);
        put64(x, 0);
        put64(x, 0);
        EntrySpec e;
        e.name = "t.txt";
        e.data = bytes_of("time");
        e.central_extra = x;
        return ZipBuilder().add(e).finish();
    };
    constexpr uint64_t kMax = 0x7FFFFFFFFFFFFFFFull;
    const struct {
        uint64_t given, kept;
    } cases[] = {{kMax + 1, kMax}, {~uint64_t{0}, kMax}, {kMax, kMax}, {132000000000000000ull, 132000000000000000ull}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.given);
        const Bytes zip = with_ntfs_time(c.given);
        uz::MemorySource src(zip.data(), zip.size());
        uz::MemorySink sink(1 << 20);
        ASSERT_EQ(uz::run_extraction(src, &sink, uz::Settings{}, nullptr), UZ_OK);
        const auto &stored = sink.files().at("t.txt");
        EXPECT_EQ(stored.filetime, c.kept);
        EXPECT_EQ(stored.stamp.unix_sec, static_cast<int64_t>(c.kept / 10000000) - 11644473600LL);
        // And through this platform's file layer, once: Wine cannot give a
        // file on a Unix file system a time in the year 30828, so the file
        // keeps the second it was written in, which two runs need not share.
        reset_target();
        write_file(base_.path() / "a.zip", zip);
        EXPECT_EQ(unzip(base_.path() / "a.zip", target_, rec_), UZ_OK) << rec_.printed();
        EXPECT_EQ(read_text(target_ / "t.txt"), "time");
    }
}

// Every prefix of a good archive fails cleanly and leaves only whole files.
TEST_F(Hostile, TruncationAtManyOffsets) {
    Bytes random(3000);
    std::mt19937 rng(7);
    for (auto &b : random) b = static_cast<uint8_t>(rng());
    EntrySpec r;
    r.name = "dir/random.bin";
    r.data = random;
    r.method = 8;
    const std::string text(5000, 't');
    const Bytes zip = ZipBuilder()
                          .add("first.txt", "first entry")
                          .add("dir/", "")
                          .add(r)
                          .add("text.txt", text, 8)
                          .finish();
    const std::map<std::string, Bytes> originals = {
        {"first.txt", bytes_of("first entry")}, {"dir/random.bin", random}, {"text.txt", bytes_of(text)}};
    for (size_t cut = 0; cut < zip.size(); cut += (cut < 64 || zip.size() - cut < 128) ? 1 : 29) {
        reset_target();
        const int32_t rc = extract(Bytes(zip.begin(), zip.begin() + static_cast<long>(cut)));
        EXPECT_NE(rc, UZ_OK) << cut;
        for (const auto &[path, node] : tree(target_, false)) {
            if (node.folder) continue;
            ASSERT_TRUE(originals.count(path)) << path;
            EXPECT_EQ(node.data, originals.at(path)) << "partial file at cut " << cut;
        }
    }
}

// A damaged region anywhere: the entries it hits fail, the others are whole.
TEST(Damage, ZeroedRegionAnywhere) {
    const std::string a(2000, 'a'), b = "bbbb bbbb bbbb", c(4000, 'c');
    const Bytes zip = ZipBuilder().add("a.txt", a, 8).add("b.txt", b).add("c.txt", c, 8).finish();
    const std::map<std::string, std::string> originals = {{"a.txt", a}, {"b.txt", b}, {"c.txt", c}};
    for (size_t at = 0; at < zip.size(); at += 7) {
        Bytes hit = zip;
        for (size_t i = at; i < std::min(hit.size(), at + 24); ++i) hit[i] ^= 0xA5;
        const InMemory run = both_in_memory(hit, "damage at " + std::to_string(at));
        for (const auto &[path, f] : run.files) {
            if (!originals.count(path)) continue; // a damaged name is a different entry
            EXPECT_EQ(std::string(f.data.begin(), f.data.end()), originals.at(path)) << at;
        }
        if (run.rc == UZ_OK) {
            EXPECT_EQ(run.files.size(), 3u) << at;
        }
        EXPECT_EQ(run.open, 0u);
    }
}

TEST_F(Hostile, FlippedByteInStoredEntryLeavesNoFile) {
    const std::string text(1000, 's');
    ZipBuilder zb;
    zb.add("stored.txt", text).add("other.txt", "intact");
    Bytes zip = zb.finish();
    zip[zb.data_offset_of(0) + 500] ^= 0x01;
    EXPECT_EQ(extract(zip), UZ_BAD_ARCHIVE);
    EXPECT_FALSE(fs::exists(target_ / "stored.txt"));
    EXPECT_EQ(read_text(target_ / "other.txt"), "intact");
    EXPECT_NE(rec_.printed().find("CRC"), std::string::npos);
}

TEST_F(Hostile, DeflateErrorsLeaveNoFile) {
    struct Case {
        const char *what;
        size_t offset_in_data; // byte to corrupt
    } const cases[] = {{"first block header", 0}, {"middle", 300}, {"last byte", 0}};
    Bytes random(20000);
    std::mt19937 rng(3);
    for (auto &b : random) b = static_cast<uint8_t>(rng() % 7);
    for (const Case &c : cases) {
        EntrySpec e;
        e.name = "d.bin";
        e.data = random;
        e.method = 8;
        ZipBuilder zb;
        zb.add(e);
        Bytes zip = zb.finish();
        const size_t csize = raw_deflate(random).size();
        const size_t at = zb.data_offset_of(0) + (std::string(c.what) == "last byte" ? csize - 1 : c.offset_in_data);
        zip[at] ^= 0xFF;
        reset_target();
        EXPECT_NE(extract(zip), UZ_OK) << c.what;
        EXPECT_FALSE(fs::exists(target_ / "d.bin")) << c.what;
    }
}

void patch32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void patch64(Bytes &b, size_t at, uint64_t v) {
    patch32(b, at, static_cast<uint32_t>(v));
    patch32(b, at + 4, static_cast<uint32_t>(v >> 32));
}
uint32_t get32(const Bytes &b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
size_t cd_offset(const Bytes &zip) { return get32(zip, zip.size() - 22 + 16); }

TEST_F(Hostile, OverlappingEntriesAreRefusedBeforeAnyWrite) {
    // Shape 1: many central records share one local header and its data.
    ZipBuilder one;
    one.add("first.txt", "written first?").add("kernel", std::string(100000, 'A'), 8);
    Bytes shared = one.finish();
    {
        const size_t cd = cd_offset(shared);
        const size_t rec0 = cd, rec1 = cd + 46 + 9; // "first.txt" is 9 bytes
        Bytes cds(shared.begin() + static_cast<long>(rec1), shared.end() - 22);
        Bytes out(shared.begin(), shared.begin() + static_cast<long>(cd));
        append(out, Bytes(shared.begin() + static_cast<long>(rec0), shared.begin() + static_cast<long>(rec1)));
        for (int i = 0; i < 50; ++i) append(out, cds);
        const size_t cd_size = out.size() - cd;
        put32(out, 0x06054b50);
        put32(out, 0);
        put16(out, 51);
        put16(out, 51);
        put32(out, static_cast<uint32_t>(cd_size));
        put32(out, static_cast<uint32_t>(cd));
        put16(out, 0);
        shared = out;
    }
    // Shape 2: the first entry's data runs over the second entry's header.
    ZipBuilder two;
    two.add("first.txt", "written first?").add("outer", std::string(50, 'o')).add("inner", std::string(50, 'i'));
    Bytes quoted = two.finish();
    {
        const size_t cd = cd_offset(quoted);
        const size_t outer_rec = cd + 46 + 9;
        const auto span = static_cast<uint32_t>(two.data_offset_of(2) + 50 - two.data_offset_of(1));
        patch32(quoted, outer_rec + 20, span);
        patch32(quoted, two.offset_of(1) + 18, span); // the local header agrees
    }
    for (const Bytes *zip : {&shared, &quoted}) {
        reset_target();
        EXPECT_EQ(extract(*zip), UZ_BAD_ARCHIVE);
        EXPECT_TRUE(tree(target_, false).empty()) << "something was written";
        EXPECT_NE(rec_.printed().find("overlap"), std::string::npos);
    }
}

TEST_F(Hostile, ValidShapesAreNotMistakenForOverlap) {
    EntrySpec dd;
    dd.name = "descriptor.txt";
    dd.data = bytes_of(std::string(3000, 'd'));
    dd.method = 8;
    dd.descriptor = true;
    EntrySpec bare = dd;
    bare.name = "unsigned-descriptor.txt";
    bare.descriptor_signature = false;
    EntrySpec z;
    z.name = "zip64.txt";
    z.data = bytes_of("sixty-four");
    z.zip64 = true;
    const Bytes stub(4096, 'M');
    const Bytes zips[] = {
        ZipBuilder().prefix(stub).relative_to_stub(true).add("a.txt", "stub").add(dd).finish(),
        ZipBuilder().prefix(stub).add("a.txt", "stub, absolute offsets").finish(),
        ZipBuilder().add(dd).add(z).add(bare).add("a.txt", "x").finish(),
    };
    for (const Bytes &zip : zips) {
        reset_target();
        EXPECT_EQ(extract(zip), UZ_OK) << rec_.printed();
        EXPECT_TRUE(fs::exists(target_ / "a.txt"));
    }
}

TEST_F(Hostile, ForgedZip64Fields) {
    auto base = [](std::optional<uint64_t> usize = std::nullopt) {
        EntrySpec e;
        e.name = "big.bin";
        e.data = bytes_of("tiny");
        e.zip64 = true;
        e.usize = usize;
        return ZipBuilder().add(e).add("ok.txt", "fine");
    };
    struct Case {
        const char *what;
        std::function<Bytes()> make;
        int32_t want;
        bool ok_written;
        bool big_written = false;
    };
    const Case cases[] = {
        {"huge declared size", [&] { return base(uint64_t(1) << 62).finish(); }, UZ_BAD_ARCHIVE, true},
        {"compressed size beyond the file",
         [&] {
             Bytes z = base().finish();
             const size_t cd = get32(z, z.size() - 98 + 48); // ZIP64 end record's directory offset
             patch64(z, cd + 46 + 7 + 4 + 8, uint64_t(1) << 40);
             return z;
         },
         UZ_BAD_ARCHIVE, true},
        {"end record declares 2^40 entries",
         [&] {
             Bytes z = base().finish();
             patch64(z, z.size() - 98 + 24, uint64_t(1) << 40);
             patch64(z, z.size() - 98 + 32, uint64_t(1) << 40);
             return z;
         },
         UZ_WARNING, true, true},
        {"end record declares a directory larger than the file",
         [&] {
             Bytes z = base().finish();
             patch64(z, z.size() - 98 + 40, uint64_t(1) << 62);
             return z;
         },
         UZ_BAD_ARCHIVE, false},
        {"locator points nowhere and the record is gone",
         [&] {
             Bytes z = base().finish();
             patch64(z, z.size() - 42 + 8, uint64_t(1) << 50);
             patch32(z, z.size() - 98, 0);
             return z;
         },
         UZ_BAD_ARCHIVE, false},
        {"saturated size without a ZIP64 block",
         [&] {
             Bytes z = ZipBuilder().add("big.bin", "tiny").add("ok.txt", "fine").finish();
             patch32(z, cd_offset(z) + 24, 0xFFFFFFFF);
             return z;
         },
         UZ_BAD_ARCHIVE, true},
    };
    for (const Case &c : cases) {
        reset_target();
        EXPECT_EQ(extract(c.make()), c.want) << c.what << "\n" << rec_.printed();
        EXPECT_EQ(fs::exists(target_ / "big.bin"), c.big_written) << c.what;
        EXPECT_EQ(fs::exists(target_ / "ok.txt"), c.ok_written) << c.what;
    }
}

TEST_F(Hostile, BrokenContainers) {
    const Bytes good = ZipBuilder().add("a.txt", "a").add("b.txt", "b").finish();
    struct Case {
        const char *what;
        Bytes zip;
        int32_t want;
    };
    Bytes forged_count = good;
    forged_count[good.size() - 12] = 0x60;
    forged_count[good.size() - 11] = 0xEA;
    Bytes bad_cd = good;
    bad_cd[cd_offset(good) + 46 + 5] = 'X'; // second record's signature
    bad_cd[cd_offset(good) + 46 + 5 + 1] = 'X';
    std::string comment(65535 - 10, 'c');
    comment.replace(100, 4, "PK\x05\x06");
    Bytes noise(5000);
    std::mt19937 rng(11);
    for (auto &b : noise) b = static_cast<uint8_t>(rng());
    const Case cases[] = {
        {"empty file", {}, UZ_NOT_ZIP},
        {"noise", noise, UZ_NOT_ZIP},
        {"forged entry count", forged_count, UZ_WARNING},
        {"damaged central directory", bad_cd, UZ_BAD_ARCHIVE},
        {"huge comment with a false end record", ZipBuilder().add("a.txt", "a").finish(comment), UZ_OK},
        {"no entries", ZipBuilder().finish(), UZ_WARNING},
    };
    for (const Case &c : cases) {
        reset_target();
        EXPECT_EQ(extract(c.zip), c.want) << c.what << "\n" << rec_.printed();
        expect_nothing_escaped(c.what);
    }
}

TEST_F(Hostile, LocalHeaderThatDisagreesFailsOnlyItsEntry) {
    EntrySpec liar;
    liar.name = "liar.txt";
    liar.local_name = "other.txt";
    liar.data = bytes_of("x");
    EXPECT_EQ(extract(ZipBuilder().add(liar).add("ok.txt", "fine").finish()), UZ_BAD_ARCHIVE);
    EXPECT_EQ(tree(target_, false).size(), 1u);
    EXPECT_TRUE(fs::exists(target_ / "ok.txt"));
    EXPECT_NE(rec_.printed().find("local header"), std::string::npos);
}

TEST(Scale, HundredThousandEmptyEntries) {
    ZipBuilder zb;
    char name[32];
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(name, sizeof name, "d%03d/f%06d", i % 100, i);
        zb.add(name, "");
    }
    const InMemory run = both_in_memory(zb.finish());
    EXPECT_EQ(run.rc, UZ_OK);
    EXPECT_EQ(run.files.size(), 100000u);
    EXPECT_EQ(run.folders.size(), 100u);
}

} // namespace
} // namespace uztest
