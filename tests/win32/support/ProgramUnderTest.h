// Drives the program file from the outside, as an operator would: started as
// its own process, its boxes and window found and answered through window
// messages.
#pragma once

#include <windows.h>

#include <string>

#include "app/Layout.h"

namespace cm::test {

// A started program; ended at scope end if it is still running.
struct Started {
    PROCESS_INFORMATION process{};
    Started() = default;
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;
    ~Started();
    DWORD Id() const { return process.dwProcessId; }
};

// Starts ConfiguraMySQL.exe from the given folder (by default the one the
// build puts it in), with the given current folder (by default inherited).
void StartProgram(Started& started, const std::wstring& folder = L"", const std::wstring& current = L"");

// Waits up to timeout for a message box of the process with that title;
// answers it with its text, or null. An empty title takes any box.
HWND WaitForBox(DWORD process_id, const wchar_t* title, std::wstring& text, DWORD timeout_ms = 10000);

bool MainWindowVisible(DWORD process_id);

// Starts the program, answers its administrator notice and answers its main
// window once visible (null if it never shows).
HWND OpenWindow(Started& program, const std::wstring& folder = L"", const std::wstring& current = L"");

// A control of the program's window by its identity in the layout.
HWND ControlOf(HWND window, Control control);

}  // namespace cm::test
