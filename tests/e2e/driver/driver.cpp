// e2e_driver: works ConfiguraMySQL.exe from outside, as an operator would,
// through window messages only (no screen coordinates), with a bound on every
// wait. Each argument is one command, its fields joined by "|":
//
//   start|FOLDER             start FOLDER\ConfiguraMySQL.exe in FOLDER
//   box|KEY|BUTTON[|SECS]    wait for the message box KEY of the table below,
//                            check its title, text and icon, press BUTTON
//                            (ok, yes, no); {log} in a text stands for the
//                            log beside the running program
//   close                    ask the window to close, as its title bar does
//   nobox|SECS               no message box appears for SECS seconds
//   window                   the main window becomes visible
//   nowindow                 the main window is not visible
//   ended[|SECS]             the program ends
//   kill                     end the program at once, as Task Manager does
//   noprocess|NAME[|SECS]    no process of that program file name is left
//   drive|TEXT               select the drive entry that begins with TEXT
//   script|NAME              pick NAME in the script list, or type it there
//   items|NAME,NAME          the script list holds exactly these, in order
//   tick|0 or 1              set the binary-log check box
//   press|CONTROL            click a button (cmdConfigurar, cmdFechar, ...)
//   steps|N[|SECS]           wait until steps 1..N show " - OK!", printing
//                            each as it turns; fails if a box appears first
//   enabled|CONTROL|0 or 1[|SECS]   wait until the control is (not) enabled
//   labels|N                 steps 1..N green with " - OK!", the rest as at
//                            start (caption and dark blue)
//   layout                   control rectangles against the layout table
//   service|NAME|STATE[|SECS]  wait until the service is absent, stopped or
//                            running; "running-auto" also checks automatic start
//
// Exit code 0 when every command passed; 1 at the first failure, with the
// reason on standard error.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "../server/HostProcess.h"
#include "app/Layout.h"

namespace {

using cm::Control;
using cm::ControlKind;
using cm::ControlSpec;
using cm::kLayout;
using cm::e2e::Narrow;
using cm::e2e::Widen;

constexpr wchar_t kWindowClass[] = L"BrevanoConfiguraMySQL";
constexpr wchar_t kProgramFile[] = L"ConfiguraMySQL.exe";
// The window numbers its controls from 1000 in the order of the layout table.
constexpr int kFirstControlId = 1000;

enum class Icon { None, Information, Exclamation, Question, Error };

const char* NameOf(Icon icon) {
    switch (icon) {
        case Icon::None: return "none";
        case Icon::Information: return "information";
        case Icon::Exclamation: return "exclamation";
        case Icon::Question: return "question";
        case Icon::Error: return "error";
    }
    return "?";
}

struct ExpectedBox {
    const char* key;
    const wchar_t* title;
    const wchar_t* text;
    Icon icon;
};

// The last lines of a failed run's box, once it has been undone.
#define kDesfeita L"A instalação foi desfeita. Corrija o problema e tente novamente.\r\nVeja os detalhes em: {log}"

// Every message box the program shows to an operator.
const ExpectedBox kBoxes[] = {
    {"no-product", L"Atenção", L"Instale o Velto antes de configurar o servidor.", Icon::Information},
    {"notice", L"Informativo", L"Certifique-se de que esteja executando este aplicativo como ADMINISTRADOR!",
     Icon::Information},
    {"no-drive", L"Atenção", L"Informe o drive onde será instalado o Mysql.", Icon::Information},
    {"exists", L"Atenção", L"O MySQL já existe nessa máquina.\r\nA instalação será interrompida!", Icon::Information},
    {"no-archive", L"Atenção", L"O arquivo de instalação do Mysql não foi encontrado!", Icon::Information},
    {"no-library", L"Atenção", L"A DLL Unzip32.dll não foi encontrada na pasta do aplicativo.", Icon::Exclamation},
    {"no-script", L"Atenção", L"Informe o arquivo de banco de dados!", Icon::Information},
    {"script-missing", L"Atenção", L"Arquivo de banco de dados não encontrado!", Icon::Information},
    {"no-config", L"Atenção",
     L"A etapa de instalação do MySQL Falhou!\r\n\r\nVerifique se:\r\n - O arquivo Mysql.zip contém o arquivo "
     L"MySQL\\my.ini.\r\n\r\nInicie o processo novamente.\r\n\r\n" kDesfeita,
     Icon::Exclamation},
    {"complete", L"Concluído", L"Concluído a instalação do servidor MySQL!", Icon::Information},
    {"complete-errors", L"Concluído",
     L"Concluído a instalação do servidor MySQL!\r\n\r\nA importação do banco de dados terminou com erros. "
     L"Veja os detalhes em: {log}",
     Icon::Exclamation},
    {"busy", L"Atenção", L"A configuração está em andamento. Aguarde o seu término.", Icon::Information},
    {"interrupt", L"Atenção", L"Deseja interromper a configuração? O que já foi feito será desfeito.", Icon::Question},
    {"unzip-failed", L"Atenção",
     L"Não foi possível descompactar o arquivo Mysql.zip.\r\n\r\n" kDesfeita,
     Icon::Exclamation},
    {"service-failed", L"Atenção", L"Não foi possível iniciar o serviço MySQL.\r\n\r\n" kDesfeita,
     Icon::Exclamation},
    {"remove-question", L"Atenção",
     L"Remover o serviço do MySQL impedirá o funcionamento do sistema Velto!\r\n\r\nDeseja proseguir com a "
     L"remoção do serviço?",
     Icon::Question},
    {"removed", L"Brevano", L"O Serviço MySQL foi removido!", Icon::None},
};

const Control kSteps[] = {Control::lblInstalacaoMysql, Control::lblConfiguracaoBinario, Control::lblCriacaoServico,
                          Control::lblConfiguracaoUsuario, Control::lblImportacaoBanco};
constexpr wchar_t kDone[] = L" - OK!";

std::wstring Escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r') {
            out += L"\\r";
        } else if (c == L'\n') {
            out += L"\\n";
        } else {
            out += c;
        }
    }
    return out;
}

