// The system utilities and the runtime against the real platform.
#include <gtest/gtest.h>

#include "Win32TestUtil.h"
#include <sddl.h>

#include <map>

#include "system/modPrincipal.h"

namespace cm {
namespace {

using test::TempFolder;

TEST(GravaIni, CreatesTheFileThenReplacesOnlyTheKeysValue) {
    TempFolder folder;
    const std::wstring file = folder / L"my.ini";
    modPrincipal::Grava_Ini(L"mysqld", L"basedir", L"\"c:/MySQL/\"", file);
    ASSERT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(test::ReadIni(file, L"mysqld", L"basedir"), L"\"c:/MySQL/\"");

    test::WriteFile(file, "[client]\r\nport=3306\r\n\r\n[mysqld]\r\nport=3306\r\nbasedir=old\r\nlog-bin=x\r\n");
    modPrincipal::Grava_Ini(L"mysqld", L"basedir", L"\"d:/MySQL/\"", file);
    modPrincipal::Grava_Ini(L"mysqld", L"datadir", L"\"d:/MySQL/Data/\"", file);
    EXPECT_EQ(test::ReadIni(file, L"mysqld", L"basedir"), L"\"d:/MySQL/\"");
    EXPECT_EQ(test::ReadIni(file, L"mysqld", L"datadir"), L"\"d:/MySQL/Data/\"");
    EXPECT_EQ(test::ReadIni(file, L"mysqld", L"port"), L"3306");
    EXPECT_EQ(test::ReadIni(file, L"mysqld", L"log-bin"), L"x");
    EXPECT_EQ(test::ReadIni(file, L"client", L"port"), L"3306");
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
    // Nor one it has only a look-alike of: a fullwidth M, a division slash, an L with a caron.
    EXPECT_EQ(win32::WideToCodePage(L"\uFF2D\u2215\u013D", 1252), "???");
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
    // A bare name is the copy beside the program, never one the search
    // would find elsewhere (the system folder, the current folder, the path).
    try {
        Rt().BindLibraryFunction(L"kernel32.dll", "GetTickCount");
        ADD_FAILURE() << "a bare name was looked up beyond the program's folder";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrFileNotFound);
    }
    EXPECT_NE(Rt().BindLibraryFunction(L"unzip32.dll", "Wiz_SingleEntryUnzip"), nullptr);
    wchar_t system[MAX_PATH] = L"";
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring kernel32 = std::wstring(system) + L"\\kernel32.dll";
    EXPECT_NE(Rt().BindLibraryFunction(kernel32, "GetTickCount"), nullptr);
    try {
        Rt().BindLibraryFunction(kernel32, "NaoHaTalFuncao");
        ADD_FAILURE();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrDllEntryPoint);
    }
}

// The tests run, as the program does, after RestrictLibrarySearch.
TEST(Win32Library, ALibraryComesFromTheProgramsFolderOrTheSystemNeverFromTheCurrentFolder) {
    TempFolder folder;
    const std::wstring planted = folder / L"cm-plantada.dll";
    ASSERT_TRUE(CopyFileW((test::ProgramFolder() + L"\\unzip32.dll").c_str(), planted.c_str(), FALSE));
    wchar_t previous[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
    EXPECT_EQ(LoadLibraryW(L"cm-plantada.dll"), nullptr) << "a load by name took the current folder's copy";
    EXPECT_THROW(Rt().BindLibraryFunction(L"cm-plantada.dll", "Wiz_SingleEntryUnzip"), RuntimeError);
    SetCurrentDirectoryW(previous);
    // The same file is a library that loads where it is named.
    const HMODULE by_path = LoadLibraryW(planted.c_str());
    EXPECT_NE(by_path, nullptr);
    if (by_path != nullptr) FreeLibrary(by_path);
}

}  // namespace
}  // namespace cm

