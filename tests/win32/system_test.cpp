// The system utilities and the runtime against the real platform.
#include <gtest/gtest.h>

#include "Win32TestUtil.h"
#include "system/modPrincipal.h"

namespace cm {
namespace {

using test::TempFolder;

// The value as it stands in the file (the platform's reader would drop quotes).
std::wstring ReadIni(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    std::wstring current;
    for (const std::string& raw : test::ReadLines(file)) {
        std::wstring line = test::Widen(raw);
        const auto first = line.find_first_not_of(L" \t");
        if (first == std::wstring::npos) continue;
        line = line.substr(first);
        if (line.front() == L'[') {
            current = line.substr(1, line.find(L']') - 1);
            continue;
        }
        const auto equals = line.find(L'=');
        if (equals == std::wstring::npos || _wcsicmp(current.c_str(), section) != 0) continue;
        std::wstring name = line.substr(0, equals);
        name.erase(name.find_last_not_of(L" \t") + 1);
        if (_wcsicmp(name.c_str(), key) != 0) continue;
        std::wstring value = line.substr(equals + 1);
        value.erase(0, value.find_first_not_of(L" \t") == std::wstring::npos ? value.size() : value.find_first_not_of(L" \t"));
        return value;
    }
    return L"<missing>";
}

TEST(GravaIni, CreatesTheFileThenReplacesOnlyTheKeysValue) {
    TempFolder folder;
    const std::wstring file = folder / L"my.ini";
    modPrincipal::Grava_Ini(L"mysqld", L"basedir", L"\"c:/MySQL/\"", file);
    ASSERT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadIni(file, L"mysqld", L"basedir"), L"\"c:/MySQL/\"");

