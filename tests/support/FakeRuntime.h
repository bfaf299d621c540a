// An in-memory runtime for tests: scripted answers, recorded calls, a virtual
// file tree and environment, a virtual clock, scripted windows and processes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "system/Runtime.h"

namespace cm::test {

// Thrown by End(): nothing after the program's end may run.
struct ProgramEnded {};

// File attributes of the virtual tree.
inline constexpr int kReadOnly = 1;
inline constexpr int kHidden = 2;
inline constexpr int kSystem = 4;
inline constexpr int kDirectoryAttr = 16;
inline constexpr int kArchiveAttr = 32;

struct MsgBoxCall {
    std::wstring text;
    int style;
    std::optional<std::wstring> title;
};

struct ShellCall {
    std::wstring command_line;
    std::int32_t window_style;
    std::uint64_t at_ms;  // virtual clock when started
};

// How a started program behaves: how long it runs (virtual clock), its exit
// code and what it writes.
struct FakeProgram {
    std::uint32_t runs_ms = 0;
    std::int32_t exit_code = 0;
    std::wstring output;
    std::wstring errors;
    bool never_ends = false;  // runs until ended from outside
};

struct FakeWindow {
    WindowHandle handle;
    std::int32_t process_id;
};

class FakeRuntime : public Runtime {
public:
    FakeRuntime();
    ~FakeRuntime() override;

    // ---- scripting ------------------------------------------------------
    std::deque<int> msgbox_answers;          // popped per box; empty: OK/No/Cancel by style
    std::deque<std::wstring> input_answers;  // popped per input box; empty: cancelled
    std::wstring app_path = L"C:\\Apps\\Brevano";
    std::string system_directory = "C:\\WINDOWS\\system32";

    // Program starts: each start takes the next result; a number is the
    // process id, a RuntimeError is raised. Empty: ids from 4000 upwards.
    std::deque<std::variant<double, RuntimeError>> shell_results;
    // How each started program behaves, by its command line (may change the
    // machine, e.g. register a service). Unset: ends at once with code 0.
    std::function<FakeProgram(const std::wstring& command_line)> program_for;
    // Registered services by name (lower-cased).
    std::map<std::wstring, ServiceState> services;
    bool administrator = true;
    bool other_copy = false;  // another copy of the program holds the machine
    std::map<std::wstring, std::wstring> hashes;  // lower-cased path -> SHA-256; unset: unreadable
    std::map<std::wstring, std::vector<std::wstring>> changeable_by;  // lower-cased path -> groups
    std::map<std::wstring, std::vector<std::wstring>> replaceable_by;  // lower-cased path -> groups
    std::map<std::wstring, std::vector<std::wstring>> root_open_to;    // "d:" -> groups
    std::vector<std::wstring> unholdable;  // lower-cased paths some other program writes
    std::wstring user_name = L"LOJA\\tecnico";
    std::vector<std::wstring> drives_without_acls;  // "d:"
    std::optional<std::uint64_t> free_space = std::uint64_t{100} << 30;  // on every drive; none: cannot be asked
    std::map<std::wstring, std::uint64_t> write_times;  // lower-cased path -> last write; unset: 0
    std::map<std::uint16_t, std::vector<Listener>> listeners;  // TCP port -> who listens on it
    // Threads that ran background work, and calls handed back to the window's thread.
    int background_runs = 0;
    int window_calls_from_background = 0;
    std::wstring shutdown_reason;  // what the session's end would show; empty: nothing
    std::vector<std::wstring> ended_programs;  // command lines ended for taking too long
    // Folders (lower-cased, no trailing separator) where no file can be written.
    std::vector<std::wstring> read_only_folders;
    std::wstring now = L"2026-12-08 10:00:00";
    // The record of a setup under way, and every text written to it.
    std::optional<std::wstring> run_record;
    std::vector<std::wstring> run_record_writes;
    bool run_record_fails = false;  // writing it raises an error
    bool run_record_stays = false;  // removing it raises an error
    bool run_record_open = false;   // found where others may write it
    // Windows met by each enumeration pass, in order; passes beyond the
    // script meet no window.
    std::deque<std::vector<FakeWindow>> window_passes;
    // Called at each message-box or input-box, pass or start (for tests that act mid-way).
    std::function<void(const std::wstring& event)> on_event;

    // Virtual files and folders; paths are case-insensitive, listed in the
    // order they were added.
    void AddFile(const std::wstring& path, int attributes = kArchiveAttr);
    void AddFolder(const std::wstring& path, int attributes = 0);
    bool Exists(const std::wstring& path) const;
    // Makes the n-th (1-based) next-match of the current search raise an error.
    std::optional<int> fail_dir_next_at;

    void SetEnv(const std::wstring& name, const std::wstring& value);
    void UnsetEnv(const std::wstring& name);
    std::optional<std::wstring> Env(const std::wstring& name) const;

    // Content appended to a file through AppendToFile.
    std::string FileContent(const std::wstring& path) const;

    // INI content written through the profile call: [file][section][key] (lower-cased file path).
    std::optional<std::wstring> IniValue(const std::wstring& file, const std::wstring& section,
                                         const std::wstring& key) const;

    void AddLibraryFunction(const std::wstring& library, const std::string& function, void* address);

    // ---- records --------------------------------------------------------
    std::vector<MsgBoxCall> msgboxes;
    std::vector<std::wstring> console;
    std::vector<std::wstring> input_prompts;
    std::vector<ShellCall> shells;
    std::vector<std::wstring> events;  // every call, in order, as short texts
    std::vector<int> pointer_history;
    int doevents_count = 0;
    int enum_passes = 0;
    std::vector<int> windows_offered_per_pass;
    int system_directory_calls = 0;
    std::vector<std::vector<std::string>> profile_writes;
    std::vector<std::pair<std::wstring, FolderAccess>> made_folders;
    std::vector<std::wstring> removed_folders;
    // A profile write that the platform refuses (n-th write, 1-based).
    std::optional<int> refuse_profile_write_at;
    std::uint64_t clock_ms = 0;

