// The one door from the program's core to the platform: every service the
// window, the setup steps and the modules use of the GUI runtime, the process
// and the operating system. The Win32 build implements it in system/win32;
// tests use an in-memory implementation.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// Message-box styles: the buttons, plus at most one icon.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbYesNoCancel = 3;
inline constexpr int vbYesNo = 4;
inline constexpr int kBotoes = 7;  // the bits that choose the buttons
inline constexpr int vbDefaultButton2 = 256;  // the second button answers Enter
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbInformation = 64;

// Message-box answers.
inline constexpr int vbOK = 1;
inline constexpr int vbCancel = 2;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

// Directory-search attribute sets: normal files; folders as well; archive files as well.
inline constexpr int vbNormal = 0;
inline constexpr int vbDirectory = 16;
inline constexpr int vbArchive = 32;

// A program Shell started, once it has ended.
struct ProgramEnd {
    std::int32_t exit_code = 0;
    std::wstring output;  // what it wrote to its standard output
    std::wstring errors;  // and to its standard error
};

// A registered Windows service as the service controller reports it.
struct ServiceState {
    bool running = false;
    bool automatic = false;  // starts with the system
    bool stopped = false;    // neither running nor on its way up or down
    // The program the service runs, as registered (its command line's head,
    // without quotes); empty when it cannot be read.
    std::wstring program;
    bool starting = false;  // on its way up: Windows refuses a stop until it is up
};

// Who may reach a folder the program makes. Neither inherits what the folder
// above allows: the server tree must not be open to every local user.
enum class FolderAccess {
    Server,   // SYSTEM and Administrators full control, Users read and execute
    Private,  // SYSTEM and Administrators only
};

// Application-wide mouse pointers.
inline constexpr int vbDefault = 0;
inline constexpr int vbHourglass = 11;

class Runtime {
public:
    virtual ~Runtime() = default;

    // Modal message box; no title shows the application's title. Answers vbOK, vbYes, vbNo, vbCancel.
    // Unattended, nothing is shown: the text goes to the log and the
    // console, and the answer is the safe one (OK, No, Cancel).
    int MsgBox(const std::wstring& text, int style, const std::optional<std::wstring>& title = std::nullopt);
    // Modal input box with the application's title; the empty text when
    // cancelled (and, unattended, without asking).
    std::wstring InputBox(const std::wstring& prompt);

    // Unattended: nobody is at the window (command-line runs). What a box
    // would have shown or asked goes to the log given.
    using TextSink = std::function<void(const std::wstring&)>;
    void SetUnattended(bool unattended, TextSink log = {}) {
        unattended_ = unattended;
        unattended_log_ = std::move(log);
    }
    bool Unattended() const { return unattended_; }
    // The code the process ends with (End).
    void SetExitCode(int code) { exit_code_ = code; }
    int ExitCode() const { return exit_code_; }
    // A line for the console the program was started from; nothing when
    // there is none.
    virtual void ConsoleLine(const std::wstring& text) = 0;

    // The whole application's pointer: vbHourglass or vbDefault.
    virtual void SetMousePointer(int pointer) = 0;
    virtual int MousePointer() const = 0;

    // Processes the window messages that are waiting, then returns.
    virtual void DoEvents() = 0;
    // Ends the process at once, with ExitCode().
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
    // Its standard output and error are kept for EndOfProgram; its standard
    // input is empty. Raises a RuntimeError when the program cannot be started.
    virtual double Shell(const std::wstring& command_line, std::int32_t window_style) = 0;
    // Waits up to timeout_ms (kForever: no limit) for a program Shell started
    // to end, serving the window's messages meanwhile; answers whether it has.
    virtual bool WaitForProgram(std::int32_t process_id, std::uint32_t timeout_ms) = 0;
    // The exit code and output of a program that has ended; forgets it.
    virtual ProgramEnd EndOfProgram(std::int32_t process_id) = 0;
    // Ends a program Shell started that is still running (it took too long,
    // or the run was interrupted), with every program it started; answers
    // how those were found, for the log.
    virtual std::wstring EndProgram(std::int32_t process_id) = 0;
    static constexpr std::uint32_t kForever = 0xFFFFFFFF;

    // Runs work on a thread of its own and returns once it has ended,
    // serving the window's messages meanwhile, so that the window answers
    // during a long piece of work. What the work must do on the window's
    // thread (a box, a question, a control) it hands to OnWindowThread.
    virtual void RunInBackground(const std::function<void()>& work) = 0;
    // Runs call on the window's thread and returns once it has; called on
    // that thread, runs it at once.
    virtual void OnWindowThread(const std::function<void()>& call) = 0;

