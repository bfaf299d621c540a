// Programs the runtime starts: their command line, output files, end and exit code.
#include "system/win32/Win32Runtime.h"

#include <vector>

#include "system/RuntimeError.h"

namespace cm::win32 {

namespace {

constexpr DWORD kErrorElevationRequired = 740;

int ShowCommandFor(std::int32_t window_style) {
    switch (window_style) {
        case 0: return SW_HIDE;
        case 1: return SW_SHOWNORMAL;
        case 2: return SW_SHOWMINIMIZED;
        case 3: return SW_SHOWMAXIMIZED;
        case 4: return SW_SHOWNOACTIVATE;
        case 6: return SW_SHOWMINNOACTIVE;
        default: throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    }
}

// An inheritable handle for a child's standard handle: a fresh temporary
// file (gone once every handle to it is closed), or the null device.
KernelHandle InheritableFile(bool temporary) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!temporary) {
        return KernelHandle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    wchar_t folder[MAX_PATH + 1] = L"";
    wchar_t name[MAX_PATH + 1] = L"";
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"cm", 0, name) == 0) return KernelHandle();
    return KernelHandle(CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

// Everything a program wrote into one of its output files.
std::wstring ReadBack(const KernelHandle& file) {
    if (!file) return L"";
    std::string bytes;
    SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return ConsoleText(bytes);
}

}  // namespace

std::wstring ProgramOf(const std::wstring& command_line) {
    if (!command_line.empty() && command_line.front() == L'"') {
        const auto close = command_line.find(L'"', 1);
        return command_line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    return command_line.substr(0, command_line.find_first_of(L" \t"));
}

double Win32Runtime::Shell(const std::wstring& command_line, std::int32_t window_style) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(ShowCommandFor(window_style));
    // Output goes to files rather than pipes: nobody reads while the runner
    // waits, and a full pipe would stop the program. Input is empty, so that
    // a program that asks (a password) gets no answer rather than waiting.
    Started started;
    const KernelHandle input = InheritableFile(false);
    started.output = InheritableFile(true);
    started.errors = InheritableFile(true);
    if (input && started.output && started.errors) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = input.Get();
        startup.hStdOutput = started.output.Get();
        startup.hStdError = started.errors.Get();
    }
    const BOOL inherit = (startup.dwFlags & STARTF_USESTDHANDLES) ? TRUE : FALSE;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');
    // Started held, so that it is in its job before it can start programs
    // of its own: ending a command that took too long ends what it started.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &process)) {
        const DWORD error = GetLastError();
        const std::wstring program = ProgramOf(command_line);
        switch (error) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_NAME:
            case ERROR_BAD_PATHNAME:
                if (program.empty()) {
                    throw RuntimeError(kErrFileNotFound,
                                       L"Arquivo não encontrado: a linha de comando não começa com um programa");
                }
                throw RuntimeError(kErrFileNotFound, L"Arquivo não encontrado: " + program);
            case kErrorElevationRequired:
                throw RuntimeError(kErrInvalidCall, L"O programa " + program + L" exige permissão de administrador");
            default:
                throw RuntimeError(kErrInvalidCall, L"Não foi possível iniciar o programa " + program +
                                                        L" (erro do sistema " + std::to_wstring(error) + L")");
        }
    }
    const KernelHandle thread(process.hThread);
    started.process.Reset(process.hProcess);
    started.job.Reset(CreateJobObjectW(nullptr, nullptr));
    if (started.job && !AssignProcessToJobObject(started.job.Get(), process.hProcess)) started.job.Reset();
    ResumeThread(process.hThread);
    started_[static_cast<std::int32_t>(process.dwProcessId)] = std::move(started);
    return static_cast<double>(process.dwProcessId);
}

bool Win32Runtime::WaitForProgram(std::int32_t process_id, std::uint32_t timeout_ms) {
    const auto it = started_.find(process_id);
    if (it == started_.end()) throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    return WaitServing(it->second.process.Get(), timeout_ms);
}

ProgramEnd Win32Runtime::EndOfProgram(std::int32_t process_id) {
    const auto it = started_.find(process_id);
    if (it == started_.end()) throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    const Started started = std::move(it->second);
    started_.erase(it);
    DWORD code = 0;
    if (!GetExitCodeProcess(started.process.Get(), &code)) code = static_cast<DWORD>(-1);
    return ProgramEnd{static_cast<std::int32_t>(code), ReadBack(started.output), ReadBack(started.errors)};
}

void Win32Runtime::EndProgram(std::int32_t process_id) {
    const auto it = started_.find(process_id);
    if (it == started_.end()) throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    const Started started = std::move(it->second);
    started_.erase(it);
    if (!started.job || !TerminateJobObject(started.job.Get(), 1)) TerminateProcess(started.process.Get(), 1);
    WaitForSingleObject(started.process.Get(), 5000);
}

}  // namespace cm::win32