struct Failure {
    std::string reason;
};

[[noreturn]] void Fail(const std::string& reason) { throw Failure{reason}; }

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// ---- the program's process and windows -------------------------------------

std::vector<DWORD> ProcessesNamed(const wchar_t* name) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0) found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

DWORD g_program = 0;  // process id of the program under test

DWORD Program() {
    if (g_program != 0) return g_program;
    const auto found = ProcessesNamed(kProgramFile);
    if (found.size() != 1) Fail("expected one running ConfiguraMySQL.exe, found " + std::to_string(found.size()));
    g_program = found.front();
    return g_program;
}

DWORD OwnerOf(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner;
}

HWND MainWindow() {
    for (HWND window = FindWindowW(kWindowClass, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, kWindowClass, nullptr)) {
        if (OwnerOf(window) == Program()) return window;
    }
    return nullptr;
}

HWND ControlOf(Control control) {
    HWND window = MainWindow();
    if (window == nullptr) Fail("the main window is not there");
    HWND item = GetDlgItem(window, kFirstControlId + static_cast<int>(control));
    if (item == nullptr) Fail("control " + std::string(cm::SpecOf(control).name) + " not found");
    return item;
}

Control ControlNamed(const std::string& name) {
    for (const ControlSpec& item : kLayout) {
        if (item.name == name) return item.id;
    }
    Fail("no control named " + name);
}

std::wstring TextOf(HWND window) {
    wchar_t text[2048] = L"";
    GetWindowTextW(window, text, 2048);  // no message to another process: never blocks
    return text;
}

// A message to the program's window that gives up rather than wait on a
// thread that is busy in a setup step.
LRESULT Ask(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result)) {
        Fail("the window did not answer message " + std::to_string(message));
    }
    return static_cast<LRESULT>(result);
}

// The log the program writes beside itself.
std::wstring LogPath() {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Program());
    if (process == nullptr) Fail("cannot open the program's process");
    wchar_t image[MAX_PATH] = L"";
    DWORD size = MAX_PATH;
    const BOOL ok = QueryFullProcessImageNameW(process, 0, image, &size);
    CloseHandle(process);
    if (!ok) Fail("cannot read the program's path");
    std::wstring folder = image;
    folder.resize(folder.find_last_of(L'\\'));
    return folder + L"\\ConfiguraMySQL.log";
}

std::wstring Expected(const wchar_t* text) {
    std::wstring out = text;
    if (const auto at = out.find(L"{log}"); at != std::wstring::npos) out.replace(at, 5, LogPath());
    return out;
}

struct Box {
    HWND window = nullptr;
    std::wstring title;
    std::wstring text;
};

