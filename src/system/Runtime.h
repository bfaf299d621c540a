// The one door from the program's core to the platform: every service the
// window, the setup steps and the modules use of the GUI runtime, the process
// and the operating system. The Win32 build implements it in system/win32;
// tests use an in-memory implementation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "system/RuntimeError.h"

#if defined(_WIN32)
#define CM_STDCALL __stdcall
#else
#define CM_STDCALL
#endif

namespace cm {

// A top-level window as the platform's enumeration offers it (32 bits on the
// Windows target).
using WindowHandle = std::uintptr_t;

// The callback form that EnumWindows expects: window and application value in,
// zero to stop the pass.
using EnumWindowsCallback = std::int32_t(CM_STDCALL *)(WindowHandle window, std::intptr_t value);

// Message-box answers.
inline constexpr int vbOK = 1;
inline constexpr int vbCancel = 2;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

// Directory-search attribute sets: normal files; folders as well; archive files as well.
inline constexpr int vbNormal = 0;
inline constexpr int vbDirectory = 16;
inline constexpr int vbArchive = 32;

// Application-wide mouse pointers.
inline constexpr int vbDefault = 0;
inline constexpr int vbHourglass = 11;

class Runtime {
public:
    virtual ~Runtime() = default;

    // Modal message box; no title shows the application's title. Answers vbOK, vbYes, vbNo, vbCancel.
    virtual int MsgBox(const std::wstring& text, int style,
                       const std::optional<std::wstring>& title = std::nullopt) = 0;
    // Modal input box with the application's title; the empty text when cancelled.
    virtual std::wstring InputBox(const std::wstring& prompt) = 0;

    // The whole application's pointer: vbHourglass or vbDefault.
    virtual void SetMousePointer(int pointer) = 0;
    virtual int MousePointer() const = 0;

    // Processes the window messages that are waiting, then returns.
    virtual void DoEvents() = 0;
    // Ends the process at once.
    [[noreturn]] virtual void End() = 0;

    // The program file's folder, without a trailing separator.
    virtual std::wstring AppPath() = 0;

    // Starts a directory search and answers the first match's name (no folder),
    // the empty text when there is none. Hidden and system entries are never
    // found; folders only with vbDirectory. Names compare ignoring case.
    virtual std::wstring Dir(const std::wstring& pattern, int attributes) = 0;
    // The next match of the search the last Dir(pattern, ...) started.
    virtual std::wstring DirNext() = 0;

    // A process environment variable by name (case ignored); empty when unset.
    virtual std::wstring Environ(const std::wstring& name) = 0;

    // Starts a command line without waiting; answers the new process id.
    // Raises a RuntimeError when the program cannot be started.
    virtual double Shell(const std::wstring& command_line, std::int32_t window_style) = 0;

    // kernel32 and user32 services, with the platform's contracts.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    virtual std::int32_t EnumWindows(EnumWindowsCallback callback, std::intptr_t value) = 0;
    virtual std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::int32_t* process_id) = 0;
    virtual std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) = 0;
    virtual std::int32_t WritePrivateProfileStringA(const char* section, const char* key,
                                                    const char* value, const char* file) = 0;
    virtual std::uint32_t GetEnvironmentVariableA(const char* name, char* buffer,
                                                  std::uint32_t size) = 0;
    virtual std::int32_t SetEnvironmentVariableA(const char* name, const char* value) = 0;

    // Conversions between the program's wide texts and the system's ANSI code page.
    // Characters the code page lacks become '?' (or the code page's own default
    // character); a text that cannot be converted raises a RuntimeError.
    virtual std::string ToAnsi(const std::wstring& text) = 0;
    virtual std::wstring FromAnsi(const std::string& text) = 0;

    // Binds a declared function of a library, looked up by file name with the
    // platform's standard search. Raises a RuntimeError when the library or the
    // function is missing.
    virtual void* BindLibraryFunction(const std::wstring& library, const std::string& function) = 0;
};

// The runtime the program runs on; set once at start (or by a test).
Runtime& Rt();
void InstallRuntime(Runtime* runtime);

}  // namespace cm
