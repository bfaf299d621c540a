// The runtime over Win32: message boxes, the input box, the pointer, message
// pumping, directory search, processes, windows and the kernel32 services.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <string>

#include "system/Runtime.h"
#include "system/win32/Handles.h"

namespace cm::win32 {

class Win32Runtime : public Runtime {
public:
    // program_version: the version the build stamped, which ProgramVersion
    // names after the title (the title alone when empty).
    explicit Win32Runtime(std::wstring app_title, std::wstring program_version = {});
    ~Win32Runtime() override;
    Win32Runtime(const Win32Runtime&) = delete;
    Win32Runtime& operator=(const Win32Runtime&) = delete;

    // The program's window: owner of message boxes once it is shown, and the
    // dialog whose keyboard navigation the message pump serves.
    void SetMainWindow(HWND window) { main_window_ = window; }
    HWND MainWindow() const { return main_window_; }
    const std::wstring& AppTitle() const { return app_title_; }

    void ConsoleLine(const std::wstring& text) override;
    // Writes ConsoleLine's lines to the console of the process that started
    // this one, when there is one. Ctrl+C, Ctrl+Break and the console's
    // close then interrupt a setup under way (Interrupt), are ignored while
    // a removal or an undo runs, and otherwise end the program with
    // interrupted_code.
    void AttachParentConsole(int interrupted_code);
    void SetMousePointer(int pointer) override;
    int MousePointer() const override { return pointer_; }
    void DoEvents() override;
    [[noreturn]] void End() override;
    std::wstring AppPath() override;
    std::wstring Dir(const std::wstring& pattern, int attributes) override;
    std::wstring DirNext() override;
    std::wstring Environ(const std::wstring& name) override;
    double Shell(const std::wstring& command_line, std::int32_t window_style) override;
    bool WaitForProgram(std::int32_t process_id, std::uint32_t timeout_ms) override;
    ProgramEnd EndOfProgram(std::int32_t process_id) override;
    std::wstring EndProgram(std::int32_t process_id) override;
    void RunInBackground(const std::function<void()>& work) override;
    void OnWindowThread(const std::function<void()>& call) override;
    void Pause(std::uint32_t milliseconds) override;
    std::uint64_t TickCount() override;
    std::wstring Now() override;
    std::optional<ServiceState> QueryService(const std::wstring& name) override;
    std::vector<NamedService> ListServices() override;
    bool IsAdministrator() override;
    bool ClaimSingleInstance() override;
    void BlockShutdown(const std::wstring& reason) override;
    // The reason a run set for the session's end to wait; empty for none.
    const std::wstring& ShutdownReason() const { return shutdown_reason_; }
    // Whether a setup, a removal or an undo is changing the machine (the
    // session's end waits for it); may be asked from any thread.
    bool Busy() const { return busy_.load(); }
    void MakeFolder(const std::wstring& path, FolderAccess access) override;
    void RemoveFolder(const std::wstring& path) override;
    void RenameFolder(const std::wstring& from, const std::wstring& to) override;
    bool AppendToFile(const std::wstring& path, const std::string& bytes) override;
    std::optional<std::uint64_t> FileLength(const std::wstring& path) override;
    std::wstring FileSha256(const std::wstring& path) override;
    std::vector<std::wstring> ChangeableByAnyone(const std::wstring& path) override;
    bool KeepsAccessLists(const std::wstring& drive) override;
    std::optional<RunRecord> ReadRunRecord() override;
    void WriteRunRecord(const std::wstring& text) override;
    void RemoveRunRecord() override;
    std::wstring FolderIdentity(const std::wstring& path) override;
    std::optional<std::uint64_t> FreeSpace(const std::wstring& drive) override;
    std::optional<std::string> ReadFilePart(const std::wstring& path, std::uint64_t offset,
                                            std::uint32_t length) override;
    std::optional<std::uint64_t> FileWriteTime(const std::wstring& path) override;
    std::wstring ProgramVersion() override;
    std::wstring SystemVersion() override;
    std::int32_t EnumWindows(EnumWindowsCallback callback, std::intptr_t value) override;
    std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::int32_t* process_id) override;
    std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override;
    std::int32_t WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                            const char* file) override;
    std::uint32_t GetEnvironmentVariableA(const char* name, char* buffer, std::uint32_t size) override;
    std::int32_t SetEnvironmentVariableA(const char* name, const char* value) override;
    std::string ToAnsi(const std::wstring& text) override;
    std::wstring FromAnsi(const std::string& text) override;
    void* BindLibraryFunction(const std::wstring& library, const std::string& function) override;
    std::vector<Listener> TcpListeners(std::uint16_t port) override;

    // What runs as administrator, and what it extracts (Files.cpp).
    std::unique_ptr<HeldFile> HoldFile(const std::wstring& path) override;
    std::vector<std::wstring> ReplaceableByAnyone(const std::wstring& path) override;
    std::vector<std::wstring> RootOpenToAnyone(const std::wstring& drive) override;
    bool Occupied(const std::wstring& path) override;
    std::wstring UserName() override;
    std::wstring ProgramFile() override;

protected:
    int ShowMsgBox(const std::wstring& text, int style, const std::optional<std::wstring>& title) override;
    std::wstring ShowInputBox(const std::wstring& prompt) override;
    void WakeUp() override;

private:
    std::wstring NextMatch(bool first);
    HANDLE console_ = nullptr;
    // Waits until the handle is signalled or the time is up, serving messages.
    bool WaitServing(HANDLE handle, std::uint32_t timeout_ms);

    // A started program: its process, and the files its output goes to.
    struct Started {
        KernelHandle process;
        KernelHandle job;  // the process and whatever it starts
        KernelHandle output;
        KernelHandle errors;
    };
    std::map<std::int32_t, Started> started_;

    KernelHandle instance_;
    // The hand-over from background work to the window's thread.
    DWORD window_thread_ = GetCurrentThreadId();
    KernelHandle call_ready_;
    KernelHandle call_done_;
    const std::function<void()>* pending_call_ = nullptr;
    std::exception_ptr pending_error_;
    std::wstring shutdown_reason_;
    std::atomic<bool> busy_{false};
    std::wstring app_title_;
    std::wstring program_version_;
    HWND main_window_ = nullptr;
    int pointer_ = vbDefault;
    Hook cursor_hook_;
    FindHandle search_;
    int search_attributes_ = 0;
    WIN32_FIND_DATAW found_{};
    std::map<std::wstring, Module> libraries_;
};

// Keeps libraries that the process loads by name from coming out of the
// current folder or PATH: the system folder only (where the system allows
// saying so), and the current folder out of the search in any case. Called
// before anything else loads.
void RestrictLibrarySearch();

// The access list a folder is made with, in the security descriptor language.
const wchar_t* FolderSecurity(FolderAccess access);

// The head of a command line: the program as the platform would look it up.
std::wstring ProgramOf(const std::wstring& command_line);

// Conversions through a given code page (ToAnsi and FromAnsi use the
// system's ANSI code page). Characters the code page lacks become its default
// character ('?' where the code page takes one). A text that cannot be
// converted raises a RuntimeError that says so.
std::string WideToCodePage(const std::wstring& text, UINT code_page);
std::wstring CodePageToWide(const std::string& text, UINT code_page);
// Whether WideCharToMultiByte accepts a default character for the code page
// (UTF-8 and UTF-7 refuse one).
bool TakesDefaultChar(UINT code_page);
// What a console program wrote: UTF-8 when the bytes are that, else text in
// the OEM code page, as the command interpreter writes its own messages.
std::wstring ConsoleText(const std::string& bytes);

}  // namespace cm::win32