std::optional<Box> CurrentBox() {
    for (HWND box = FindWindowW(L"#32770", nullptr); box != nullptr;
         box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
        if (OwnerOf(box) != Program() || !IsWindowVisible(box)) continue;
        HWND message = GetDlgItem(box, 0xFFFF);
        if (message == nullptr) continue;
        Box found{box, TextOf(box), TextOf(message)};
        if (!found.text.empty()) return found;
    }
    return std::nullopt;
}

bool Running(DWORD process) {
    HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
    if (handle == nullptr) return false;
    const bool running = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
    CloseHandle(handle);
    return running;
}

// ---- pixels --------------------------------------------------------------------

struct Pixels {
    int width = 0, height = 0;
    std::vector<COLORREF> at;  // row by row
    COLORREF Get(int x, int y) const { return at[static_cast<std::size_t>(y * width + x)]; }
};

Pixels Read(HDC source, int x, int y, int width, int height) {
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<RGBQUAD> raw(static_cast<std::size_t>(width * height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), raw.data(), &info, DIB_RGB_COLORS);
    for (const RGBQUAD& q : raw) pixels.at.push_back(RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}

Pixels Screen(const RECT& r) {
    HDC screen = GetDC(nullptr);
    Pixels pixels = Read(screen, r.left, r.top, r.right - r.left, r.bottom - r.top);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// A system icon drawn on black and on white: where both agree the icon is
// opaque, and those pixels are what a box showing it must have.
Pixels DrawnOn(HICON icon, int size, COLORREF background) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, size, size};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    Pixels pixels = Read(memory, 0, 0, size, size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Share of the icon's opaque pixels that the shown pixels match.
double Match(const Pixels& shown, HICON icon) {
    const int size = shown.width < shown.height ? shown.width : shown.height;
    const Pixels black = DrawnOn(icon, size, RGB(0, 0, 0));
    const Pixels white = DrawnOn(icon, size, RGB(255, 255, 255));
    int opaque = 0, same = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (black.Get(x, y) != white.Get(x, y)) continue;
            ++opaque;
            const COLORREF a = black.Get(x, y), b = shown.Get(x, y);
            if (std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
                    std::abs(GetBValue(a) - GetBValue(b)) <= 24) {
                ++same;
            }
        }
    }
    return opaque == 0 ? 0.0 : static_cast<double>(same) / opaque;
}

HWND IconControl(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t klass[32] = L"";
        GetClassNameW(child, klass, 32);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if (_wcsicmp(klass, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && (style & WS_VISIBLE)) return child;
    }
    return nullptr;
}

// The icon a box shows, told by its pixels; retried while the box paints.
Icon IconOf(HWND box) {
    HWND control = IconControl(box);
    if (control == nullptr) return Icon::None;
    const struct {
        Icon icon;
        LPCWSTR id;
    } kCandidates[] = {{Icon::Information, IDI_INFORMATION},
                       {Icon::Exclamation, IDI_EXCLAMATION},
                       {Icon::Question, IDI_QUESTION},
                       {Icon::Error, IDI_ERROR}};
    // A box without an icon may keep the control, empty, under its text.
    DWORD_PTR shown_icon = 0;
    if (SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &shown_icon) && shown_icon == 0) {
        return Icon::None;
    }
    for (int attempt = 0; attempt < 40; ++attempt) {
        RECT r;
        GetWindowRect(control, &r);
        const Pixels shown = Screen(r);
        for (const auto& candidate : kCandidates) {
            if (Match(shown, LoadIconW(nullptr, candidate.id)) > 0.9) return candidate.icon;
        }
        Sleep(100);  // the box may not have painted yet
    }
    Fail("the box's icon matches no system icon");
}

enum class Tint { Green, DarkBlue, Other };

// The colour of a label's text, from its pixels on screen.
Tint TintOf(HWND label) {
    RECT r;
    GetWindowRect(label, &r);
    const Pixels shown = Screen(r);
    int greens = 0, blues = 0;
    for (COLORREF c : shown.at) {
        const int red = GetRValue(c), green = GetGValue(c), blue = GetBValue(c);
        if (green > red + 40 && green > blue + 40) ++greens;
        if (blue > red + 40 && blue > green + 40) ++blues;
    }
    if (greens > 0 && blues == 0) return Tint::Green;
    if (blues > 0 && greens == 0) return Tint::DarkBlue;
    return Tint::Other;
}

// ---- commands ----------------------------------------------------------------

using Fields = std::vector<std::string>;

