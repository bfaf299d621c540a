// The extraction module and the first setup step on the real platform: our
// unzip32.dll found by name beside the program, the real message and input
// boxes, the real environment.
#include <gtest/gtest.h>

#include <string>

#include "skip.h"
#include "BoxAnswerer.h"
#include "Win32TestUtil.h"
#include "ZipModuleState.h"
#include "app/win32/MainWindow.h"
#include "unzip/modZip.h"
#include "zip_builder.h"

namespace cm {
namespace {

using test::TempFolder;

constexpr const wchar_t* kSource = L"CodeModule::VBUnzip";

void WriteArchive(const std::wstring& path, uztest::ZipBuilder& builder) {
    const uztest::Bytes bytes = builder.finish();
    test::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring PathNow() {
    const DWORD size = GetEnvironmentVariableW(L"Path", nullptr, 0);
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(L"Path", value.data(), size));
    return value;
}

class RealExtraction : public ::testing::Test {
protected:
    void SetUp() override { test::ResetZipModule(); }
    void TearDown() override { test::ResetZipModule(); }
    TempFolder dir;
};

TEST_F(RealExtraction, ExtractsThroughTheDllRecreatingFolders) {
    uztest::ZipBuilder zip;
    zip.add("MySQL/my.ini", "[mysqld]\r\n", 8).add("MySQL/bin/mysql.exe", std::string(5000, 'x'), 8);
    WriteArchive(dir / L"Mysql.zip", zip);

    EXPECT_EQ(modZip::Descompacta_Zip(dir / L"Mysql.zip", dir.Path()), 0) << modZip::Zip_Saida.c_str();
    EXPECT_EQ(test::ReadFile(dir / L"MySQL\\my.ini"), "[mysqld]\r\n");
    EXPECT_EQ(test::ReadFile(dir / L"MySQL\\bin\\mysql.exe"), std::string(5000, 'x'));
}

TEST_F(RealExtraction, PrintedTextIsCollectedAndTheResultHandedBack) {
    // An entry that would land outside the folder is skipped with a warning.
    uztest::ZipBuilder zip;
    zip.add("MySQL/my.ini", "ini").add("../fora.txt", "no");
    WriteArchive(dir / L"aviso.zip", zip);
    CreateDirectoryW((dir / L"out").c_str(), nullptr);

    EXPECT_EQ(modZip::Descompacta_Zip(dir / L"aviso.zip", dir / L"out"), UZ_WARNING);
    const std::wstring warning = modZip::Zip_Saida;
    EXPECT_NE(warning.find(L"fora.txt"), std::wstring::npos) << warning.c_str();
    EXPECT_EQ(modZip::Zip_Impressao, warning);
    EXPECT_EQ(test::ReadFile(dir / L"out\\MySQL\\my.ini"), "ini");
    EXPECT_FALSE(Exists(dir / L"fora.txt"));

    // Everything printed in the process is kept, and the output follows it.
    EXPECT_EQ(modZip::Descompacta_Zip(dir / L"nao-existe.zip", dir / L"out"), UZ_NOT_ZIP);
    EXPECT_GT(modZip::Zip_Impressao.size(), warning.size());
    EXPECT_EQ(modZip::Zip_Impressao.substr(0, warning.size()), warning);
    EXPECT_EQ(modZip::Zip_Saida, modZip::Zip_Impressao);
}

TEST_F(RealExtraction, OverwriteIsAskedInTheRealMessageBox) {
    uztest::ZipBuilder zip;
    zip.add("MySQL/a.txt", "new a").add("MySQL/b.txt", "new b");
    WriteArchive(dir / L"z.zip", zip);
    CreateDirectoryW((dir / L"MySQL").c_str(), nullptr);
    test::WriteFile(dir / L"MySQL\\a.txt", "old a");
    test::WriteFile(dir / L"MySQL\\b.txt", "old b");

    test::BoxAnswerer boxes;
    boxes.buttons = {IDNO, IDYES};
    EXPECT_EQ(modZip::Descompacta_Zip(dir / L"z.zip", dir.Path()), 0);
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[0].title, L"VBUnZip32 - File Already Exists!");
    EXPECT_EQ(boxes.seen[0].text, L"Overwrite MySQL\\a.txt?");
    EXPECT_EQ(test::ReadFile(dir / L"MySQL\\a.txt"), "old a");
    EXPECT_EQ(test::ReadFile(dir / L"MySQL\\b.txt"), "new b");
}

TEST_F(RealExtraction, PasswordIsAskedInTheRealInputBox) {
    uztest::EntrySpec secret;
    secret.name = "MySQL/secreto.txt";
    secret.data = uztest::bytes_of("conteudo");
    secret.password = "Kq7";
    uztest::ZipBuilder zip;
    zip.add(secret);
    WriteArchive(dir / L"s.zip", zip);

    {
        test::BoxAnswerer boxes;
        boxes.inputs = {L"Kq7"};
        EXPECT_EQ(modZip::Descompacta_Zip(dir / L"s.zip", dir / L"um"), 0) << modZip::Zip_Saida.c_str();
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].title, L"Brevano MySQL");
        EXPECT_NE(boxes.seen[0].text.find(L"Please Enter The Password!"), std::wstring::npos);
        EXPECT_EQ(test::ReadFile(dir / L"um\\MySQL\\secreto.txt"), "conteudo");
    }
    {
        // Cancelled once: never asked again in this process.
        test::BoxAnswerer boxes;
        boxes.inputs = {L""};
        EXPECT_EQ(modZip::Descompacta_Zip(dir / L"s.zip", dir / L"dois"), UZ_BAD_PASSWORD);
        EXPECT_EQ(modZip::Descompacta_Zip(dir / L"s.zip", dir / L"tres"), UZ_BAD_PASSWORD);
        EXPECT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(modZip::Zip_SenhaCancelada, 1);
    }
}

