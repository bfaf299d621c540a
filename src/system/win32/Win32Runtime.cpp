// The window runtime: boxes, pointer, message pump, console, environment, time, windows, libraries.
#include "system/win32/Win32Runtime.h"

#include <cwchar>
#include <vector>

#include "system/Mensagens.h"
#include "system/RuntimeError.h"
#include "system/win32/SystemError.h"

namespace cm::win32 {

namespace {

Win32Runtime* g_instance = nullptr;

// Keeps the hourglass over every window of the program while it is set:
// whatever a window chose for its cursor, this runs after it.
LRESULT CALLBACK CursorHook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION && g_instance != nullptr && g_instance->MousePointer() == vbHourglass) {
        const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
        if (message->message == WM_SETCURSOR) SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// ---- input box -------------------------------------------------------------

constexpr WORD kPromptId = 100;
constexpr WORD kAnswerId = 101;

struct InputBoxState {
    const std::wstring* title;
    const std::wstring* prompt;
    std::wstring answer;
};

class DialogTemplate {
public:
    void Header(DWORD style, short cx, short cy, WORD items) {
        Dword(style);
        Dword(0);  // extended style
        words_.push_back(items);
        Shorts({0, 0, cx, cy});
        words_.push_back(0);  // no menu
        words_.push_back(0);  // default class
        words_.push_back(0);  // caption set at run time
        words_.push_back(8);  // point size
        Text(L"MS Shell Dlg");
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD klass, const wchar_t* text) {
        if (words_.size() % 2 != 0) words_.push_back(0);  // items start on a DWORD boundary
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        Shorts({x, y, cx, cy});
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(klass);
        Text(text);
        words_.push_back(0);  // no creation data
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Dword(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void Shorts(std::initializer_list<short> values) {
        for (short v : values) words_.push_back(static_cast<WORD>(v));
    }
    void Text(const wchar_t* text) {
        for (; *text != L'\0'; ++text) words_.push_back(static_cast<WORD>(*text));
        words_.push_back(0);
    }
    std::vector<WORD> words_;
};

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* state = reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            state = reinterpret_cast<InputBoxState*>(lparam);
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            SetWindowTextW(dialog, state->title->c_str());
            SetDlgItemTextW(dialog, kPromptId, state->prompt->c_str());
            SetFocus(GetDlgItem(dialog, kAnswerId));
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK) {
                HWND edit = GetDlgItem(dialog, kAnswerId);
                std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
                text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
                state->answer = text;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wparam) == IDCANCEL) {
                state->answer.clear();
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

// ---- helpers -----------------------------------------------------------------

[[noreturn]] void RaiseDllNotFound(const std::wstring& library) {
    throw RuntimeError(kErrFileNotFound, mensagens::kArquivoNaoEncontradoDe + library);
}

struct EnumContext {
    EnumWindowsCallback callback;
    std::intptr_t value;
};

BOOL CALLBACK EnumTrampoline(HWND window, LPARAM lparam) {
    const auto* context = reinterpret_cast<const EnumContext*>(lparam);
    return context->callback(reinterpret_cast<WindowHandle>(window), context->value) != 0;
}

}  // namespace

Win32Runtime::Win32Runtime(std::wstring app_title, std::wstring program_version)
    : app_title_(std::move(app_title)), program_version_(std::move(program_version)) {
    g_instance = this;
    cursor_hook_.Reset(SetWindowsHookExW(WH_CALLWNDPROCRET, CursorHook, nullptr, GetCurrentThreadId()));
}

Win32Runtime::~Win32Runtime() {
    cursor_hook_.Reset();
    if (g_instance == this) g_instance = nullptr;
}

int Win32Runtime::ShowMsgBox(const std::wstring& text, int style, const std::optional<std::wstring>& title) {
    HWND owner = (main_window_ != nullptr && IsWindowVisible(main_window_)) ? main_window_ : nullptr;
    UINT flags = static_cast<UINT>(style);
    if (owner == nullptr) flags |= MB_TASKMODAL;
    const std::wstring& caption = title ? *title : app_title_;
    return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

std::wstring Win32Runtime::ShowInputBox(const std::wstring& prompt) {
    DialogTemplate dialog;
    dialog.Header(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU, 250, 80, 4);
    dialog.Item(SS_LEFT, 7, 7, 180, 44, kPromptId, 0x0082, L"");
    dialog.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 195, 7, 48, 14, IDOK, 0x0080, L"OK");
    dialog.Item(BS_PUSHBUTTON | WS_TABSTOP, 195, 25, 48, 14, IDCANCEL, 0x0080, mensagens::kBotaoCancelar);
    dialog.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 58, 236, 13, kAnswerId, 0x0081, L"");
    InputBoxState state{&app_title_, &prompt, {}};
    HWND owner = (main_window_ != nullptr && IsWindowVisible(main_window_)) ? main_window_ : nullptr;
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner, InputBoxProc,
                                                   reinterpret_cast<LPARAM>(&state));
    return result == IDOK ? state.answer : std::wstring();
}