DWORD Seconds(const Fields& f, std::size_t index, DWORD fallback) {
    return static_cast<DWORD>(f.size() > index ? std::atoi(f[index].c_str()) : static_cast<int>(fallback)) * 1000;
}

template <typename Condition>
bool WaitFor(DWORD timeout_ms, Condition condition) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeout_ms) return false;
        Sleep(50);
    }
}

void Start(const Fields& f) {
    if (f.size() < 2) Fail("start needs a folder");
    const std::wstring folder = Widen(f[1]);
    std::wstring line = L"\"" + folder + L"\\" + kProgramFile + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        Fail("cannot start " + Narrow(line) + " (" + std::to_string(GetLastError()) + ")");
    }
    g_program = process.dwProcessId;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

void PressBox(const Fields& f) {
    if (f.size() < 3) Fail("box needs a key and a button");
    const ExpectedBox* expected = nullptr;
    for (const ExpectedBox& candidate : kBoxes) {
        if (f[1] == candidate.key) expected = &candidate;
    }
    if (expected == nullptr) Fail("no box " + f[1] + " in the table");
    std::optional<Box> box;
    if (!WaitFor(Seconds(f, 3, 30), [&] { return (box = CurrentBox()).has_value(); })) {
        Fail("no message box " + f[1] + " appeared");
    }
    const Icon icon = IconOf(box->window);
    Say("box: " + Narrow(box->title) + " | " + Narrow(Escaped(box->text)) + " | " + NameOf(icon));
    const std::wstring text = Expected(expected->text);
    if (box->title != expected->title || box->text != text || icon != expected->icon) {
        Fail("box " + f[1] + " expected: " + Narrow(expected->title) + " | " + Narrow(Escaped(text)) + " | " +
             NameOf(expected->icon));
    }
    const int id = f[2] == "yes" ? IDYES : f[2] == "no" ? IDNO : IDOK;
    HWND button = GetDlgItem(box->window, id);
    if (button == nullptr) Fail("the box has no " + f[2] + " button");
    PostMessageW(button, BM_CLICK, 0, 0);
    if (!WaitFor(10000, [&] { return !IsWindow(box->window); })) Fail("the box did not close");
}

void NoBox(const Fields& f) {
    const DWORD span = Seconds(f, 1, 3);
    std::optional<Box> box;
    if (WaitFor(span, [&] { return (box = CurrentBox()).has_value(); })) {
        Fail("unexpected box: " + Narrow(box->title) + " | " + Narrow(Escaped(box->text)));
    }
}