// The first setup step in the real window: the server archive extracted into
// the prefix's drive C: and its bin folder put on this process's Path, which
// is longer than the step's first read can take.
TEST_F(RealExtraction, FirstStepExtractsToTheDriveAndExtendsALongPath) {
    if (Exists(L"C:\\MySQL")) CM_SKIP_UNLESS_CI("C:\\MySQL already exists here; not touching it");
    struct RemoveAfter {
        ~RemoveAfter() { test::RemoveTree(L"C:\\MySQL"); }
    } remove_after;

    uztest::ZipBuilder zip;
    zip.add("MySQL/bin/mysqld-nt.exe", "MZ server", 8).add("MySQL/bin/mysql.exe", "MZ client", 8);
    zip.add("MySQL/my.ini", "[mysqld]\r\n");
    WriteArchive(dir / L"Mysql.zip", zip);

    std::wstring long_path = PathNow();
    for (int i = 0; long_path.size() < 1500; ++i) long_path += L";C:\\Ferramentas\\pasta" + std::to_wstring(i);
    test::ScopedEnv path(L"Path", long_path);

    win32::MainWindow window{test::Runtime()};
    window.Create();
    test::BoxAnswerer boxes;
    Logico resultado = Falso;
    window.Form().Instala_Mysql(L"c:", dir / L"Mysql.zip", resultado);

    EXPECT_EQ(resultado, Verdadeiro) << modZip::Zip_Saida.c_str();
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(test::ReadFile(L"C:\\MySQL\\bin\\mysqld-nt.exe"), "MZ server");
    EXPECT_EQ(test::ReadFile(L"C:\\MySQL\\bin\\mysql.exe"), "MZ client");
    EXPECT_EQ(test::ReadFile(L"C:\\MySQL\\my.ini"), "[mysqld]\r\n");
    EXPECT_EQ(PathNow(), long_path + L";C:\\MySQL\\bin");

    // Run again, as after the technician removed the server folder: the
    // Path already holds the folder and stays as it is.
    test::RemoveTree(L"C:\\MySQL");
    window.Form().Instala_Mysql(L"C:", dir / L"Mysql.zip", resultado);
    EXPECT_EQ(resultado, Verdadeiro);
    EXPECT_EQ(PathNow(), long_path + L";C:\\MySQL\\bin");
}

// Run only in a copy of this program placed where no unzip32.dll can be found.
TEST(WithoutLibrary, DISABLED_InAFolderWithoutTheDll) {
    ASSERT_EQ(LoadLibraryW(L"unzip32.dll"), nullptr) << "unzip32.dll is reachable from here";
    TempFolder dir;
    try {
        modZip::Descompacta_Zip(dir / L"Mysql.zip", L"c:");
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), kErrFileNotFound);
        EXPECT_EQ(error.Description(), L"Arquivo não encontrado: unzip32.dll");
        EXPECT_EQ(error.Source(), kSource);
    }

    win32::MainWindow window{test::Runtime()};
    window.Create();
    test::BoxAnswerer boxes;
    Logico resultado = Verdadeiro;
    test::WriteFile(dir / L"Mysql.zip", "");  // as the press's checks leave it, there
    window.Form().Instala_Mysql(L"c:", dir / L"Mysql.zip", resultado);
    EXPECT_EQ(resultado, Falso);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, L"Brevano MySQL");
    EXPECT_EQ(boxes.seen[0].text, L"Arquivo não encontrado: unzip32.dll");
}

TEST(WithoutLibrary, MissingDllIsARunTimeErrorWithTheModuleSource) {
    TempFolder dir;
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring copy = dir / L"sem_dll.exe";
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));

    const DWORD exit_code = test::RunWithOutput(copy,
                                                L"--gtest_filter=WithoutLibrary.DISABLED_InAFolderWithoutTheDll "
                                                L"--gtest_also_run_disabled_tests --gtest_color=no",
                                                dir, dir.Path());
    const std::string output = test::ReadFile(dir / L"out.txt") + test::ReadFile(dir / L"err.txt");
    EXPECT_EQ(exit_code, 0u) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
}

}  // namespace
}  // namespace cm
