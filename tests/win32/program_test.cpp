// The program file itself, started as an operator starts it.
#include <gtest/gtest.h>

#include "ProgramUnderTest.h"
#include "Win32TestUtil.h"
#include "system/modPrincipal.h"

namespace cm {
namespace {

using test::OpenWindow;
using test::Started;
using test::WaitForBox;

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override { DeleteFileW(component.c_str()); }
    void TearDown() override { DeleteFileW(component.c_str()); }
    std::wstring component = modPrincipal::Diretorio_Sistema() + L"LUMATREX.OCX";
};

TEST_F(ProgramRun, WithoutTheProductItSaysSoAndEndsWithoutItsWindow) {
    Started program;
    test::StartProgram(program);
    std::wstring text;
    HWND box = WaitForBox(program.Id(), L"Atenção", text);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text, L"Instale o Velto antes de configurar o servidor.");
    EXPECT_FALSE(test::MainWindowVisible(program.Id()));
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 10000), WAIT_OBJECT_0);
}

TEST_F(ProgramRun, WithTheProductTheNoticeComesFirstThenTheWindowAndItsCloseBoxEndsIt) {
    test::WriteFile(component, "");
    Started program;
    HWND window = OpenWindow(program);
    ASSERT_NE(window, nullptr);
    wchar_t caption[64] = L"";
    GetWindowTextW(window, caption, 64);
    EXPECT_STREQ(caption, L"Brevano MySQL");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 10000), WAIT_OBJECT_0);
}

TEST_F(ProgramRun, TheCloseButtonEndsItAtOnce) {
    test::WriteFile(component, "");
    Started program;
    HWND window = OpenWindow(program);
    ASSERT_NE(window, nullptr);
    HWND close = FindWindowExW(window, nullptr, L"Button", L"Fechar");
    ASSERT_NE(close, nullptr);
    PostMessageW(close, BM_CLICK, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 10000), WAIT_OBJECT_0);
}

// ConfiguraMySQL.com, as cmd runs it for "ConfiguraMySQL ..." typed at a prompt.
TEST(ConsoleLauncher, HandsOnTheProgramsExitCodeAndEachOfItsLinesOnce) {
    struct Row {
        const wchar_t* arguments;
        DWORD code;
        const char* line;  // one the program writes, expected exactly once
    };
    const Row rows[] = {
        // Quotes and accents reach the program as they were written.
        {L"\"/Opção Nova\"", 1, "Linha de comando inválida: opção desconhecida: /Opção Nova"},
        {L"/?", 0, "Códigos de saída: 0 concluído"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(test::Utf8(row.arguments));
        test::TempFolder folder;
        const std::wstring launcher = test::ProgramFolder() + L"\\ConfiguraMySQL.com";
        EXPECT_EQ(test::RunWithOutput(launcher, row.arguments, folder), row.code);
        const std::string out = test::ReadFile(folder / L"out.txt");
        EXPECT_EQ(Occurrences(out, row.line), 1u) << out;
        EXPECT_EQ(Occurrences(out, "Arquivo de log: "), 1u) << out;
    }
}

// A program that crashed or was ended has an NTSTATUS for its code, which a
// batch file reads as a negative number and "if errorlevel 1" as success.
TEST(ConsoleLauncher, PassesTheProgramsCodeAndACrashAsAnInternalError) {
    const struct {
        const wchar_t* code;  // the stand-in program's
        DWORD passed;
    } rows[] = {{L"6", 6}, {L"20", 20}, {L"-1073741510", 5}, {L"-1073741819", 5}};
    test::TempFolder folder;
    ASSERT_TRUE(CopyFileW((test::ProgramFolder() + L"\\ConfiguraMySQL.com").c_str(),
                          (folder / L"ConfiguraMySQL.com").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(test::Stub().c_str(), (folder / L"ConfiguraMySQL.exe").c_str(), FALSE));
    for (const auto& row : rows) {
        SCOPED_TRACE(test::Utf8(row.code));
        test::ScopedEnv exit_code{L"CM_EXIT", row.code};
        EXPECT_EQ(test::RunWithOutput(folder / L"ConfiguraMySQL.com", L"/instalar", folder), row.passed);
    }
}

TEST(ConsoleLauncher, StartsOnlyTheProgramBesideItNeverOneInTheCurrentFolder) {
    test::TempFolder folder;
    const std::wstring alone = folder / L"ConfiguraMySQL.com";
    ASSERT_TRUE(CopyFileW((test::ProgramFolder() + L"\\ConfiguraMySQL.com").c_str(), alone.c_str(), FALSE));
    // The current folder holds the program; the launcher must not take it.
    const DWORD code = test::RunWithOutput(alone, L"/?", folder, test::ProgramFolder());
    EXPECT_EQ(code, 9009u);
    const std::string err = test::ReadFile(folder / L"err.txt");
    EXPECT_NE(err.find("não foi possível iniciar " + test::Utf8(folder / L"ConfiguraMySQL.exe")),
              std::string::npos)
        << err;
    EXPECT_EQ(test::ReadFile(folder / L"out.txt"), "");
}

}  // namespace
}  // namespace cm
