// The program file itself, started as an operator starts it.
#include <gtest/gtest.h>

#include "Win32TestUtil.h"
#include "system/modPrincipal.h"

namespace cm {
namespace {

constexpr wchar_t kWindowClass[] = L"BrevanoConfiguraMySQL";

struct Started {
    PROCESS_INFORMATION process{};
    ~Started() {
        if (process.hProcess != nullptr) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 9);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
};

void Start(Started& started) {
    std::wstring line = L"\"" + test::ProgramFolder() + L"\\ConfiguraMySQL.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &started.process));
}

// A box of the given title shown by the process: its text.
HWND WaitForBox(DWORD process_id, const wchar_t* title, std::wstring& text) {
    for (int i = 0; i < 200; ++i) {
        for (HWND box = FindWindowW(L"#32770", title); box != nullptr;
             box = FindWindowExW(nullptr, box, L"#32770", title)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            if (owner != process_id) continue;
            wchar_t buffer[512] = L"";
            GetDlgItemTextW(box, 0xFFFF, buffer, 512);
            text = buffer;
            if (!text.empty()) return box;
        }
        Sleep(50);
    }
    return nullptr;
}

bool MainWindowVisible(DWORD process_id) {
    for (HWND window = FindWindowW(kWindowClass, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, kWindowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process_id && IsWindowVisible(window)) return true;
    }
    return false;
}

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override { DeleteFileW(component.c_str()); }
    void TearDown() override { DeleteFileW(component.c_str()); }
    std::wstring component = modPrincipal::Diretorio_Sistema() + L"LUMATREX.OCX";
};

TEST_F(ProgramRun, WithoutTheProductItSaysSoAndEndsWithoutItsWindow) {
    Started program;
    Start(program);
    std::wstring text;
    HWND box = WaitForBox(program.process.dwProcessId, L"Atenção", text);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text, L"Instale o Velto antes de configurar o servidor.");
    EXPECT_FALSE(MainWindowVisible(program.process.dwProcessId));
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 10000), WAIT_OBJECT_0);
}

// Starts the program, answers its notice and returns its main window once
// visible.
HWND OpenWindow(Started& program) {
    Start(program);
    std::wstring text;
    HWND box = WaitForBox(program.process.dwProcessId, L"Informativo", text);
    if (box == nullptr) return nullptr;
    EXPECT_EQ(text, L"Certifique-se de que esteja executando este aplicativo como ADMINISTRADOR!");
    EXPECT_FALSE(MainWindowVisible(program.process.dwProcessId));
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    for (int i = 0; i < 200; ++i) {
        if (MainWindowVisible(program.process.dwProcessId)) return FindWindowW(kWindowClass, nullptr);
        Sleep(50);
    }
    return nullptr;
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
