// Programs the runtime starts: their command line, output files, end and exit code.
#include "system/win32/Win32Runtime.h"

#include <tlhelp32.h>

#include <map>
#include <vector>

#include "system/Mensagens.h"
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

// Whether the job this program already runs in (a scheduler's, a management
// agent's) lets a program it starts leave it: where jobs cannot nest
// (Windows 7), that is the only way the command gets a job of its own.
bool MayBreakAway() {
    BOOL in_job = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), nullptr, &in_job) || !in_job) return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    if (!QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr)) {
        return false;
    }
    return (limits.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_BREAKAWAY_OK) != 0;
}

// A job that ends every process in it once its last handle is closed: when
// this program is killed, its commands go with it.
KernelHandle JobEndingWithTheProgram() {
    KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) job.Reset();
    return job;
}

// PROC_THREAD_ATTRIBUTE_JOB_LIST (Windows 10), which mingw's headers for
// Windows 7 lack.
constexpr DWORD_PTR kAtributoJobs = 0x2000D;

// The attribute that makes a new process start inside the job, where the
// system has it. Without it the process is started held and put in the
// job before it runs, and a program killed between the two would leave it
// held, outside any job, for ever.
class JobAoIniciar {
public:
    explicit JobAoIniciar(HANDLE job) : job_(job) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        buffer_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
        if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        if (!UpdateProcThreadAttribute(list, 0, kAtributoJobs, &job_, sizeof job_, nullptr, nullptr)) {
            DeleteProcThreadAttributeList(list);
            return;
        }
        list_ = list;
    }
    ~JobAoIniciar() {
        if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
    }
    JobAoIniciar(const JobAoIniciar&) = delete;
    JobAoIniciar& operator=(const JobAoIniciar&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST Lista() const { return list_; }

private:
    HANDLE job_;
    std::vector<char> buffer_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

FILETIME CreationOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    return created;
}

// Without a job: the programs a command started, and theirs, from a
// snapshot of the processes. A process counts only when it began after its
// parent, since a parent's id may have been taken by a later process, and
// before the snapshot, since an id in it may have been freed and taken by
// a stranger by the time it is opened.
void EndDescendants(DWORD root, HANDLE root_process) {
    FILETIME taken{};
    GetSystemTimeAsFileTime(&taken);
    const KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    std::multimap<DWORD, DWORD> children;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID != entry.th32ParentProcessID) {
            children.emplace(entry.th32ParentProcessID, entry.th32ProcessID);
        }
    }
    std::vector<std::pair<DWORD, FILETIME>> pending{{root, CreationOf(root_process)}};
    for (std::size_t i = 0; i < pending.size() && pending.size() < 4096; ++i) {
        const auto [parent, parent_created] = pending[i];
        const auto [first, last] = children.equal_range(parent);
        for (auto it = first; it != last; ++it) {
            const KernelHandle child(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                                 it->second));
            if (!child) continue;
            const FILETIME created = CreationOf(child.Get());
            if (CompareFileTime(&created, &parent_created) < 0 || CompareFileTime(&created, &taken) > 0) continue;
            TerminateProcess(child.Get(), 1);
            pending.emplace_back(it->second, created);
        }
    }
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
    // In its job before it can start programs of its own: ending a command
    // that took too long ends what it started, and a program killed takes
    // its commands with it. Created inside the job where the system allows
    // it, else started held until it is put there.
    KernelHandle job = JobEndingWithTheProgram();
    const JobAoIniciar no_job(job.Get());
    STARTUPINFOEXW startup_ex{};
    startup_ex.StartupInfo = startup;
    // A console of its own, without a window: Ctrl+C or the close of the
    // console the program was started from reaches the program alone, which
    // decides (a stop or a delete under way during an undo must finish).
    DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW;
    if (job && no_job.Lista() != nullptr) {
        startup_ex.StartupInfo.cb = sizeof startup_ex;
        startup_ex.lpAttributeList = no_job.Lista();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    } else if (MayBreakAway()) {
        flags |= CREATE_BREAKAWAY_FROM_JOB;
    }
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, flags, nullptr, nullptr,
                        &startup_ex.StartupInfo, &process)) {
        const DWORD error = GetLastError();
        const std::wstring program = ProgramOf(command_line);
        switch (error) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_NAME:
            case ERROR_BAD_PATHNAME:
                if (program.empty()) {
                    throw RuntimeError(kErrFileNotFound, mensagens::kSemPrograma);
                }
                throw RuntimeError(kErrFileNotFound, mensagens::kArquivoNaoEncontradoDe + program);
            case kErrorElevationRequired:
                throw RuntimeError(kErrInvalidCall, mensagens::kProgramaInicio + program + mensagens::kExigeAdministrador);
            default:
                throw RuntimeError(kErrInvalidCall, mensagens::kNaoIniciouPrograma + program + mensagens::kErroDoSistema +
                                                        std::to_wstring(error) + L")");
        }
    }
    const KernelHandle thread(process.hThread);
    started.process.Reset(process.hProcess);
    if (job && !(flags & EXTENDED_STARTUPINFO_PRESENT) && !AssignProcessToJobObject(job.Get(), process.hProcess)) {
        job.Reset();
    }
    started.job = std::move(job);
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

std::wstring Win32Runtime::EndProgram(std::int32_t process_id) {
    const auto it = started_.find(process_id);
    if (it == started_.end()) throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    const Started started = std::move(it->second);
    started_.erase(it);
    std::wstring how = mensagens::kPeloJob;
    if (!started.job || !TerminateJobObject(started.job.Get(), 1)) {
        // The program already ran in a job that allows no other: what it
        // started is found by its parentage instead.
        EndDescendants(static_cast<DWORD>(process_id), started.process.Get());
        TerminateProcess(started.process.Get(), 1);
        how = mensagens::kPelaLista;
    }
    WaitForSingleObject(started.process.Get(), 5000);
    return how;
}

}  // namespace cm::win32
