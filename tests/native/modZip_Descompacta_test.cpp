#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "FakeRuntime.h"
#include "ZipModuleState.h"
#include "FakeUnzip.h"
#include "unzip/modZip.h"

namespace cm {
namespace {

using namespace modZip;
using test::g_fake_unzip;

constexpr const wchar_t* kSource = L"CodeModule::VBUnzip";

std::uint32_t Word(const std::vector<unsigned char>& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes.at(offset + i)) << (8 * i);
    return value;
}

std::string FixedField(const std::vector<unsigned char>& bytes, std::size_t offset, std::size_t width) {
    return std::string(bytes.begin() + offset, bytes.begin() + offset + width);
}

class DescompactaZip : public ::testing::Test {
protected:
    void SetUp() override {
        test::ResetZipModule();
        Esquece_Biblioteca();
        test::InstallFakeUnzip(rt);
    }
    void TearDown() override {
        test::ResetZipModule();
        Esquece_Biblioteca();
    }

    // Runs the driver; answers the error it raised (none: number 0).
    RuntimeError RaisedBy(const Variant& archive, const std::wstring& drive) {
        try {
            Descompacta_Zip(archive, drive);
        } catch (const RuntimeError& error) {
            return error;
        }
        return RuntimeError(0, L"", L"");
    }
    int Binds() const { return static_cast<int>(std::count(rt.events.begin(), rt.events.end(), L"Bind unzip32.dll")); }

