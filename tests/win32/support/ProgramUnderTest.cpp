#include "ProgramUnderTest.h"

#include <gtest/gtest.h>

#include "Win32TestUtil.h"
#include "app/win32/MainWindow.h"

namespace cm::test {

namespace {
constexpr wchar_t kWindowClass[] = L"BrevanoConfiguraMySQL";
}

Started::~Started() {
    if (process.hProcess == nullptr) return;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 9);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

void StartProgram(Started& started, const std::wstring& folder, const std::wstring& current) {
    std::wstring line = L"\"" + (folder.empty() ? ProgramFolder() : folder) + L"\\ConfiguraMySQL.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               current.empty() ? nullptr : current.c_str(), &startup, &started.process));
}

HWND WaitForBox(DWORD process_id, const wchar_t* title, std::wstring& text, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    do {
        for (HWND box = FindWindowW(L"#32770", nullptr); box != nullptr;
             box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            if (owner != process_id || !IsWindowVisible(box)) continue;
            wchar_t caption[256] = L"";
            GetWindowTextW(box, caption, 256);
            if (title != nullptr && *title != L'\0' && std::wstring(caption) != title) continue;
            wchar_t buffer[1024] = L"";
            GetDlgItemTextW(box, 0xFFFF, buffer, 1024);
            text = buffer;
            if (!text.empty()) return box;
        }
        Sleep(50);
    } while (GetTickCount() - start < timeout_ms);
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

HWND OpenWindow(Started& program, const std::wstring& folder, const std::wstring& current) {
    StartProgram(program, folder, current);
    if (program.process.hProcess == nullptr) return nullptr;
    std::wstring text;
    HWND box = WaitForBox(program.Id(), L"Informativo", text);
    if (box == nullptr) return nullptr;
    EXPECT_EQ(text, L"Certifique-se de que esteja executando este aplicativo como ADMINISTRADOR!");
    EXPECT_FALSE(MainWindowVisible(program.Id()));
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    for (int i = 0; i < 200; ++i) {
        for (HWND window = FindWindowW(kWindowClass, nullptr); window != nullptr;
             window = FindWindowExW(nullptr, window, kWindowClass, nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == program.Id() && IsWindowVisible(window)) return window;
        }
        Sleep(50);
    }
    return nullptr;
}

HWND ControlOf(HWND window, Control control) {
    return GetDlgItem(window, win32::MainWindow::ControlId(control));
}

}  // namespace cm::test