    // Waits this long while the window's messages are served, so that it
    // repaints and answers (and its handlers may run).
    virtual void Pause(std::uint32_t milliseconds) = 0;
    // Milliseconds from some fixed moment, for durations.
    virtual std::uint64_t TickCount() = 0;
    // The local date and time, "AAAA-MM-DD HH:MM:SS".
    virtual std::wstring Now() = 0;

    // A registered service by name (case ignored); nothing when there is none.
    // Raises a RuntimeError when the service controller cannot be asked.
    virtual std::optional<ServiceState> QueryService(const std::wstring& name) = 0;
    // Every registered Windows service (drivers aside), by name; a service
    // whose program cannot be read has it empty. Raises a RuntimeError when
    // the service controller cannot be asked.
    struct NamedService {
        std::wstring name;
        ServiceState state;
    };
    virtual std::vector<NamedService> ListServices() = 0;
    // Whether the process runs with administrator rights (an elevated token).
    virtual bool IsAdministrator() = 0;
    // Claims the machine-wide mark of a running copy of the program, for
    // the rest of the process; false when another copy holds it.
    virtual bool ClaimSingleInstance() = 0;
    // While a reason is set, the end of the Windows session waits and shows
    // it; the empty text lets the session end again.
    virtual void BlockShutdown(const std::wstring& reason) = 0;

    // Makes one folder with the given access; a RuntimeError when it cannot
    // (an existing folder or file of that name included).
    virtual void MakeFolder(const std::wstring& path, FolderAccess access) = 0;
    // Removes a folder and everything below it; a link below it is removed,
    // never followed. A RuntimeError when something could not be removed.
    virtual void RemoveFolder(const std::wstring& path) = 0;
    // Gives a folder a new name on the same drive, with everything in it and
    // its access list; never replaces what has the new name. A RuntimeError
    // when it cannot.
    virtual void RenameFolder(const std::wstring& from, const std::wstring& to) = 0;
    // Appends bytes to a file, making it when missing; false when it cannot.
    virtual bool AppendToFile(const std::wstring& path, const std::string& bytes) = 0;
    // The size of a file; nothing when there is no such file.
    virtual std::optional<std::uint64_t> FileLength(const std::wstring& path) = 0;
    // The SHA-256 of a file's content in lower-case hexadecimal, by the
    // system's own hashing; empty when the file cannot be read.
    virtual std::wstring FileSha256(const std::wstring& path) = 0;
    // Which of the broad groups (Users, Authenticated Users, Everyone) may
    // change a file or folder, by the names the log gives them.
    virtual std::vector<std::wstring> ChangeableByAnyone(const std::wstring& path) = 0;
    // Whether the file system of a drive ("C:") keeps access lists; false
    // when the drive cannot be asked.
    virtual bool KeepsAccessLists(const std::wstring& drive) = 0;
    // The bytes this process may still use on a drive ("C:"); nothing when
    // the drive cannot be asked.
    virtual std::optional<std::uint64_t> FreeSpace(const std::wstring& drive) = 0;
    // Up to length bytes of a file from offset on (fewer at its end), read
    // while its writer keeps it open; nothing when it cannot be read.
    virtual std::optional<std::string> ReadFilePart(const std::wstring& path, std::uint64_t offset,
                                                    std::uint32_t length) = 0;
    // When a file was last written, as a number that only orders such times;
    // nothing when there is no such file.
    virtual std::optional<std::uint64_t> FileWriteTime(const std::wstring& path) = 0;

    // The record of a setup under way, kept where only administrators may
    // write and flushed to disk at every change, so that a run cut short by
    // a power cut or a kill is found at the next start. Nothing when there
    // is none. Writing makes the place such that only administrators and
    // the system may change it, or raises a RuntimeError; a record found
    // where others may change it says so, as anyone could have written it.
    struct RunRecord {
        std::wstring text;
        bool others_may_write = false;
    };
    virtual std::optional<RunRecord> ReadRunRecord() = 0;
    virtual void WriteRunRecord(const std::wstring& text) = 0;
    virtual void RemoveRunRecord() = 0;
    // What tells a folder apart from any other made later at the same path
    // (its volume and file number); empty when it cannot be read.
    virtual std::wstring FolderIdentity(const std::wstring& path) = 0;

