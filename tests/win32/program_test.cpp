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

}  // namespace
}  // namespace cm