void SelectDrive(const Fields& f) {
    if (f.size() < 2) Fail("drive needs a text");
    HWND list = ControlOf(Control::cboDrive);
    const std::wstring prefix = Widen(f[1]);
    const LRESULT index = Ask(list, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(prefix.c_str()));
    if (index == CB_ERR) Fail("no drive entry begins with " + f[1]);
    Ask(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::vector<std::wstring> ScriptItems() {
    HWND combo = ControlOf(Control::cboArquivoSql);
    std::vector<std::wstring> items;
    const LRESULT count = Ask(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[MAX_PATH] = L"";
        // The list's strings are copied across the process boundary only up
        // to the length the message reports, so ask for that first.
        if (Ask(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= MAX_PATH) Fail("script name too long");
        Ask(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        items.emplace_back(item);
    }
    return items;
}

void CheckItems(const Fields& f) {
    std::wstring expected = f.size() > 1 ? Widen(f[1]) : L"";
    std::wstring shown;
    for (const std::wstring& item : ScriptItems()) shown += (shown.empty() ? L"" : L",") + item;
    if (shown != expected) Fail("script list holds [" + Narrow(shown) + "], expected [" + Narrow(expected) + "]");
}

void PickScript(const Fields& f) {
    if (f.size() < 2) Fail("script needs a name");
    HWND combo = ControlOf(Control::cboArquivoSql);
    const std::wstring name = Widen(f[1]);
    const LRESULT index = Ask(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name.c_str()));
    if (index != CB_ERR) {
        Ask(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    } else {
        Ask(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    wchar_t text[MAX_PATH] = L"";
    Ask(combo, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(text));
    if (name != text) Fail("the script field shows " + Narrow(text));
}

void Tick(const Fields& f) {
    HWND box = ControlOf(Control::chkBinario);
    const WPARAM value = f.size() > 1 && f[1] == "1" ? BST_CHECKED : BST_UNCHECKED;
    Ask(box, BM_SETCHECK, value, 0);
    if (static_cast<WPARAM>(Ask(box, BM_GETCHECK, 0, 0)) != value) Fail("the check box did not take the value");
}

void Close(const Fields&) {
    HWND window = MainWindow();
    if (window == nullptr) Fail("the main window is not there");
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void Press(const Fields& f) {
    if (f.size() < 2) Fail("press needs a control");
    PostMessageW(ControlOf(ControlNamed(f[1])), BM_CLICK, 0, 0);
}

void Steps(const Fields& f) {
    const std::size_t wanted = f.size() > 1 ? static_cast<std::size_t>(std::atoi(f[1].c_str())) : 5;
    const DWORD timeout = Seconds(f, 2, 300);
    std::size_t seen = 0;
    const DWORD start = GetTickCount();
    bool told_wait = false;
    while (seen < wanted) {
        const std::wstring caption = TextOf(ControlOf(kSteps[seen]));
        if (caption.size() > 6 && caption.compare(caption.size() - 6, 6, kDone) == 0) {
            Say("step " + std::to_string(seen + 1) + " done: " + Narrow(caption) + " (" +
                std::to_string((GetTickCount() - start) / 1000) + " s)");
            ++seen;
            continue;
        }
        if (seen == 2 && !told_wait) {
            Say("waiting: the service step pauses 20 s twice by design, the accounts and the import follow");
            told_wait = true;
        }
        if (auto box = CurrentBox()) {
            Fail("a box appeared at step " + std::to_string(seen + 1) + ": " + Narrow(box->title) + " | " +
                 Narrow(Escaped(box->text)));
        }
        if (!Running(Program())) Fail("the program ended during step " + std::to_string(seen + 1));
        if (GetTickCount() - start > timeout) Fail("step " + std::to_string(seen + 1) + " did not finish in time");
        Sleep(200);
    }
}

void Enabled(const Fields& f) {
    if (f.size() < 3) Fail("enabled needs a control and 0 or 1");
    HWND control = ControlOf(ControlNamed(f[1]));
    const bool wanted = f[2] == "1";
    if (!WaitFor(Seconds(f, 3, 0), [&] { return (IsWindowEnabled(control) != FALSE) == wanted; })) {
        Fail(f[1] + (wanted ? " is not enabled" : " is enabled"));
    }
}

void Labels(const Fields& f) {
    const std::size_t done = f.size() > 1 ? static_cast<std::size_t>(std::atoi(f[1].c_str())) : 5;
    for (std::size_t i = 0; i < std::size(kSteps); ++i) {
        HWND label = ControlOf(kSteps[i]);
        const std::wstring initial(cm::SpecOf(kSteps[i]).caption);
        const bool ok = i < done;
        const std::wstring wanted = ok ? initial + kDone : initial;
        const std::wstring caption = TextOf(label);
        if (caption != wanted) Fail("step label " + std::to_string(i + 1) + " reads " + Narrow(caption));
        const Tint want = ok ? Tint::Green : Tint::DarkBlue;
        // The window repaints when its thread is free; give it a moment.
        if (!WaitFor(5000, [&] { return TintOf(label) == want; })) {
            Fail("step label " + std::to_string(i + 1) + (ok ? " is not green" : " is not dark blue"));
        }
    }
}

void Layout(const Fields&) {
    HWND window = MainWindow();
    if (window == nullptr) Fail("the main window is not there");
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    RECT client;
    GetClientRect(window, &client);
    std::string problems;
    if (client.right != cm::TwipsToPixels(cm::kClientWidthTwips, dpi) ||
        client.bottom != cm::TwipsToPixels(cm::kClientHeightTwips, dpi)) {
        problems += " client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) + ";";
    }
    const ControlSpec& frame = cm::SpecOf(Control::Frame1);
    for (const ControlSpec& item : kLayout) {
        RECT r;
        GetWindowRect(ControlOf(item.id), &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        const bool in_frame = item.kind == ControlKind::StepLabel;
        const int left = cm::TwipsToPixels(item.left + (in_frame ? frame.left : 0), dpi);
        const int top = cm::TwipsToPixels(item.top + (in_frame ? frame.top : 0), dpi);
        const int width = cm::TwipsToPixels(item.width, dpi);
        const int height = cm::TwipsToPixels(item.height, dpi);
        // A step label is as wide as its caption; every other size is the table's.
        const bool width_ok = in_frame ? r.right > r.left : r.right - r.left == width;
        if (r.left != left || r.top != top || !width_ok || r.bottom - r.top != height) {
            problems += " " + std::string(item.name) + " at " + std::to_string(r.left) + "," + std::to_string(r.top) +
                        " " + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) +
                        " (table " + std::to_string(left) + "," + std::to_string(top) + " " +
                        std::to_string(width) + "x" + std::to_string(height) + ");";
        }
    }
    if (!problems.empty()) Fail("layout:" + problems);
    Say("layout: " + std::to_string(kLayout.size()) + " controls where the table puts them at " + std::to_string(dpi) +
        " dpi");
}

void Service(const Fields& f) {
    if (f.size() < 3) Fail("service needs a name and a state");
    const std::wstring name = Widen(f[1]);
    const std::string wanted = f[2];
    std::string last;
    const bool reached = WaitFor(Seconds(f, 3, 0), [&] {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (manager == nullptr) {
            last = "no service control manager";
            return false;
        }
        SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
        CloseServiceHandle(manager);
        if (service == nullptr) {
            last = "absent";
            return wanted == "absent";
        }
        SERVICE_STATUS status{};
        QueryServiceStatus(service, &status);
        DWORD needed = 0;
        QueryServiceConfigW(service, nullptr, 0, &needed);
        std::vector<char> buffer(needed + 1);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        const bool have_config = QueryServiceConfigW(service, config, needed, &needed) != FALSE;
        CloseServiceHandle(service);
        last = status.dwCurrentState == SERVICE_RUNNING   ? "running"
               : status.dwCurrentState == SERVICE_STOPPED ? "stopped"
                                                          : "pending " + std::to_string(status.dwCurrentState);
        if (have_config && config->dwStartType == SERVICE_AUTO_START) last += "-auto";
        if (wanted == "running-auto") return last == "running-auto";
        return last.rfind(wanted, 0) == 0;
    });
    Say("service " + f[1] + ": " + last);
    if (!reached) Fail("service " + f[1] + " is " + last + ", not " + wanted);
}

void WaitWindow(const Fields& f) {
    if (!WaitFor(Seconds(f, 1, 30), [] {
            HWND window = MainWindow();
            return window != nullptr && IsWindowVisible(window);
        })) {
        Fail("the main window did not show");
    }
}

void NoWindow(const Fields&) {
    HWND window = MainWindow();
    if (window != nullptr && IsWindowVisible(window)) Fail("the main window is visible");
}

void Ended(const Fields& f) {
    const DWORD program = Program();
    if (!WaitFor(Seconds(f, 1, 15), [&] { return !Running(program); })) Fail("the program did not end");
}

void Kill(const Fields&) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, Program());
    if (process == nullptr || !TerminateProcess(process, 1)) Fail("cannot end the program");
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

void NoProcess(const Fields& f) {
    if (f.size() < 2) Fail("noprocess needs a program file name");
    const std::wstring name = Widen(f[1]);
    if (!WaitFor(Seconds(f, 2, 10), [&] { return ProcessesNamed(name.c_str()).empty(); })) {
        Fail(f[1] + " is still running");
    }
}

const struct {
    const char* verb;
    void (*run)(const Fields&);
} kCommands[] = {
    {"start", Start},          {"box", PressBox},       {"nobox", NoBox},         {"window", WaitWindow},
    {"nowindow", NoWindow},    {"ended", Ended},        {"drive", SelectDrive},   {"script", PickScript},
    {"items", CheckItems},     {"tick", Tick},          {"press", Press},         {"steps", Steps},
    {"enabled", Enabled},      {"labels", Labels},      {"layout", Layout},
    {"service", Service},      {"close", Close},        {"kill", Kill},           {"noprocess", NoProcess},
};

void Run(const Fields& f) {
    for (const auto& command : kCommands) {
        if (f[0] == command.verb) return command.run(f);
    }
    Fail("unknown command " + f[0]);
}

Fields Split(const std::wstring& command) {
    Fields fields;
    std::string text = Narrow(command);
    std::size_t begin = 0;
    for (;;) {
        const auto bar = text.find('|', begin);
        fields.push_back(text.substr(begin, bar == std::string::npos ? std::string::npos : bar - begin));
        if (bar == std::string::npos) return fields;
        begin = bar + 1;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        const Fields fields = Split(argv[i]);
        try {
            Run(fields);
        } catch (const Failure& failure) {
            std::fprintf(stderr, "driver: %s: %s\n", Narrow(argv[i]).c_str(), failure.reason.c_str());
            return 1;
        }
    }
    return 0;
}