    test::ScopedFakeRuntime fake;
    test::FakeRuntime& rt = fake.runtime;
};

TEST_F(DescompactaZip, LibraryReceivesTheOptionsNamesAndEmptyStatistics) {
    EXPECT_EQ(Descompacta_Zip(std::wstring(L"C:\\Instala\u00E7\u00E3o\\Mysql.zip"), L"c:"), 0);
    const auto& lib = g_fake_unzip;
    ASSERT_EQ(lib.unzip_calls, 1);

    // Texts reach it in UTF-8, exactly; the folder is the drive and one backslash.
    EXPECT_EQ(lib.archive, "C:\\Instala\xC3\xA7\xC3\xA3o\\Mysql.zip");
    EXPECT_EQ(lib.folder, "c:\\");

    // Fifteen flags: message level (4), folder re-creation (10) and UTF-8 (15) set, the rest 0.
    for (std::size_t flag = 1; flag <= 15; ++flag) {
        SCOPED_TRACE(flag);
        EXPECT_EQ(Word(lib.options_bytes, 4 * (flag - 1)), flag == 4 || flag == 10 || flag == 15 ? 1u : 0u);
    }
    EXPECT_EQ(lib.options.message_level, 1);
    EXPECT_EQ(lib.options.keep_folders, 1);

    EXPECT_EQ(lib.include_count, 0);
    EXPECT_EQ(lib.exclude_count, 0);
    EXPECT_TRUE(lib.lists_distinct);
    EXPECT_EQ(std::count(lib.include_names.begin(), lib.include_names.end(), nullptr), 100);
    EXPECT_EQ(std::count(lib.exclude_names.begin(), lib.exclude_names.end(), nullptr), 100);

    const auto stats = lib.callbacks_bytes.end() - static_cast<std::ptrdiff_t>(sizeof(UzStatistics));
    EXPECT_TRUE(std::all_of(stats, lib.callbacks_bytes.end(), [](unsigned char b) { return b == 0; }));
}

// What the library reaches through the table it is handed, called as the
// library calls it mid-extraction: each slot must land in the module's
// output, listing and prompts, or the operator never sees or answers it.
TEST_F(DescompactaZip, CallbacksHandedToTheLibraryReachTheOperatorAndTheOutput) {
    rt.msgbox_answers = {vbNo, vbCancel};
    rt.input_answers = {L"segredo"};
    std::vector<char> password(257, '\xCC');
    std::int32_t replace_no = -1, replace_stop = -1, password_answer = -1, service_answer = -1;
    g_fake_unzip.during = [&](UzCallbacks& cb) {
        ASSERT_NE(cb.print, nullptr);
        ASSERT_NE(cb.replace, nullptr);
        ASSERT_NE(cb.password, nullptr);
        ASSERT_NE(cb.message, nullptr);
        ASSERT_NE(cb.service, nullptr);
        // The library may leave a null slot unused; this program makes no sound.
        EXPECT_EQ(cb.sound, nullptr);
        cb.print("  inflating: MySQL/bin/mysqld-nt.exe", 36);
        cb.print("\n", 1);
        char name[] = "MySQL\\my.ini";
        replace_no = cb.replace(name);
        replace_stop = cb.replace(name);
        password_answer = cb.password(password.data(), 256, "Enter password: ", "MySQL/secret.txt");
        cb.message(4321, 2000, 537, 12, 24, 2009, 18, 30, ' ', "MySQL/data/velto.frm", "Defl:N", 0, 0);
        service_answer = cb.service("MySQL/bin/mysql.exe", 4321);
    };
    EXPECT_EQ(Descompacta_Zip(std::wstring(L"Mysql.zip"), L"c:"), 0);

    EXPECT_EQ(Zip_Saida, L"  inflating: MySQL/bin/mysqld-nt.exe\r\n");
    ASSERT_EQ(rt.msgboxes.size(), 2u);
    EXPECT_EQ(rt.msgboxes[0].text, L"Overwrite MySQL\\my.ini?");
    EXPECT_EQ(replace_no, UZ_REPLACE_NO);
    EXPECT_EQ(replace_stop, UZ_REPLACE_STOP);
    EXPECT_EQ(rt.input_prompts.size(), 1u);
    EXPECT_EQ(password_answer, 0);
    EXPECT_STREQ(password.data(), "segredo");
    EXPECT_EQ(Zip_Linhas, 1);
    EXPECT_NE(Zip_Listagem.find(L"MySQL/data/velto.frm"), std::wstring::npos);
    EXPECT_NE(Zip_Listagem.find(L"12/24/09  18:30"), std::wstring::npos);
    // A non-zero answer would stop the extraction before the entry.
    EXPECT_EQ(service_answer, 0);
}

TEST_F(DescompactaZip, VersionRecordIsFilledInEveryByte) {
    Descompacta_Zip(std::wstring(L"a.zip"), L"d:");
    const auto& bytes = g_fake_unzip.version_bytes;
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(Word(bytes, 0), 64u);
    EXPECT_EQ(Word(bytes, 4), 0u);
    EXPECT_EQ(FixedField(bytes, 8, 10), std::string(9, ' ') + '\0');
    EXPECT_EQ(FixedField(bytes, 18, 20), std::string(19, ' ') + '\0');
    EXPECT_EQ(FixedField(bytes, 38, 10), std::string(9, ' ') + '\0');
    for (std::size_t offset = 48; offset < 64; offset += 4) EXPECT_EQ(Word(bytes, offset), 0u) << offset;
}

#if defined(_WIN32) && !defined(_WIN64)
template <class T>
std::uint32_t Address(T* p) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

template <class Fn>
Fn SlotAt(const std::vector<unsigned char>& bytes, std::size_t offset) {
    return reinterpret_cast<Fn>(static_cast<std::uintptr_t>(Word(bytes, offset)));
}

// The 32-bit program hands the library the classic layouts, byte for byte.
TEST_F(DescompactaZip, RecordsHaveTheLibraryLayoutIn32Bits) {
    Descompacta_Zip(std::wstring(L"C:\\app\\Mysql.zip"), L"c:");
    const auto& lib = g_fake_unzip;

    ASSERT_EQ(lib.options_bytes.size(), 68u);
    EXPECT_EQ(Word(lib.options_bytes, 60), Address(lib.options.archive));
    EXPECT_EQ(Word(lib.options_bytes, 64), Address(lib.options.folder));
    EXPECT_EQ(lib.archive, "C:\\app\\Mysql.zip");
    EXPECT_EQ(lib.folder, "c:\\");

    // Each slot, read at the library's offset and called as the library
    // calls it, does that slot's job.
    ASSERT_EQ(lib.callbacks_bytes.size(), 44u);
    const auto& table = lib.callbacks_bytes;
    SlotAt<UzPrintFn>(table, 0)("printed\n", 8);
    EXPECT_EQ(Zip_Saida, L"printed\n");
    EXPECT_EQ(Word(table, 4), 0u);
    rt.msgbox_answers = {vbYes};
    char name[] = "MySQL\\my.ini";
    EXPECT_EQ(SlotAt<UzReplaceFn>(table, 8)(name), UZ_REPLACE_YES);
    ASSERT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.msgboxes[0].text, L"Overwrite MySQL\\my.ini?");
    rt.input_answers = {L"abc"};
    char password[257] = {};
    EXPECT_EQ(SlotAt<UzPasswordFn>(table, 12)(password, 256, "", ""), 0);
    EXPECT_STREQ(password, "abc");
    SlotAt<UzMessageFn>(table, 16)(7, 7, 0, 1, 2, 2003, 4, 5, ' ', "listed", "Stored", 0, 0);
    EXPECT_EQ(Zip_Linhas, 1);
    EXPECT_EQ(SlotAt<UzServiceFn>(table, 20)("x", 1), 0);
    for (std::size_t offset = 24; offset < 44; offset += 4) EXPECT_EQ(Word(lib.callbacks_bytes, offset), 0u);