    // ---- Runtime --------------------------------------------------------
    void ConsoleLine(const std::wstring& text) override { console.push_back(text); }
    void SetMousePointer(int pointer) override;
    int MousePointer() const override { return pointer_; }
    void DoEvents() override;
    [[noreturn]] void End() override;
    std::wstring AppPath() override { return app_path; }
    std::wstring Dir(const std::wstring& pattern, int attributes) override;
    std::wstring DirNext() override;
    std::wstring Environ(const std::wstring& name) override;
    double Shell(const std::wstring& command_line, std::int32_t window_style) override;
    bool WaitForProgram(std::int32_t process_id, std::uint32_t timeout_ms) override;
    ProgramEnd EndOfProgram(std::int32_t process_id) override;
    std::wstring EndProgram(std::int32_t process_id) override;
    std::optional<RunRecord> ReadRunRecord() override {
        if (!run_record) return std::nullopt;
        return RunRecord{*run_record, run_record_open};
    }
    void WriteRunRecord(const std::wstring& text) override;
    void RemoveRunRecord() override;
    std::wstring FolderIdentity(const std::wstring& path) override;
    void RunInBackground(const std::function<void()>& work) override;
    void OnWindowThread(const std::function<void()>& call) override;
    std::wstring FileSha256(const std::wstring& path) override;
    std::vector<std::wstring> ChangeableByAnyone(const std::wstring& path) override;
    bool KeepsAccessLists(const std::wstring& drive) override;
    std::optional<std::uint64_t> FreeSpace(const std::wstring&) override { return free_space; }
    std::optional<std::string> ReadFilePart(const std::wstring& path, std::uint64_t offset,
                                            std::uint32_t length) override;
    std::optional<std::uint64_t> FileWriteTime(const std::wstring& path) override;
    bool ClaimSingleInstance() override;
    void BlockShutdown(const std::wstring& reason) override;
    void Pause(std::uint32_t milliseconds) override;
    std::uint64_t TickCount() override { return clock_ms; }
    std::wstring Now() override { return now; }
    std::optional<ServiceState> QueryService(const std::wstring& name) override;
    std::vector<NamedService> ListServices() override;
    bool IsAdministrator() override;
    void MakeFolder(const std::wstring& path, FolderAccess access) override;
    void RemoveFolder(const std::wstring& path) override;
    void RenameFolder(const std::wstring& from, const std::wstring& to) override;
    bool AppendToFile(const std::wstring& path, const std::string& bytes) override;
    std::optional<std::uint64_t> FileLength(const std::wstring& path) override;
    std::wstring ProgramVersion() override { return L"Brevano MySQL 1.0.0"; }
    std::wstring SystemVersion() override { return L"Windows 10.0 (compilação 19045)"; }
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
    // Holding records "HoldFile <path>", and the file's release "ReleaseFile <path>".
    std::unique_ptr<HeldFile> HoldFile(const std::wstring& path) override;
    std::vector<std::wstring> ReplaceableByAnyone(const std::wstring& path) override;
    std::vector<std::wstring> RootOpenToAnyone(const std::wstring& drive) override;
    bool Occupied(const std::wstring& path) override { return Exists(path); }
    std::wstring UserName() override { return user_name; }
    std::wstring ProgramFile() override { return app_path + L"\\ConfiguraMySQL.exe"; }

protected:
    int ShowMsgBox(const std::wstring& text, int style, const std::optional<std::wstring>& title) override;
    std::wstring ShowInputBox(const std::wstring& prompt) override;

private:
    struct Entry {
        std::wstring name;  // as added
        int attributes;
        int identity = 0;  // a folder's, new each time one is made
    };
    int next_identity_ = 0;
    void Event(const std::wstring& text);
    std::wstring NextMatch();

    int pointer_ = vbDefault;
    // The background work's hand-over: the window's thread runs what the
    // work hands it while it waits for the work to end.
    std::thread::id window_thread_ = std::this_thread::get_id();
    std::mutex handover_;
    std::condition_variable handover_changed_;
    const std::function<void()>* pending_ = nullptr;
    std::exception_ptr pending_error_;
    bool work_done_ = false;
    std::int32_t next_pid_ = 4000;
    // folder (lower-cased, no trailing separator) -> entries in insertion order
    std::map<std::wstring, std::vector<Entry>> tree_;
    std::vector<std::wstring> search_results_;
    std::size_t search_pos_ = 0;
    bool search_active_ = false;
    int dir_next_calls_ = 0;
    std::vector<std::pair<std::wstring, std::wstring>> env_;  // name as set, value
    std::map<std::wstring, std::map<std::wstring, std::map<std::wstring, std::wstring>>> ini_;
    std::map<std::pair<std::wstring, std::string>, void*> libraries_;
    std::vector<FakeWindow> current_pass_;
    struct Running {
        FakeProgram program;
        std::uint64_t ends_at;
        std::wstring command_line;
    };
    std::map<std::int32_t, Running> running_;
    std::map<std::wstring, std::string> files_;  // lower-cased path -> content
};

// Lower-case for case-insensitive comparisons of Latin texts.
std::wstring Lower(const std::wstring& text);

// Installs a FakeRuntime for the lifetime of a test; the log starts and ends
// as at program start.
class ScopedFakeRuntime {
public:
    ScopedFakeRuntime();
    ~ScopedFakeRuntime();
    FakeRuntime runtime;
};

}  // namespace cm::test
