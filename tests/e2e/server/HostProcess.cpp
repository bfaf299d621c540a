#include "HostProcess.h"

#include <shellapi.h>

#include <cstdint>
#include <cstdio>

namespace cm::e2e {

namespace {

using UnixNameFunction = char*(CDECL*)(LPCWSTR);

std::wstring TempFolder() {
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = GetTempPathW(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH) return L"C:\\windows\\temp\\";
    CreateDirectoryW(path, nullptr);
    return path;
}

std::wstring FreshCodeFile() {
    static unsigned counter = 0;
    return TempFolder() + L"cm-host-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) +
           L"-" + std::to_wstring(GetTickCount()) + L".rc";
}

std::optional<int> ReadCode(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    char text[32] = "";
    DWORD got = 0;
    ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
    text[got] = '\0';
    int code = 0;
    if (std::sscanf(text, "%d", &code) != 1) return std::nullopt;
    return code;
}

}  // namespace

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string HostPath(const std::wstring& windows_path) {
    static const auto to_unix = reinterpret_cast<UnixNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (to_unix == nullptr) return {};
    std::wstring path = windows_path;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    char* unix_name = to_unix(path.c_str());
    if (unix_name == nullptr) return {};
    std::string result = unix_name;
    HeapFree(GetProcessHeap(), 0, unix_name);
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

std::wstring ServerTree() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring tree = path;
    for (int i = 0; i < 2; ++i) {
        const auto slash = tree.find_last_of(L"\\/");
        if (slash == std::wstring::npos) return L".";
        tree.resize(slash);
    }
    return tree;
}

std::string SocketFor(const std::string& host_tree) {
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (unsigned char c : host_tree) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    char name[64];
    std::snprintf(name, sizeof name, "/tmp/cm-mysqld-%016llx.sock", static_cast<unsigned long long>(hash));
    return name;
}

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') {
            ++backslashes;
            ++i;
        }
        if (i == argument.size()) {
            out.append(backslashes * 2, L'\\');
            break;
        }
        if (argument[i] == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        out += argument[i];
    }
    return out + L"\"";
}

std::vector<std::wstring> OwnArguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(argv[i]);
    LocalFree(argv);
    return arguments;
}

void ServeMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

HostProcess::~HostProcess() {
    if (!code_file_.empty()) DeleteFileW(code_file_.c_str());
    if (!errors_file_.empty()) DeleteFileW(errors_file_.c_str());
}

bool HostProcess::Start(const std::vector<std::string>& argv, bool as_host_user) {
    code_file_ = FreshCodeFile();
    DeleteFileW(code_file_.c_str());
    const std::string code_host = HostPath(code_file_);
    if (code_host.empty() || argv.empty()) return false;
    // The code goes to a side file first and is renamed, so that a reader
    // never sees it half written.
    if (keep_errors) errors_file_ = code_file_ + L".err";
    const std::string script = std::string("f=$1; shift; \"$@\"") + (as_host_user ? " --user=\"$(id -un)\"" : "") +
                               (keep_errors ? " 2>\"$f.err\"" : "") +
                               "; echo $? > \"$f.part\"; mv -f \"$f.part\" \"$f\"";
    std::wstring line = L"Z:\\bin\\sh -c " + QuoteArgument(Widen(script)) + L" sh " + QuoteArgument(Widen(code_host));
    for (const std::string& argument : argv) line += L" " + QuoteArgument(Widen(argument));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    return true;
}

void HostProcess::ForwardErrors() {
    if (errors_file_.empty()) return;
    HANDLE file = CreateFileW(errors_file_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char buffer[4096];
    DWORD got = 0, written = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), buffer, got, &written, nullptr);
    }
    CloseHandle(file);
}

bool HostProcess::Ended() const { return ExitCode().has_value(); }

std::optional<int> HostProcess::ExitCode() const {
    if (code_file_.empty()) return std::nullopt;
    return ReadCode(code_file_);
}

std::optional<int> HostProcess::Wait(DWORD timeout_ms, const std::function<void()>& tick) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (auto code = ExitCode()) return code;
        if (GetTickCount() - start >= timeout_ms) return std::nullopt;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        ServeMessages();
        if (tick) tick();
    }
}

int RunHost(const std::vector<std::string>& argv, DWORD timeout_ms, bool as_host_user) {
    HostProcess process;
    if (!process.Start(argv, as_host_user)) return -1;
    return process.Wait(timeout_ms).value_or(-1);
}

HeldWindow::HeldWindow() {
    WNDCLASSW klass{};
    klass.lpfnWndProc = DefWindowProcW;
    klass.hInstance = GetModuleHandleW(nullptr);
    klass.lpszClassName = L"CmHeldWindow";
    RegisterClassW(&klass);
    window_ = CreateWindowExW(0, klass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              klass.hInstance, nullptr);
}

HeldWindow::~HeldWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
}

}  // namespace cm::e2e