    EXPECT_EQ(sizeof(UzNameList), 400u);
}
#endif

TEST_F(DescompactaZip, ResultIsPassedThroughAndVersionAskedEveryTime) {
    for (std::int32_t answer : std::vector<std::int32_t>{UZ_OK, UZ_WARNING, UZ_BAD_PASSWORD, -7, 0x7FFFFFFF}) {
        g_fake_unzip.unzip_answer = answer;
        EXPECT_EQ(Descompacta_Zip(std::wstring(L"a.zip"), L"c:"), answer);
    }
    EXPECT_EQ(g_fake_unzip.version_calls, 5);
    EXPECT_EQ(g_fake_unzip.unzip_calls, 5);
}

TEST_F(DescompactaZip, RecordsAreBuiltAfreshForEveryCall) {
    // The fake library writes into every record it is given.
    Descompacta_Zip(std::wstring(L"first.zip"), L"c:");
    const auto first_version = g_fake_unzip.version_bytes;
    const auto first_options = g_fake_unzip.options_bytes;
    const auto first_callbacks = g_fake_unzip.callbacks_bytes;
    Descompacta_Zip(std::wstring(L"first.zip"), L"c:");
    EXPECT_EQ(g_fake_unzip.version_bytes, first_version);
    EXPECT_EQ(Word(g_fake_unzip.options_bytes, 0), 0u);
    EXPECT_EQ(g_fake_unzip.options.message_level, 1);
    EXPECT_EQ(g_fake_unzip.callbacks.statistics.entry_count, 0u);
    EXPECT_EQ(g_fake_unzip.callbacks_bytes, first_callbacks);
    EXPECT_EQ(first_options.size(), g_fake_unzip.options_bytes.size());
}

TEST_F(DescompactaZip, ArchiveGivenAsAnyValueUsesItsTextForm) {
    Descompacta_Zip(std::int32_t{42}, L"e:");
    EXPECT_EQ(g_fake_unzip.archive, "42");
    EXPECT_EQ(g_fake_unzip.folder, "e:\\");
    Descompacta_Zip(Empty{}, L"");
    EXPECT_EQ(g_fake_unzip.archive, "");
    EXPECT_EQ(g_fake_unzip.folder, "\\");
}