    test::WriteFile(file, "[client]\r\nport=3306\r\n\r\n[mysqld]\r\nport=3306\r\nbasedir=old\r\nlog-bin=x\r\n");
    modPrincipal::Grava_Ini(L"mysqld", L"basedir", L"\"d:/MySQL/\"", file);
    modPrincipal::Grava_Ini(L"mysqld", L"datadir", L"\"d:/MySQL/Data/\"", file);
    EXPECT_EQ(ReadIni(file, L"mysqld", L"basedir"), L"\"d:/MySQL/\"");
    EXPECT_EQ(ReadIni(file, L"mysqld", L"datadir"), L"\"d:/MySQL/Data/\"");
    EXPECT_EQ(ReadIni(file, L"mysqld", L"port"), L"3306");
    EXPECT_EQ(ReadIni(file, L"mysqld", L"log-bin"), L"x");
    EXPECT_EQ(ReadIni(file, L"client", L"port"), L"3306");
}

TEST(GravaIni, AMissingFolderIsNotAnError) {
    TempFolder folder;
    EXPECT_NO_THROW(modPrincipal::Grava_Ini(L"mysqld", L"basedir", L"x", folder / L"nowhere\\my.ini"));
}

TEST(DiretorioSistema, IsTheRealSystemDirectoryWithOneBackslash) {
    modPrincipal::Diretorio_Sistema_Cache.clear();
    wchar_t expected[MAX_PATH] = L"";
    GetSystemDirectoryW(expected, MAX_PATH);
    const std::wstring directory = modPrincipal::Diretorio_Sistema();
    EXPECT_EQ(directory, std::wstring(expected) + L"\\");
    EXPECT_EQ(directory.find(L"\\\\"), std::wstring::npos);
}

TEST(Win32Dir, FindsOrdinaryFilesIgnoringCaseButNotHiddenSystemOrFolders) {
    TempFolder folder;
    test::WriteFile(folder / L"Visivel.SQL", "x");
    test::WriteFile(folder / L"oculto.sql", "x");
    test::WriteFile(folder / L"sistema.sql", "x");
    test::WriteFile(folder / L"somente.sql", "x");
    CreateDirectoryW((folder / L"pasta.sql").c_str(), nullptr);
    SetFileAttributesW((folder / L"oculto.sql").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((folder / L"sistema.sql").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW((folder / L"somente.sql").c_str(), FILE_ATTRIBUTE_READONLY);

    Runtime& rt = Rt();
    std::vector<std::wstring> found;
    for (std::wstring name = rt.Dir(folder.Path() + L"\\*.sql", vbArchive); !name.empty(); name = rt.DirNext()) {
        found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::wstring>{L"Visivel.SQL", L"somente.sql"}));

    EXPECT_EQ(rt.Dir(folder / L"VISIVEL.sql", vbArchive), L"Visivel.SQL");
    EXPECT_EQ(rt.Dir(folder / L"oculto.sql", vbArchive), L"");
    EXPECT_EQ(rt.Dir(folder / L"pasta.sql", vbArchive), L"");
    EXPECT_EQ(rt.Dir(folder / L"PASTA.sql", vbDirectory), L"pasta.sql");
    EXPECT_EQ(rt.Dir(folder / L"nada.sql", vbArchive), L"");
    // A folder named with its trailing separator is found through its own entries.
    EXPECT_NE(rt.Dir(folder / L"Pasta.SQL\\", vbDirectory), L"");
    EXPECT_EQ(rt.Dir(folder / L"naoexiste\\", vbDirectory), L"");
    EXPECT_THROW(rt.DirNext(), RuntimeError);
}

TEST(Win32Environ, NamesIgnoreCaseAndUnsetIsEmpty) {
    test::ScopedEnv set(L"CM_Test_Var", L"valor com espaço");
    EXPECT_EQ(Rt().Environ(L"cm_test_VAR"), L"valor com espaço");
    test::ScopedEnv unset(L"CM_Test_Var", nullptr);
    EXPECT_EQ(Rt().Environ(L"CM_TEST_VAR"), L"");
}

TEST(Win32Ansi, RoundTripsPortugueseAndMarksWhatTheCodePageLacks) {
    Runtime& rt = Rt();
    EXPECT_EQ(rt.FromAnsi(rt.ToAnsi(L"Configuração")), L"Configuração");
    EXPECT_EQ(rt.ToAnsi(L"\u4E2D"), "?");
}

// The conversions themselves, through explicit code pages: the prefix's own
// code page stays as it is for every other test.
TEST(Win32Ansi, Utf8CodePageTakesNoDefaultCharacterAndConverts) {
    EXPECT_FALSE(win32::TakesDefaultChar(CP_UTF8));
    EXPECT_TRUE(win32::TakesDefaultChar(1252));
    EXPECT_TRUE(win32::TakesDefaultChar(932));
    const std::wstring text = L"C:\\Configuração\\\u65E5\u672C.zip";
    const std::string utf8 = win32::WideToCodePage(text, CP_UTF8);
    EXPECT_EQ(utf8, "C:\\Configura\xC3\xA7\xC3\xA3o\\\xE6\x97\xA5\xE6\x9C\xAC.zip");
    EXPECT_EQ(win32::CodePageToWide(utf8, CP_UTF8), text);
}

TEST(Win32Ansi, DoubleByteCodePageKeepsCharactersWhole) {
    // Shift-JIS: each of these characters is a lead byte and a trail byte.
    const std::string sjis = win32::WideToCodePage(L"\u65E5\u672C\\a", 932);
    EXPECT_EQ(sjis, "\x93\xFA\x96\x7B\\a");
    EXPECT_EQ(win32::CodePageToWide(sjis, 932), L"\u65E5\u672C\\a");
    EXPECT_EQ(win32::WideToCodePage(L"\u0410", 1252), "?");  // a character 1252 lacks
}

TEST(Win32Ansi, ATextThatCannotBeConvertedIsARunTimeError) {
    for (const UINT no_such_code_page : {99u, 12345u}) {
        try {
            win32::WideToCodePage(L"texto", no_such_code_page);
            ADD_FAILURE() << no_such_code_page;
        } catch (const RuntimeError& e) {
            EXPECT_NE(e.Description().find(L"Não foi possível converter o texto"), std::wstring::npos);
        }
        EXPECT_THROW(win32::CodePageToWide("texto", no_such_code_page), RuntimeError);
    }
}

TEST(Win32Library, MissingLibraryAndEntryPointAreRunTimeErrors) {
    try {
        Rt().BindLibraryFunction(L"nao-existe-cm.dll", "Qualquer");
        ADD_FAILURE();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrFileNotFound);
        EXPECT_NE(e.Description().find(L"nao-existe-cm.dll"), std::wstring::npos);
    }
    EXPECT_NE(Rt().BindLibraryFunction(L"kernel32.dll", "GetTickCount"), nullptr);
    try {
        Rt().BindLibraryFunction(L"kernel32.dll", "NaoHaTalFuncao");
        ADD_FAILURE();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrDllEntryPoint);
    }
}

}  // namespace
}  // namespace cm
