// The DLL as the program meets it: loaded by file name, entry points found by
// their undecorated names, records passed as raw 32-bit layouts, callbacks
// called __stdcall with their arguments in order.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "test_util.h"

namespace uztest {
namespace {

static_assert(sizeof(void *) == 4, "the DLL is tested as a 32-bit program");
static_assert(offsetof(UzOptions, message_level) == 12 && offsetof(UzOptions, list_only) == 24 &&
              offsetof(UzOptions, keep_folders) == 36 && offsetof(UzOptions, archive) == 60 &&
              offsetof(UzOptions, folder) == 64);
static_assert(offsetof(UzCallbacks, service) == 20 && offsetof(UzCallbacks, statistics) == 24);
static_assert(offsetof(UzVersion, date) == 18 && offsetof(UzVersion, unzip) == 48 &&
              offsetof(UzVersion, windll) == 60);

struct Dll {
    HMODULE module = LoadLibraryW(L"unzip32.dll");
    UzpVersion2Fn version = module ? reinterpret_cast<UzpVersion2Fn>(
                                         reinterpret_cast<void *>(GetProcAddress(module, "UzpVersion2")))
                                   : nullptr;
    Wiz_SingleEntryUnzipFn unzip = module ? reinterpret_cast<Wiz_SingleEntryUnzipFn>(reinterpret_cast<void *>(
                                                GetProcAddress(module, "Wiz_SingleEntryUnzip")))
                                          : nullptr;
    ~Dll() {
        if (module) FreeLibrary(module);
    }
};

// Reads ESP around the call: a callee that does not pop its 24 bytes of
// arguments (or pops the wrong amount) shows up as a difference.
int32_t checked_unzip(Wiz_SingleEntryUnzipFn fn, void *opts, void *cbs, void *inc, void *exc,
                      bool &stack_ok) {
    uint32_t before = 0, after = 0;
    asm volatile("movl %%esp, %0" : "=r"(before));
    const int32_t rc = fn(0, static_cast<UzNameList *>(inc), 0, static_cast<UzNameList *>(exc),
                          static_cast<UzOptions *>(opts), static_cast<UzCallbacks *>(cbs));
    asm volatile("movl %%esp, %0" : "=r"(after));
    stack_ok = before == after;
    return rc;
}

void put_ptr(uint8_t *rec, size_t at, const void *p) {
    const uint32_t v = reinterpret_cast<uint32_t>(p);
    std::memcpy(rec + at, &v, 4);
}
void put_i32(uint8_t *rec, size_t at, int32_t v) { std::memcpy(rec + at, &v, 4); }

struct RawCall {
    uint8_t options[68] = {};
    uint8_t callbacks[44] = {};
    uint8_t include[400] = {};
    uint8_t exclude[400] = {};
    std::string archive, folder;