    // The operator's request to stop the setup under way (a close of the
    // window answered yes, Ctrl+C or the console closed): from then on the
    // waits and pauses return at once and the runner ends the command it
    // waits for. Taken only inside a span the setup opens; may come from
    // any thread. Answers whether it was taken.
    bool Interrupt() {
        if (!interruptible_.load()) return false;
        interrupted_.store(true);
        WakeUp();
        return true;
    }
    bool Interrupted() const { return interrupted_.load(); }
    // Opens or closes the span; closing it forgets an interruption, so that
    // the undo that follows runs its commands.
    void SetInterruptible(bool interruptible) {
        interruptible_.store(interruptible);
        if (!interruptible) interrupted_.store(false);
    }
    bool Interruptible() const { return interruptible_.load(); }
    // The operator's Ctrl+C, Ctrl+Break or console close: it interrupts a
    // setup under way; outside one (an undo, a removal) it is kept, so that
    // the program ends once that is done and starts nothing more.
    void RequestInterrupt() {
        if (!Interrupt()) interrupt_requested_.store(true);
    }
    bool InterruptRequested() const { return interrupt_requested_.load(); }

    // What the log tells of the program and of the system it runs on.
    virtual std::wstring ProgramVersion() = 0;
    virtual std::wstring SystemVersion() = 0;

    // kernel32 and user32 services, with the platform's contracts.
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

protected:
    virtual int ShowMsgBox(const std::wstring& text, int style, const std::optional<std::wstring>& title) = 0;
    virtual std::wstring ShowInputBox(const std::wstring& prompt) = 0;
    // Makes a wait under way on the window's thread look at the interruption.
    virtual void WakeUp() {}

private:
    std::atomic<bool> interruptible_{false};
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> interrupt_requested_{false};
    bool unattended_ = false;
    TextSink unattended_log_;
    int exit_code_ = 0;

public:
    // ---- what runs as administrator, and what it extracts ----
    // A file held open by HoldFile; closed when it goes.
    struct HeldFile {
        virtual ~HeldFile() = default;
    };
    // Opens a file so that nobody may write, rename or delete it while the
    // answer lives (reading it stays open to all); nothing when it cannot be
    // opened so (it is not there, or some program writes it).
    virtual std::unique_ptr<HeldFile> HoldFile(const std::wstring& path) = 0;
    // Which of the broad groups (Users, Authenticated Users, Everyone) may
    // replace a file: write or delete it, change its access list or owner,
    // or delete, rename or re-permission what is in its folder.
    virtual std::vector<std::wstring> ReplaceableByAnyone(const std::wstring& path) = 0;
    // Which of them may delete or re-permission what is in a drive's root
    // ("C:"): a folder made there could then be swapped for theirs.
    virtual std::vector<std::wstring> RootOpenToAnyone(const std::wstring& drive) = 0;
    // Whether anything is at a path: a file or folder, hidden or system, or
    // a link, even one that leads nowhere; a path that cannot be asked counts.
    virtual bool Occupied(const std::wstring& path) = 0;
    // The account the program runs as ("DOMÍNIO\usuário").
    virtual std::wstring UserName() = 0;
    // The program file's full path.
    virtual std::wstring ProgramFile() = 0;

    // Binds a declared function of a library. A bare file name is the copy in
    // the program's own folder, never one the platform's search would find
    // elsewhere. Raises a RuntimeError when the library or the function is
    // missing.
    virtual void* BindLibraryFunction(const std::wstring& library, const std::string& function) = 0;

    // ---- the server's port, as the shop's terminals reach it --------------
    // A program that accepts TCP connections on a port of this machine.
    struct Listener {
        std::uint32_t process_id = 0;  // 0: the system does not say (Wine never does)
        // Its program: with its folder when the system tells it, else its
        // file name; empty when neither is known.
        std::wstring program;
    };
    // Every program listening on this TCP port, on any address of IPv4 or
    // IPv6, read from the system's own table. A RuntimeError when the table
    // cannot be read.
    virtual std::vector<Listener> TcpListeners(std::uint16_t port) = 0;
};

// The runtime the program runs on; set once at start (or by a test).
Runtime& Rt();
void InstallRuntime(Runtime* runtime);

// Should the program end while this lasts (a quit message, the end of the
// Windows session), it ends with the code given, not the one before.
class ExitCodeWhile {
public:
    explicit ExitCodeWhile(int code) : before_(Rt().ExitCode()) { Rt().SetExitCode(code); }
    ~ExitCodeWhile() { Rt().SetExitCode(before_); }
    ExitCodeWhile(const ExitCodeWhile&) = delete;
    ExitCodeWhile& operator=(const ExitCodeWhile&) = delete;

private:
    int before_;
};


}  // namespace cm
