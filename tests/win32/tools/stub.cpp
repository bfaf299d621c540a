// A stand-in program for the runner and the command interpreter.
// Environment (inherited from the test that starts it):
//   CM_RECORD   file to which it appends "start <tick> <command line>",
//               "shown <tick>" once its window exists and "gone <tick>" once
//               the window is gone (the tick of the moment before it went)
//   CM_HOLD_MS  keep one hidden top-level window for this long (default 0: no window)
//   CM_HOLD_UNTIL a file: the window goes as soon as it exists (a test's
//               release once it has looked at what the setup made so far)
//   CM_LINGER_MS stay alive this long after the window is gone, without windows
//   CM_OUT, CM_ERR text written (UTF-8) to its standard output and error
//   CM_EXIT     its exit code (default 0)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

DWORD EnvNumber(const wchar_t* name) {
    wchar_t value[32] = L"";
    if (GetEnvironmentVariableW(name, value, 32) == 0) return 0;
    return static_cast<DWORD>(_wtoi(value));
}

void Record(const std::wstring& line) {
    wchar_t path[MAX_PATH] = L"";
    if (GetEnvironmentVariableW(L"CM_RECORD", path, MAX_PATH) == 0) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    utf8.back() = '\n';
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}

void Say(const wchar_t* variable, DWORD handle) {
    wchar_t text[512] = L"";
    if (GetEnvironmentVariableW(variable, text, 512) == 0) return;
    char utf8[2048] = "";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    DWORD written = 0;
    if (size > 1) WriteFile(GetStdHandle(handle), utf8, static_cast<DWORD>(size - 1), &written, nullptr);
}

void Pump(DWORD milliseconds) {
    wchar_t release[MAX_PATH] = L"";
    const bool released_early = GetEnvironmentVariableW(L"CM_HOLD_UNTIL", release, MAX_PATH) != 0;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        if (released_early && GetFileAttributesW(release) != INVALID_FILE_ATTRIBUTES) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(milliseconds - elapsed, 100), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Record(L"start " + std::to_wstring(GetTickCount()) + L" " + GetCommandLineW());
    const DWORD hold = EnvNumber(L"CM_HOLD_MS");
    if (hold > 0) {
        WNDCLASSW klass{};
        klass.lpfnWndProc = DefWindowProcW;
        klass.hInstance = instance;
        klass.lpszClassName = L"CmStubWindow";
        RegisterClassW(&klass);
        HWND window = CreateWindowExW(0, L"CmStubWindow", L"stub", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                      nullptr, instance, nullptr);  // never made visible
        Record(L"shown " + std::to_wstring(GetTickCount()));
        Pump(hold);
        // The tick is taken while the window still exists, so that whoever
        // waited for it cannot have returned before it.
        const DWORD closing = GetTickCount();
        DestroyWindow(window);
        Record(L"gone " + std::to_wstring(closing));
    } else {
        Record(L"gone " + std::to_wstring(GetTickCount()));
    }
    Say(L"CM_OUT", STD_OUTPUT_HANDLE);
    Say(L"CM_ERR", STD_ERROR_HANDLE);
    Sleep(EnvNumber(L"CM_LINGER_MS"));
    return static_cast<int>(EnvNumber(L"CM_EXIT"));
}
