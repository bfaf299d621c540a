// Starting programs of the Linux host from the Win32 stand-ins of the server
// package, under Wine.
//
// Wine starts a host program given by its Z: path with Windows argument
// splitting and the standard handles passed on, but hands back no process
// handle: neither its end nor its exit code can be waited for. So every host
// program runs under /bin/sh, which writes the program's exit code into a
// file once it ends; the file's appearance is the program's end.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cm::e2e {

// The host (Unix) path of a Windows path, through Wine's own mapping. Empty
// when the path cannot be mapped (or not under Wine).
std::string HostPath(const std::wstring& windows_path);

// The Windows path of the folder above the program's own folder: the server
// tree X of X\bin\mysql.exe.
std::wstring ServerTree();

// The private socket of the server whose tree is at this host path. Kept
// short and outside the tree: a Unix socket path holds at most 107 bytes.
std::string SocketFor(const std::string& host_tree);

// One Windows argument quoted so that Windows splitting gives it back whole.
std::wstring QuoteArgument(const std::wstring& argument);

// The process's own arguments after the program name, split by Windows rules.
std::vector<std::wstring> OwnArguments();

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

class HostProcess {
public:
    HostProcess() = default;
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // Starts the host program argv[0] (a Unix path) with the rest as its
    // arguments and this process's standard handles. With as_host_user the
    // program also gets --user=<the host user>, as the server programs need
    // when they run as root.
    bool Start(const std::vector<std::string>& argv, bool as_host_user = false);

    // Wine hands a host program this process's standard input and output,
    // but not its standard error: with this set before Start, what the
    // program writes there is kept, and ForwardErrors writes it to this
    // process's standard error once the program has ended.
    bool keep_errors = false;
    void ForwardErrors();

    // Whether it has ended; its exit code once it has.
    bool Ended() const;
    std::optional<int> ExitCode() const;

    // Waits up to timeout_ms for the end, calling tick about every 50 ms
    // (while waiting, this thread's messages are served). The exit code, or
    // nothing when the wait ran out.
    std::optional<int> Wait(DWORD timeout_ms, const std::function<void()>& tick = {});

private:
    std::wstring code_file_;  // Windows path of the exit-code file
    std::wstring errors_file_;
};

// Runs a host program to its end within timeout_ms: its exit code, or -1 when
// it could not start or did not end in time.
int RunHost(const std::vector<std::string>& argv, DWORD timeout_ms, bool as_host_user = false);

// Serves this thread's waiting messages.
void ServeMessages();

// One hidden top-level window, held for the object's life. On Windows the
// console of a console program is that program's window, and a caller that
// waits for the program's windows to be gone relies on it; under Wine a
// console program owns no window, so the stand-ins make one of their own.
class HeldWindow {
public:
    HeldWindow();
    ~HeldWindow();
    HeldWindow(const HeldWindow&) = delete;
    HeldWindow& operator=(const HeldWindow&) = delete;

private:
    HWND window_ = nullptr;
};

}  // namespace cm::e2e