void Win32Runtime::SetMousePointer(int pointer) {
    pointer_ = pointer;
    SetCursor(LoadCursorW(nullptr, pointer == vbHourglass ? IDC_WAIT : IDC_ARROW));
}

void Win32Runtime::DoEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) End();
        if (main_window_ != nullptr && IsDialogMessageW(main_window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32Runtime::End() { ExitProcess(static_cast<UINT>(ExitCode())); }

void Win32Runtime::BlockShutdown(const std::wstring& reason) {
    shutdown_reason_ = reason;
    busy_.store(!reason.empty());
    if (main_window_ == nullptr) return;
    if (reason.empty()) {
        ShutdownBlockReasonDestroy(main_window_);
    } else {
        ShutdownBlockReasonCreate(main_window_, reason.c_str());
    }
}

namespace {

std::atomic<int> g_interrupted_code{1};

// Runs on a thread of its own, which the system makes for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    Win32Runtime* runtime = g_instance;
    if (runtime == nullptr) return FALSE;
    // Nothing under way: nothing to finish first.
    if (!runtime->Interruptible() && !runtime->Busy()) ExitProcess(static_cast<UINT>(g_interrupted_code.load()));
    // A setup is interrupted and undone; an undo or a removal finishes, and
    // the program then ends without starting anything more.
    runtime->RequestInterrupt();
    if (event != CTRL_CLOSE_EVENT) return TRUE;
    // A closed console ends the process once this returns, or after about
    // five seconds: the undo gets what time there is, and what it cannot
    // finish stays on record for the next start. Once the record is settled
    // (the run no longer busy) the program's own end comes within moments;
    // should it not, it ends here, as interrupted, rather than by the system
    // with a code no script knows.
    const ULONGLONG deadline = GetTickCount64() + 4500;
    while (runtime->Busy() && GetTickCount64() < deadline) Sleep(50);
    if (runtime->Busy()) return TRUE;
    while (GetTickCount64() < deadline) Sleep(50);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(g_interrupted_code.load()));
    return TRUE;
}

}  // namespace

void Win32Runtime::AttachParentConsole(int interrupted_code) {
    // A window program has no console of its own; a handle it was given for
    // its output (a redirection) serves as well.
    AttachConsole(ATTACH_PARENT_PROCESS);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE) console_ = output;
    g_interrupted_code.store(interrupted_code);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void Win32Runtime::ConsoleLine(const std::wstring& text) {
    if (console_ == nullptr) return;
    const std::wstring line = text + L"\r\n";
    DWORD written = 0, mode = 0;
    if (GetConsoleMode(console_, &mode)) {
        WriteConsoleW(console_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    const std::string bytes = WideToCodePage(line, CP_UTF8);
    WriteFile(console_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Win32Runtime::ProgramFile() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring Win32Runtime::AppPath() {
    const std::wstring path = ProgramFile();
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring Win32Runtime::NextMatch(bool first) {
    for (bool have = first; search_;) {
        if (!have && !FindNextFileW(search_.Get(), &found_)) break;
        have = false;
        const DWORD attributes = found_.dwFileAttributes;
        if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(search_attributes_ & vbDirectory)) continue;
        return found_.cFileName;
    }
    search_.Reset();
    return L"";
}

std::wstring Win32Runtime::Dir(const std::wstring& pattern, int attributes) {
    search_.Reset();
    std::wstring full = pattern;
    if (!full.empty() && (full.back() == L'\\' || full.back() == L'/' || full.back() == L':')) full += L'*';
    search_attributes_ = attributes;
    search_.Reset(FindFirstFileW(full.c_str(), &found_));
    if (!search_) {
        const DWORD error = GetLastError();
        if (error == ERROR_NOT_READY) throw RuntimeError(71, mensagens::kDiscoNaoPronto);
        if (error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME) {
            throw RuntimeError(52, mensagens::kNomeIncorreto);
        }
        return L"";
    }
    return NextMatch(true);
}

std::wstring Win32Runtime::DirNext() {
    if (!search_) throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    return NextMatch(false);
}

std::wstring Win32Runtime::Environ(const std::wstring& name) {
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) return L"";
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);
    }
}

bool Win32Runtime::WaitServing(HANDLE handle, std::uint32_t timeout_ms) {
    const ULONGLONG start = GetTickCount64();
    const auto signalled = [&] { return handle != nullptr && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; };
    for (;;) {
        // An interrupted run waits for nothing (WakeUp makes a wait under
        // way come back here).
        if (Interrupted()) return signalled();
        DWORD remaining = INFINITE;
        if (timeout_ms != kForever) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (elapsed >= timeout_ms) return signalled();
            remaining = static_cast<DWORD>(timeout_ms - elapsed);
        }
        const DWORD count = handle != nullptr ? 1 : 0;
        const DWORD woke = MsgWaitForMultipleObjectsEx(count, handle != nullptr ? &handle : nullptr, remaining,
                                                       QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (count == 1 && woke == WAIT_OBJECT_0) return true;
        if (woke == WAIT_OBJECT_0 + count) {
            DoEvents();
        } else if (woke == WAIT_FAILED) {
            // Should the system refuse the wait, look again a moment later
            // rather than wait blind: the window keeps answering and the
            // limit still holds.
            Sleep(std::min<DWORD>(remaining, 50));
            if (signalled()) return true;
            DoEvents();
        }
    }
}

void Win32Runtime::WakeUp() {
    // From Ctrl+C's thread as well: a message makes the window's thread
    // leave its wait and look at the interruption.
    PostThreadMessageW(window_thread_, WM_NULL, 0, 0);
}

void Win32Runtime::Pause(std::uint32_t milliseconds) { WaitServing(nullptr, milliseconds); }

std::uint64_t Win32Runtime::TickCount() { return GetTickCount64(); }

std::wstring Win32Runtime::Now() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

std::wstring Win32Runtime::ProgramVersion() {
    // Given by the entry rather than read from the version resource: that
    // takes version.dll, which is not among the libraries the system always
    // loads from its own folder.
    return program_version_.empty() ? app_title_ : app_title_ + L" " + program_version_;
}

std::wstring Win32Runtime::SystemVersion() {
    // GetVersionEx answers what the manifest allows; the system's own call
    // tells the truth.
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    using WineVersionFunction = const char*(CDECL*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    std::wstring text = L"Windows";
    if (const auto get = reinterpret_cast<RtlGetVersionFunction>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        get != nullptr && get(&info) == 0) {
        text += L" " + std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) +
                L" (compilação " + std::to_wstring(info.dwBuildNumber) + L")";
        if (info.szCSDVersion[0] != L'\0') text += std::wstring(L" ") + info.szCSDVersion;
    }
    if (const auto wine = reinterpret_cast<WineVersionFunction>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))) {
        text += L", Wine " + CodePageToWide(wine(), CP_ACP);
    }
    return text;
}