namespace cm {
namespace {

// The access list a folder is made with: whether it is protected from what
// the folder above allows, and each account's rights and inheritance
// (well-known accounts by their short names). Wine keeps no access lists on
// its files, so the list is read from the descriptor the folder is made with.
struct Access {
    bool is_protected = false;
    std::map<std::wstring, std::pair<DWORD, BYTE>> allowed;  // rights, inheritance flags
};

Access AccessOf(FolderAccess kind) {
    Access access;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(win32::FolderSecurity(kind), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return access;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    access.is_protected = (control & SE_DACL_PROTECTED) != 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        wchar_t* sid = nullptr;
        ConvertSidToStringSidW(&ace->SidStart, &sid);
        const std::wstring name = sid == nullptr ? L"?" : sid;
        LocalFree(sid);
        const std::wstring shown = name == L"S-1-5-18"       ? L"SY"
                                   : name == L"S-1-5-32-544" ? L"BA"
                                   : name == L"S-1-5-32-545" ? L"BU"
                                                             : name;
        access.allowed[shown] = {ace->Mask, ace->Header.AceFlags};
    }
    LocalFree(descriptor);
    return access;
}

// The server folder is made before the extraction, with an access list of
// its own that everything below inherits: the service runs its programs as
// LocalSystem, and Data holds the shop's data.
TEST(Win32Folders, TheServerTreeIsClosedToUsersAndItsDataToThemEntirely) {
    TempFolder base;
    const std::wstring server = base / L"MySQL";
    Rt().MakeFolder(server, FolderAccess::Server);
    Rt().MakeFolder(server + L"\\Data", FolderAccess::Private);
    EXPECT_NE(GetFileAttributesW((server + L"\\Data").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_THROW(Rt().MakeFolder(server, FolderAccess::Server), RuntimeError);

    constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    const Access tree = AccessOf(FolderAccess::Server), data = AccessOf(FolderAccess::Private);
    EXPECT_TRUE(tree.is_protected);
    EXPECT_TRUE(data.is_protected);
    using Allowed = std::map<std::wstring, std::pair<DWORD, BYTE>>;
    EXPECT_EQ(tree.allowed, (Allowed{{L"SY", {FILE_ALL_ACCESS, kInherited}},
                                     {L"BA", {FILE_ALL_ACCESS, kInherited}},
                                     {L"BU", {FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, kInherited}}}));
    EXPECT_EQ(data.allowed, (Allowed{{L"SY", {FILE_ALL_ACCESS, kInherited}}, {L"BA", {FILE_ALL_ACCESS, kInherited}}}));
}

TEST(Win32Folders, RemovingATreeTakesReadOnlyFilesAndLinksButNotWhatALinkPointsTo) {
    TempFolder base;
    const std::wstring tree = base / L"MySQL", outside = base / L"fora";
    CreateDirectoryW(outside.c_str(), nullptr);
    test::WriteFile(outside + L"\\dados.txt", "da loja");
    CreateDirectoryW(tree.c_str(), nullptr);
    CreateDirectoryW((tree + L"\\bin").c_str(), nullptr);
    test::WriteFile(tree + L"\\bin\\mysqld-nt.exe", "x");
    SetFileAttributesW((tree + L"\\bin\\mysqld-nt.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    const bool linked = CreateSymbolicLinkW((tree + L"\\atalho").c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    // At the press, what a listing would not show counts.
    CreateDirectoryW((base / L"oculta").c_str(), nullptr);
    SetFileAttributesW((base / L"oculta").c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(Rt().Occupied(base / L"oculta"));
    EXPECT_FALSE(Rt().Occupied(base / L"nada"));
    Rt().RemoveFolder(tree);
    EXPECT_EQ(GetFileAttributesW(tree.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(linked) << "the platform made no link to follow";
    EXPECT_EQ(test::ReadFile(outside + L"\\dados.txt"), "da loja");
    EXPECT_NO_THROW(Rt().RemoveFolder(tree));  // nothing left to remove
}

// The log's own file is read back by the setup test in the program file.
TEST(Win32Machine, ServicesRightsAndAnUnwritableLog) {
    EXPECT_FALSE(Rt().QueryService(L"CmNenhumServico"));
    EXPECT_TRUE(Rt().QueryService(L"rpcss"));  // every system has it
    EXPECT_TRUE(Rt().IsAdministrator()) << "the tests run with administrator rights";
    TempFolder folder;
    EXPECT_FALSE(Rt().AppendToFile(folder / L"nao-existe\\x.log", "x"));
}

}  // namespace
}  // namespace cm