TEST_F(DescompactaZip, SecondExtractionStartsWithEmptyOutputAndKeepsTheRest) {
    std::vector<char> password(80, '\0');
    g_fake_unzip.during = [&](UzCallbacks& cb) {
        cb.print("  inflating: MySQL/my.ini", 25);
        cb.print("\n", 1);
        cb.message(1234, 600, 500, 3, 7, 2008, 9, 5, ' ', "MySQL/my.ini", "Defl:N", 0, 0);
        cb.password(password.data(), 80, "Enter password: ", "MySQL/secret");
    };
    EXPECT_EQ(Descompacta_Zip(std::wstring(L"Mysql.zip"), L"c:"), 0);
    EXPECT_EQ(Zip_Saida, L"  inflating: MySQL/my.ini\r\n");
    EXPECT_EQ(Zip_Linhas, 1);
    EXPECT_EQ(Zip_SenhaCancelada, 1);
    const std::wstring listing = Zip_Listagem;

    std::wstring output_at_start = L"not seen";
    g_fake_unzip.during = [&](UzCallbacks& cb) {
        output_at_start = Zip_Saida;
        cb.message(99, 9, 0, 1, 1, 2001, 12, 0, ' ', "again", "Stored", 0, 0);
        cb.password(password.data(), 80, "", "");
        cb.print("second", 6);
    };
    Descompacta_Zip(std::wstring(L"Mysql.zip"), L"c:");
    EXPECT_EQ(output_at_start, L"");
    EXPECT_EQ(Zip_Impressao, L"  inflating: MySQL/my.ini\r\nsecond");
    EXPECT_EQ(Zip_Saida, Zip_Impressao);
    EXPECT_EQ(Zip_Listagem.substr(0, listing.size()), listing);
    EXPECT_EQ(Zip_Listagem.size(), listing.size() + 82);
    EXPECT_EQ(Zip_Linhas, 2);
    EXPECT_EQ(rt.input_prompts.size(), 1u);

    // An extraction that prints nothing leaves the output empty.
    g_fake_unzip.during = nullptr;
    Descompacta_Zip(std::wstring(L"Mysql.zip"), L"c:");
    EXPECT_EQ(Zip_Saida, L"");
    EXPECT_FALSE(Zip_Impressao.empty());
}

TEST_F(DescompactaZip, EntryPointsAreBoundOnceForTheProcess) {
    Descompacta_Zip(std::wstring(L"a.zip"), L"c:");
    EXPECT_EQ(Binds(), 2);
    Descompacta_Zip(std::wstring(L"a.zip"), L"c:");
    EXPECT_EQ(Binds(), 2);

    // Still reached once the library could no longer be found by name.
    test::ScopedFakeRuntime without_library;
    g_fake_unzip.unzip_answer = 3;
    EXPECT_EQ(Descompacta_Zip(std::wstring(L"a.zip"), L"c:"), 3);
    EXPECT_EQ(g_fake_unzip.unzip_calls, 3);
    EXPECT_EQ(std::count(without_library.runtime.events.begin(), without_library.runtime.events.end(),
                         L"Bind unzip32.dll"),
              0);
}

// The library works on a thread of its own so that the window keeps
// answering; its questions still come to the window's thread, and the
// extraction's label learns how far it is, once for each new share.
TEST_F(DescompactaZip, TheLibraryWorksAwayFromTheWindowAndAsksOnIt) {
    std::vector<int> shares;
    std::vector<std::thread::id> asked_on;
    Progresso = [&](int share) {
        shares.push_back(share);
        asked_on.push_back(std::this_thread::get_id());
    };
    g_fake_unzip.listing = {{"MySQL\\a", 400}, {"MySQL\\b", 600}};
    rt.msgbox_answers = {vbNo};
    rt.input_answers = {L"segredo"};
    g_fake_unzip.during = [&](UzCallbacks& library) {
        char name[] = "c:\\MySQL\\my.ini";
        EXPECT_EQ(library.replace(name), UZ_REPLACE_NO);
        char password[32] = "";
        EXPECT_EQ(library.password(password, sizeof password, "", "x"), 0);
        EXPECT_STREQ(password, "segredo");
        for (const int size : {250, 250, 0, 499, 1}) EXPECT_EQ(library.service("x", size), 0);
    };
    EXPECT_EQ(Descompacta_Zip(std::wstring(L"Mysql.zip"), L"c:"), 0);

    EXPECT_NE(g_fake_unzip.unzip_thread, std::this_thread::get_id());
    EXPECT_EQ(g_fake_unzip.list_calls, 1);
    EXPECT_EQ(shares, (std::vector<int>{0, 25, 50, 99}));
    for (const auto& id : asked_on) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(rt.msgboxes.size(), 1u);
    EXPECT_EQ(rt.input_prompts.size(), 1u);
    EXPECT_GE(rt.window_calls_from_background, 2 + 4);

    // An archive of more than 4 GiB in all, with an entry of 4 GiB, whose
    // size the library's 32 bits before each entry tell as 0: the listing's
    // 64 bits count, by the entry's name.
    shares.clear();
    g_fake_unzip.listing = {{"MySQL\\a", 0xC0000000u}, {"MySQL\\b", 4ull << 30}, {"MySQL\\c", 0xC0000000u}};
    g_fake_unzip.during = [&](UzCallbacks& library) {
        for (const char* name : {"MySQL\\a", "MySQL\\b", "MySQL\\c"}) {
            library.service(name, name[6] == 'b' ? 0 : static_cast<std::int32_t>(0xC0000000u));
        }
    };
    EXPECT_EQ(Descompacta_Zip(std::wstring(L"Mysql.zip"), L"c:"), 0);
    Progresso = nullptr;
    EXPECT_EQ(shares, (std::vector<int>{0, 30, 70}));
}

