// ConfiguraMySQL.com: the console face of ConfiguraMySQL.exe. The command
// interpreter prefers .com to .exe, so "ConfiguraMySQL /instalar ..." typed at
// a prompt or written in a batch file comes here: this starts the window
// program beside it with the same arguments, on the same console, waits for
// it and ends with its exit code, which cmd does not do for a window program.
#include <windows.h>

#include <atomic>
#include <cwchar>
#include <string>

#include "system/Mensagens.h"

namespace {

// When the program cannot be started at all: cmd's own code for a command it
// cannot find. The program itself never ends with it (it uses 0 to 6, 11 to 15,
// 20 and 31 to 42), so a script can tell the two apart.
constexpr DWORD kNaoIniciado = 9009;
// The program's own code for a run without administrator rights: from a
// prompt that is not elevated Windows refuses to start it at all, and a
// script checking for that code should see the same answer.
constexpr DWORD kSemAdministrador = 3;
// ERROR_ELEVATION_REQUIRED, which mingw's headers lack.
constexpr DWORD kElevacaoNecessaria = 740;

void Say(const std::wstring& text) {
    const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
    if (errors == nullptr || errors == INVALID_HANDLE_VALUE) return;
    const std::wstring line = text + L"\r\n";
    DWORD written = 0, mode = 0;
    if (GetConsoleMode(errors, &mode)) {
        WriteConsoleW(errors, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    // Redirected: UTF-8, as the program writes its own lines there.
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(errors, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The command line after this program's name, exactly as the caller wrote it.
// The name ends where CommandLineToArgvW, which the program parses its line
// with, ends it: at the closing quote, or unquoted at the first blank.
const wchar_t* ArgumentsOf(const wchar_t* line) {
    if (*line == L'"') {
        const wchar_t* end = std::wcschr(line + 1, L'"');
        return end == nullptr ? line + std::wcslen(line) : end + 1;
    }
    while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
    return line;
}

// Whether the arguments ask for /verificar (or -verificar, any case).
bool PedeVerificacao(const wchar_t* arguments) {
    std::wstring word;
    for (const wchar_t* p = arguments;; ++p) {
        if (*p != L'\0' && *p != L' ' && *p != L'\t') {
            word += *p;
            continue;
        }
        if (word.size() == 10 && (word[0] == L'/' || word[0] == L'-') && lstrcmpiW(word.c_str() + 1, L"verificar") == 0) {
            return true;
        }
        if (*p == L'\0') return false;
        word.clear();
    }
}

// The program's exit code as a batch file reads it. An NTSTATUS (0xC0000005
// for a crash, 0xC000013A when it was ended) is negative as %ERRORLEVEL%,
// which "if errorlevel 1" takes for success: it is the program's own code
// for an internal error instead.
constexpr DWORD kErroInterno = 5;
DWORD AsBatchCode(DWORD code) { return code >= 0xC0000000u ? kErroInterno : code; }

// The program's code for a run the operator interrupted.
constexpr DWORD kInterrompida = 6;

std::atomic<HANDLE> g_program{nullptr};
std::atomic<bool> g_interrupted{false};

// Ctrl+C, Ctrl+Break and closing the console reach the program too, on the
// same console: it decides (a setup is interrupted and undone), and this
// stays to hand on how it ended. A closed console ends this process a few
// seconds after the handler returns, so it waits for the program first.
// Installed before the program starts, so that no moment leaves it running
// with nobody waiting for it.
BOOL WINAPI KeepWaiting(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    g_interrupted.store(true);
    const HANDLE program = g_program.load();
    if (event == CTRL_CLOSE_EVENT && program != nullptr) WaitForSingleObject(program, 4500);
    return TRUE;
}

}  // namespace

int main() {
    // Only the program beside this file: the current folder and PATH may
    // hold anything, and it runs with administrator rights.
    const std::wstring self = OwnPath();
    const auto slash = self.find_last_of(L'\\');
    const std::wstring program =
        (slash == std::wstring::npos ? std::wstring() : self.substr(0, slash + 1)) + L"ConfiguraMySQL.exe";

    const wchar_t* arguments = ArgumentsOf(GetCommandLineW());
    std::wstring line = L"\"" + program + L"\"";
    if (*arguments != L'\0' && *arguments != L' ' && *arguments != L'\t') line += L' ';
    line += arguments;

    // The program's lines go to the handles this was given: the console, or
    // whatever the caller redirected them to.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    SetConsoleCtrlHandler(KeepWaiting, TRUE);
    const auto start = [&] {
        // Asked to stop before anything began: nothing is started.
        if (g_interrupted.load()) {
            SetLastError(ERROR_CANCELLED);
            return false;
        }
        return CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &started) != FALSE;
    };
    bool running = slash != std::wstring::npos && start();
    DWORD error = slash == std::wstring::npos ? ERROR_FILE_NOT_FOUND : running ? ERROR_SUCCESS : GetLastError();
    // The check only reads, and a technician runs it from any prompt: the
    // program's manifest asks for the rights, Windows' compatibility layer
    // runs it with those the prompt has. What needs more says so itself.
    if (!running && error == kElevacaoNecessaria && PedeVerificacao(arguments)) {
        SetEnvironmentVariableW(L"__COMPAT_LAYER", L"RunAsInvoker");
        running = start();
        error = running ? ERROR_SUCCESS : GetLastError();
    }
    if (!running) {
        if (error == ERROR_CANCELLED) return static_cast<int>(kInterrompida);
        if (error == kElevacaoNecessaria) {
            Say(cm::mensagens::kLancadorSemAdministrador);
            return static_cast<int>(kSemAdministrador);
        }
        Say(cm::mensagens::kLancadorNaoIniciou + program + cm::mensagens::kLancadorErro + std::to_wstring(error) + L").");
        return static_cast<int>(kNaoIniciado);
    }
    CloseHandle(started.hThread);
    g_program.store(started.hProcess);
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD code = kNaoIniciado;
    GetExitCodeProcess(started.hProcess, &code);
    return static_cast<int>(AsBatchCode(code));
}