std::int32_t Win32Runtime::EnumWindows(EnumWindowsCallback callback, std::intptr_t value) {
    EnumContext context{callback, value};
    return ::EnumWindows(EnumTrampoline, reinterpret_cast<LPARAM>(&context));
}

std::uint32_t Win32Runtime::GetWindowThreadProcessId(WindowHandle window, std::int32_t* process_id) {
    DWORD id = 0;
    const DWORD thread = ::GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &id);
    if (process_id != nullptr) *process_id = static_cast<std::int32_t>(id);
    return thread;
}

std::uint32_t Win32Runtime::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
    return ::GetSystemDirectoryA(buffer, size);
}

std::int32_t Win32Runtime::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                                      const char* file) {
    return ::WritePrivateProfileStringA(section, key, value, file);
}

std::uint32_t Win32Runtime::GetEnvironmentVariableA(const char* name, char* buffer, std::uint32_t size) {
    return ::GetEnvironmentVariableA(name, buffer, size);
}

std::int32_t Win32Runtime::SetEnvironmentVariableA(const char* name, const char* value) {
    return ::SetEnvironmentVariableA(name, value);
}

void RestrictLibrarySearch() {
    // Looked up: Windows 7 has it only with a later update.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (set_default != nullptr) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    SetDllDirectoryW(L"");
}

void* Win32Runtime::BindLibraryFunction(const std::wstring& library, const std::string& function) {
    HMODULE module = nullptr;
    if (const auto it = libraries_.find(library); it != libraries_.end()) {
        module = it->second.Get();
    } else {
        // Only the copy beside the program: a library of that name in the
        // current folder or on the search path is not ours.
        const bool bare = library.find_first_of(L"\\/:") == std::wstring::npos;
        const std::wstring path = bare ? AppPath() + L"\\" + library : library;
        Module loaded(
            LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
        // Systems older than these flags refuse them.
        if (!loaded && GetLastError() == ERROR_INVALID_PARAMETER) {
            loaded.Reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        }
        if (!loaded) {
            const DWORD error = GetLastError();
            if (error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                RaiseDllNotFound(library);
            }
            throw RuntimeError(kErrDllLoad, DescribeError(kErrDllLoad) + L" " + library);
        }
        module = loaded.Get();
        libraries_.emplace(library, std::move(loaded));
    }
    FARPROC address = GetProcAddress(module, function.c_str());
    if (address == nullptr) {
        throw RuntimeError(kErrDllEntryPoint,
                           mensagens::kPontoEntradaInicio + FromAnsi(function) + mensagens::kNaoEncontradoEm + library);
    }
    return reinterpret_cast<void*>(address);
}

}  // namespace cm::win32