TEST_F(DescompactaZip, MissingLibraryIsRaisedAgainWithTheModuleSource) {
    test::ScopedFakeRuntime without_library;
    Zip_Saida = L"stale";
    const RuntimeError error = RaisedBy(std::wstring(L"a.zip"), L"c:");
    EXPECT_EQ(error.Number(), kErrFileNotFound);
    EXPECT_EQ(error.Description(), L"Arquivo não encontrado: unzip32.dll");
    EXPECT_EQ(error.Source(), kSource);
    EXPECT_EQ(Zip_Saida, L"");
    EXPECT_TRUE(without_library.runtime.msgboxes.empty());
    EXPECT_EQ(g_fake_unzip.version_calls, 0);
}

TEST_F(DescompactaZip, MissingEntryPointIsRaisedAgainWithTheModuleSource) {
    test::ScopedFakeRuntime partial;
    partial.runtime.AddLibraryFunction(L"unzip32.dll", "UzpVersion2",
                                       reinterpret_cast<void*>(&test::FakeUzpVersion2));
    const RuntimeError error = RaisedBy(std::wstring(L"a.zip"), L"c:");
    EXPECT_EQ(error.Number(), kErrDllEntryPoint);
    EXPECT_EQ(error.Description(), L"Ponto de entrada de DLL Wiz_SingleEntryUnzip não encontrado em unzip32.dll");
    EXPECT_EQ(error.Source(), kSource);
    EXPECT_EQ(g_fake_unzip.version_calls, 1);
    EXPECT_EQ(g_fake_unzip.unzip_calls, 0);
    EXPECT_TRUE(partial.runtime.msgboxes.empty());
}

TEST_F(DescompactaZip, ArchiveWithNoTextFormIsRaisedAgainWithTheModuleSource) {
    const RuntimeError error = RaisedBy(Null{}, L"c:");
    EXPECT_EQ(error.Number(), 94);
    EXPECT_EQ(error.Description(), L"Uso inválido de Null");
    EXPECT_EQ(error.Source(), kSource);
    // Nor is a path the library cannot be given exactly (a lone surrogate).
    const std::wstring inexact = std::wstring(L"C:\\Pasta") + static_cast<wchar_t>(0xD800) + L"\\Mysql.zip";
    const RuntimeError path = RaisedBy(inexact, L"c:");
    EXPECT_EQ(path.Number(), 5);
    EXPECT_EQ(path.Description(), L"Não foi possível passar à unzip32.dll exatamente o caminho " + inexact);
    EXPECT_EQ(path.Source(), kSource);
    EXPECT_EQ(g_fake_unzip.unzip_calls, 0);
    EXPECT_TRUE(rt.msgboxes.empty());
}

}  // namespace
}  // namespace cm