    RawCall(const fs::path &a, const fs::path &f, Recorder &rec, int level, bool list) {
        archive = a.string();
        folder = f.string() + "\\";
        put_i32(options, 12, level);   // flag 4
        put_i32(options, 24, list);    // flag 7
        put_i32(options, 36, 1);       // flag 10
        put_ptr(options, 60, archive.c_str());
        put_ptr(options, 64, folder.c_str());
        const UzCallbacks t = rec.table();
        put_ptr(callbacks, 0, reinterpret_cast<const void *>(t.print));
        put_ptr(callbacks, 8, reinterpret_cast<const void *>(t.replace));
        put_ptr(callbacks, 12, reinterpret_cast<const void *>(t.password));
        put_ptr(callbacks, 16, reinterpret_cast<const void *>(t.message));
        put_ptr(callbacks, 20, reinterpret_cast<const void *>(t.service));
    }
    int32_t run(const Dll &dll, bool &stack_ok) {
        return checked_unzip(dll.unzip, options, callbacks, include, exclude, stack_ok);
    }
};

TEST(Dll, ExportsByUndecoratedName) {
    Dll dll;
    ASSERT_NE(dll.module, nullptr);
    EXPECT_NE(dll.version, nullptr);
    EXPECT_NE(dll.unzip, nullptr);
    EXPECT_EQ(GetProcAddress(dll.module, "_UzpVersion2@4"), nullptr);
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(dll.module, path, MAX_PATH);
    EXPECT_NE(std::wstring(path).find(L"\\unzip32.dll"), std::wstring::npos);
}

TEST(Dll, VersionRecordInItsRawLayout) {
    Dll dll;
    ASSERT_NE(dll.version, nullptr);
    uint8_t rec[64];
    std::memset(rec, ' ', sizeof rec);
    put_i32(rec, 0, 64);
    put_i32(rec, 4, 0);
    EXPECT_EQ(dll.version(reinterpret_cast<UzVersion *>(rec)), UZ_OK);
    EXPECT_LT(strnlen(reinterpret_cast<char *>(rec + 8), 10), 10u);
    EXPECT_LT(strnlen(reinterpret_cast<char *>(rec + 18), 20), 20u);
    EXPECT_GT(strnlen(reinterpret_cast<char *>(rec + 18), 20), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(rec + 38), 2), "1.");
    EXPECT_EQ(rec[48], UNZIP32_VERSION_MAJOR);
    put_i32(rec, 0, 60);
    EXPECT_EQ(dll.version(reinterpret_cast<UzVersion *>(rec)), UZ_BAD_PARAMS);
}

TEST(Dll, ExtractsWithStdcallCallbacksAndWideNames) {
    Dll dll;
    ASSERT_NE(dll.unzip, nullptr);
    TempDir dir;
    const std::string wide_name = "\xe6\x97\xa5\xe6\x9c\xac/\xc3\xbcn\xc3\xaf\xc3\xa7\xc3\xb8" "d\xc3\xa9.txt";
    EntrySpec wide;
    wide.name = wide_name;
    wide.flags = 0x800;
    wide.data = bytes_of("wide");
    EntrySpec cp437;
    cp437.name = "\x81" "ber.txt";
    cp437.data = bytes_of("cp437");
    ZipBuilder zb;
    zb.add(wide).add(cp437);
    for (int i = 0; i < 300; ++i) zb.add("many/f" + std::to_string(i) + ".txt", std::string(i, 'm'), 8);
    write_file(dir / "w.zip", zb.finish());

    Recorder rec;
    RawCall call(dir / "w.zip", dir / "out", rec, 0, false);
    bool stack_ok = false;
    EXPECT_EQ(call.run(dll, stack_ok), UZ_OK) << rec.printed();
    EXPECT_TRUE(stack_ok);
    EXPECT_FALSE(rec.bad_text);
    EXPECT_GE(rec.prints.size(), 302u);

    const std::wstring out = (dir.path() / "out").wstring();
    const std::wstring w1 = out + L"\\\u65e5\u672c\\\u00fcn\u00ef\u00e7\u00f8d\u00e9.txt";
    const std::wstring w2 = out + L"\\\u00fcber.txt";
    for (const std::wstring &w : {w1, w2}) {
        const DWORD a = GetFileAttributesW(w.c_str());
        EXPECT_NE(a, INVALID_FILE_ATTRIBUTES);
        EXPECT_FALSE(a & FILE_ATTRIBUTE_DIRECTORY);
    }
    EXPECT_EQ(read_text(fs::path(w1)), "wide");
    EXPECT_EQ(read_text(dir.path() / "out" / "many" / "f299.txt"), std::string(299, 'm'));
    // Statistics area (offsets 24..43) filled in.
    uint32_t count = 0;
    std::memcpy(&count, call.callbacks + 24 + 8, 4);
    EXPECT_EQ(count, 302u);
}

TEST(Dll, ListingCallbackGetsThirteenArguments) {
    Dll dll;
    ASSERT_NE(dll.unzip, nullptr);
    TempDir dir;
    EntrySpec e;
    e.name = "listed.txt";
    e.data = bytes_of(std::string(1234, 'l'));
    e.dos_date = ((2008 - 1980) << 9) | (3 << 5) | 7;
    e.dos_time = (9 << 11) | (5 << 5);
    write_file(dir / "l.zip", ZipBuilder().add(e).finish());
    Recorder rec;
    RawCall call(dir / "l.zip", dir / "out", rec, 1, true);
    bool stack_ok = false;
    EXPECT_EQ(call.run(dll, stack_ok), UZ_OK);
    EXPECT_TRUE(stack_ok);
    ASSERT_EQ(rec.rows.size(), 1u);
    EXPECT_EQ(rec.rows[0].size, 1234);
    EXPECT_EQ(rec.rows[0].month, 3);
    EXPECT_EQ(rec.rows[0].day, 7);
    EXPECT_EQ(rec.rows[0].year, 2008);
    EXPECT_EQ(rec.rows[0].hour, 9);
    EXPECT_EQ(rec.rows[0].minute, 5);
    EXPECT_EQ(rec.rows[0].name, "listed.txt");
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(Dll, ReplaceAndPasswordCallbacks) {
    Dll dll;
    ASSERT_NE(dll.unzip, nullptr);
    TempDir dir;
    EntrySpec enc;
    enc.name = "secret.txt";
    enc.data = bytes_of("hidden");
    enc.method = 8;
    enc.password = "pw";
    write_file(dir / "p.zip", ZipBuilder().add("exists.txt", "new").add(enc).finish());
    write_file(dir / "out" / "exists.txt", bytes_of("old"));

    Recorder rec;
    rec.replace_answers = {UZ_REPLACE_YES};
    rec.password_answers = {"nope", "pw"};
    RawCall call(dir / "p.zip", dir / "out", rec, 1, false);
    bool stack_ok = false;
    EXPECT_EQ(call.run(dll, stack_ok), UZ_OK) << rec.printed();
    EXPECT_TRUE(stack_ok);
    EXPECT_EQ(read_text(dir / "out" / "exists.txt"), "new");
    EXPECT_EQ(read_text(dir / "out" / "secret.txt"), "hidden");
    EXPECT_EQ(rec.password_names.size(), 2u);

    Recorder stop;
    stop.replace_answers = {UZ_REPLACE_STOP};
    RawCall again(dir / "p.zip", dir / "out", stop, 1, false);
    EXPECT_EQ(again.run(dll, stack_ok), UZ_ABORTED);
    EXPECT_TRUE(stack_ok);
    EXPECT_TRUE(stop.password_names.empty());
}

// The program extracts to the root of a drive, given as "c:\".
TEST(Dll, ExtractsToADriveRoot) {
    Dll dll;
    ASSERT_NE(dll.unzip, nullptr);
    TempDir dir;
    const std::string top = "uz-root-" + dir.path().filename().string();
    write_file(dir / "r.zip", ZipBuilder().add(top + "/bin/tool.exe", "MZ").finish());
    Recorder rec;
    RawCall call(dir / "r.zip", dir.path(), rec, 1, false);
    call.folder = "c:\\";
    put_ptr(call.options, 64, call.folder.c_str());
    bool stack_ok = false;
    EXPECT_EQ(call.run(dll, stack_ok), UZ_OK) << rec.printed();
    const fs::path extracted = fs::path("c:\\") / top / "bin" / "tool.exe";
    EXPECT_EQ(read_text(extracted), "MZ");
    std::error_code ec;
    fs::remove_all(fs::path("c:\\") / top, ec);
}

TEST(Dll, BadRecords) {
    Dll dll;
    ASSERT_NE(dll.unzip, nullptr);
    uint8_t options[68] = {};
    uint8_t callbacks[44] = {};
    bool stack_ok = false;
    EXPECT_EQ(checked_unzip(dll.unzip, nullptr, callbacks, nullptr, nullptr, stack_ok), UZ_BAD_PARAMS);
    EXPECT_TRUE(stack_ok);
    EXPECT_EQ(checked_unzip(dll.unzip, options, nullptr, nullptr, nullptr, stack_ok), UZ_BAD_PARAMS);
    EXPECT_EQ(checked_unzip(dll.unzip, options, callbacks, nullptr, nullptr, stack_ok), UZ_BAD_PARAMS);
    EXPECT_TRUE(stack_ok);
}

} // namespace
} // namespace uztest
