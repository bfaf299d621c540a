#include "app/win32/MainWindow.h"

#include <algorithm>
#include <cwctype>
#include <exception>
#include <new>
#include <vector>

#include "app/CodigosSaida.h"
#include "system/Mensagens.h"
#include "system/RuntimeError.h"
#include "system/modRegistro.h"
#include "system/win32/Win32Runtime.h"

namespace cm::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"BrevanoConfiguraMySQL";
constexpr int kFirstControlId = 1000;
constexpr int kIconId = 1;

const wchar_t* ClassOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
        case ControlKind::StepLabel: return L"STATIC";
        case ControlKind::DriveList:
        case ControlKind::ComboBox: return L"COMBOBOX";
        default: return L"BUTTON";
    }
}

DWORD StyleOf(const ControlSpec& item) {
    DWORD style = WS_CHILD;
    if (item.visible) style |= WS_VISIBLE;
    if (!item.enabled) style |= WS_DISABLED;
    switch (item.kind) {
        // Labels on the window take the pointer's movements over their area;
        // the step labels sit in the disabled frame, which passes them on to
        // the window.
        case ControlKind::Label: return style | SS_LEFT | SS_NOTIFY;
        case ControlKind::StepLabel: return style | SS_LEFTNOWORDWRAP | SS_NOPREFIX;
        case ControlKind::DriveList: return style | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
        case ControlKind::ComboBox: return style | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
        case ControlKind::CheckBox: return style | BS_AUTOCHECKBOX | WS_TABSTOP;
        case ControlKind::Frame: return style | BS_GROUPBOX | WS_CLIPSIBLINGS;
        case ControlKind::Button: return style | BS_PUSHBUTTON | WS_TABSTOP;
    }
    return style;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

int MouseButtons(WPARAM keys) {
    return ((keys & MK_LBUTTON) ? 1 : 0) | ((keys & MK_RBUTTON) ? 2 : 0) | ((keys & MK_MBUTTON) ? 4 : 0);
}

int ShiftState(WPARAM keys) {
    return ((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) | ((GetKeyState(VK_MENU) < 0) ? 4 : 0);
}

// The platform's report of an error nobody handled: it ends the program.
// Nobody would answer a box in an unattended run; its log and console say it.
[[noreturn]] void ReportUnhandled(const RuntimeError& error, Win32Runtime& runtime) {
    const std::wstring text = mensagens::kErroExecucaoInicio + std::to_wstring(error.Number()) +
                              mensagens::kErroExecucaoFim + L"\r\n\r\n" + error.Description();
    if (runtime.Unattended()) {
        modRegistro::Escreve(text);
        runtime.ConsoleLine(text);
    } else {
        MessageBoxW(nullptr, text.c_str(), runtime.AppTitle().c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    }
    ExitProcess(kSaidaErroInterno);
}

// The exception being handled as a run-time error: out of memory for
// std::bad_alloc, an internal error with the exception's own text otherwise.
RuntimeError CurrentAsRuntimeError() {
    try {
        throw;
    } catch (const RuntimeError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return RuntimeError(kErrOutOfMemory, DescribeError(kErrOutOfMemory));
    } catch (const std::exception& error) {
        std::wstring what;
        try {
            what = CodePageToWide(error.what(), GetACP());
        } catch (...) {
        }
        return RuntimeError(kErrInternal, what.empty() ? DescribeError(kErrInternal) : what);
    } catch (...) {
        return RuntimeError(kErrInternal, DescribeError(kErrInternal));
    }
}

// The barrier between the window's handlers and the system's message
// dispatch, which no exception may cross. A run-time error that a handler
// without its own error handler let through is the platform's to report, and
// ends the program (as at load). Any other exception is reported as the
// standard handler reports an error (its description, OK, the application's
// title), and the window goes on.
template <class Body>
LRESULT Barrier(Win32Runtime& runtime, Body&& body) {
    try {
        return body();
    } catch (const RuntimeError& error) {
        ReportUnhandled(error, runtime);
    } catch (...) {
        const std::wstring description = CurrentAsRuntimeError().Description();
        try {
            runtime.MsgBox(description, vbOKOnly, std::nullopt);
        } catch (...) {
            MessageBoxW(nullptr, description.c_str(), runtime.AppTitle().c_str(), MB_OK | MB_TASKMODAL);
        }
    }
    return 0;
}

// A start-up step that failed: the program cannot run without it.
[[noreturn]] void RaiseStartFailure(const wchar_t* what) {
    const DWORD error = GetLastError();
    throw RuntimeError(kErrInternal, mensagens::kNaoFoiPossivel + (what + (mensagens::kErroDoSistema +
                                                                            std::to_wstring(error) + L")")));
}

}  // namespace

float PixelsToTwips(int pixels, int dpi) { return static_cast<float>(pixels) * 1440.0f / static_cast<float>(dpi); }

MainWindow::MainWindow(Win32Runtime& runtime) : runtime_(runtime) {}

int MainWindow::ControlId(Control control) { return kFirstControlId + static_cast<int>(Index(control)); }

MainWindow::~MainWindow() {
    // The controls go before the font and brush they were given.
    if (window_ != nullptr) DestroyWindow(window_);
}

RECT MainWindow::PixelRect(const ControlSpec& item) const {
    int left = item.left, top = item.top;
    if (item.kind == ControlKind::StepLabel) {
        const ControlSpec& frame = SpecOf(Control::Frame1);
        left += frame.left;
        top += frame.top;
    }
    RECT r;
    r.left = TwipsToPixels(left, dpi_);
    r.top = TwipsToPixels(top, dpi_);
    r.right = r.left + TwipsToPixels(item.width, dpi_);
    r.bottom = r.top + TwipsToPixels(item.height, dpi_);
    return r;
}

void MainWindow::Create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    white_.Reset(CreateSolidBrush(RGB(255, 255, 255)));

    WNDCLASSEXW klass{};
    klass.cbSize = sizeof klass;
    if (!GetClassInfoExW(instance, kWindowClass, &klass)) {
        klass.cbSize = sizeof klass;
        klass.lpfnWndProc = WindowProc;
        klass.hInstance = instance;
        klass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        klass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        klass.lpszClassName = kWindowClass;
        // Registered once for the life of the process; its icons live as long.
        klass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 32, 32, 0));
        klass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 16, 16, 0));
        if (RegisterClassExW(&klass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            RaiseStartFailure(mensagens::kRegistrarClasse);
        }
    }

    dpi_ = GetDeviceCaps(WindowDC(nullptr).Get(), LOGPIXELSY);
    if (dpi_ <= 0) dpi_ = 96;

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, dpi_), TwipsToPixels(kClientHeightTwips, dpi_)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, std::wstring(kWindowCaption).c_str(), style, x, y,
                              width, height, nullptr, nullptr, instance, this);
    if (window_ == nullptr) RaiseStartFailure(mensagens::kCriarJanela);
    runtime_.SetMainWindow(window_);

    font_.Reset(CreateFontW(-MulDiv(kFontHundredthsOfPoint, dpi_, 7200), 0, 0, 0, kFontWeight, FALSE, FALSE, FALSE,
                            ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, std::wstring(kFontName).c_str()));
    if (!font_) RaiseStartFailure(mensagens::kCriarFonte);

    // Creation order is the keyboard focus order.
    std::vector<ControlSpec> by_tab(kLayout.begin(), kLayout.end());
    std::sort(by_tab.begin(), by_tab.end(), [](const auto& a, const auto& b) { return a.tab_index < b.tab_index; });
    for (const auto& item : by_tab) CreateControl(item);

    // The step labels paint over the frame they stand in.
    for (const auto& item : kLayout) {
        if (item.kind == ControlKind::StepLabel) {
            SetWindowPos(controls_[Index(item.id)], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }

    HWND remove = controls_[Index(Control::cmdRemoveServico)];
    SetWindowLongPtrW(remove, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    button_proc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(remove, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RemoveButtonProc)));

    FillDrives();
}

void MainWindow::CreateControl(const ControlSpec& item) {
    const RECT r = PixelRect(item);
    int height = r.bottom - r.top;
    if (item.kind == ControlKind::DriveList || item.kind == ControlKind::ComboBox) {
        height = TwipsToPixels(2400, dpi_);  // room for the dropped-down list
    }
    HWND control = CreateWindowExW(0, ClassOf(item.kind), std::wstring(item.caption).c_str(), StyleOf(item), r.left,
                                   r.top, r.right - r.left, height, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(item.id))),
                                   GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr) RaiseStartFailure(mensagens::kCriarControles);
    controls_[Index(item.id)] = control;
    fore_colors_[Index(item.id)] = item.dark_blue_text ? kDarkBlue : GetSysColor(COLOR_WINDOWTEXT);
    const HFONT font = item.own_font ? font_.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (item.kind == ControlKind::DriveList || item.kind == ControlKind::ComboBox) {
        // The closed combo box keeps the height of the layout. How the
        // selection field's height maps to the whole control's differs
        // between platforms, so measure and correct.
        const int wanted = r.bottom - r.top;
        auto field = static_cast<int>(SendMessageW(control, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
        for (int attempt = 0; attempt < 4; ++attempt) {
            RECT closed;
            GetWindowRect(control, &closed);
            const int difference = wanted - (closed.bottom - closed.top);
            if (difference == 0 || field + difference <= 0) break;
            field += difference;
            SendMessageW(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
        }
    }
    if (item.kind == ControlKind::StepLabel) FitToCaption(item.id);
}

void MainWindow::FitToCaption(Control control) {
    HWND label = controls_[Index(control)];
    const std::wstring text = WindowText(label);
    SIZE extent{};
    {
        const WindowDC dc(label);
        const HGDIOBJ old = SelectObject(dc.Get(), font_.Get());
        GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &extent);
        SelectObject(dc.Get(), old);
    }
    RECT r;
    GetWindowRect(label, &r);
    SetWindowPos(label, nullptr, 0, 0, extent.cx, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::FillDrives() {
    HWND list = controls_[Index(Control::cboDrive)];
    wchar_t current[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, current);
    const wchar_t current_letter = static_cast<wchar_t>(towlower(current[0]));
    const DWORD drives = GetLogicalDrives();
    int selected = -1;
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i))) continue;
        const wchar_t letter = static_cast<wchar_t>(L'a' + i);
        std::wstring entry{letter, L':'};
        const std::wstring root{static_cast<wchar_t>(L'A' + i), L':', L'\\'};
        const UINT type = GetDriveTypeW(root.c_str());
        // Only fixed and RAM disks are asked for their label: a removable or
        // optical drive would make the list wait for its medium.
        if (type == DRIVE_FIXED || type == DRIVE_RAMDISK) {
            wchar_t label[MAX_PATH + 1] = L"";
            if (GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) &&
                label[0] != L'\0') {
                entry += L" [";
                entry += label;
                entry += L"]";
            }
        }
        const LRESULT index = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        if (letter == current_letter) selected = static_cast<int>(index);
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void MainWindow::Show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
    SetFocus(controls_[Index(Control::cboDrive)]);
}

int MainWindow::Run() {
    try {
        Create();
        form_.Form_Load();
    } catch (...) {
        ReportUnhandled(CurrentAsRuntimeError(), runtime_);
    }
    Show();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// ---- FormView ----------------------------------------------------------------

std::wstring MainWindow::Text(Control control) {
    HWND window = controls_[Index(control)];
    if (control == Control::cboDrive) {
        const LRESULT index = SendMessageW(window, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) return L"";
        const LRESULT length = SendMessageW(window, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        SendMessageW(window, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length));
        return text;
    }
    return WindowText(window);
}

void MainWindow::SetText(Control control, const std::wstring& text) {
    HWND window = controls_[Index(control)];
    if (control == Control::cboDrive) {
        // The list's own entry, in its letter case; no entry when none begins so.
        const LRESULT index = text.empty() ? CB_ERR
                                           : SendMessageW(window, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                                          reinterpret_cast<LPARAM>(text.c_str()));
        SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(index == CB_ERR ? -1 : index), 0);
        return;
    }
    RECT old;
    GetWindowRect(window, &old);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&old), 2);
    SetWindowTextW(window, text.c_str());
    if (SpecOf(control).kind == ControlKind::StepLabel) {
        FitToCaption(control);
        InvalidateRect(window_, &old, TRUE);
    }
    InvalidateRect(window, nullptr, TRUE);
}

void MainWindow::Clear(Control control) {
    HWND window = controls_[Index(control)];
    SendMessageW(window, CB_RESETCONTENT, 0, 0);
    SetWindowTextW(window, L"");
}

void MainWindow::AddItem(Control control, const std::wstring& item) {
    SendMessageW(controls_[Index(control)], CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

int MainWindow::Value(Control control) {
    return static_cast<int>(SendMessageW(controls_[Index(control)], BM_GETCHECK, 0, 0));
}

void MainWindow::SetValue(Control control, int value) {
    SendMessageW(controls_[Index(control)], BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

bool MainWindow::Enabled(Control control) { return IsWindowEnabled(controls_[Index(control)]) != FALSE; }

void MainWindow::SetEnabled(Control control, bool enabled) { EnableWindow(controls_[Index(control)], enabled); }

bool MainWindow::Visible(Control control) {
    return (GetWindowLongW(controls_[Index(control)], GWL_STYLE) & WS_VISIBLE) != 0;
}

void MainWindow::SetVisible(Control control, bool visible) {
    ShowWindow(controls_[Index(control)], visible ? SW_SHOWNA : SW_HIDE);
}

std::uint32_t MainWindow::ForeColor(Control control) { return fore_colors_[Index(control)]; }

void MainWindow::SetForeColor(Control control, std::uint32_t color) {
    fore_colors_[Index(control)] = color;
    InvalidateRect(controls_[Index(control)], nullptr, TRUE);
}

// ---- messages ----------------------------------------------------------------

HBRUSH MainWindow::ColorFor(HWND control, HDC dc) {
    // An edit or list inside a combo box belongs to the combo box.
    while (control != nullptr && GetParent(control) != window_) control = GetParent(control);
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (controls_[i] != control) continue;
        SetTextColor(dc, fore_colors_[i]);
        SetBkColor(dc, RGB(255, 255, 255));
        return white_.Get();
    }
    return nullptr;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    return Barrier(self->runtime_, [&] { return self->Handle(message, wparam, lparam); });
}

LRESULT CALLBACK MainWindow::RemoveButtonProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_MOUSEMOVE) {
        Barrier(self->runtime_, [&] {
            self->form_.cmdRemoveServico_MouseMove(MouseButtons(wparam), ShiftState(wparam),
                                                   PixelsToTwips(static_cast<short>(LOWORD(lparam)), self->dpi_),
                                                   PixelsToTwips(static_cast<short>(HIWORD(lparam)), self->dpi_));
            return LRESULT{0};
        });
    }
    return CallWindowProcW(self->button_proc_, window, message, wparam, lparam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            if (HBRUSH brush = ColorFor(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam))) {
                return reinterpret_cast<LRESULT>(brush);
            }
            break;
        case WM_MOUSEMOVE:
            form_.Form_MouseMove(MouseButtons(wparam), ShiftState(wparam),
                                 PixelsToTwips(static_cast<short>(LOWORD(lparam)), dpi_),
                                 PixelsToTwips(static_cast<short>(HIWORD(lparam)), dpi_));
            return 0;
        case WM_COMMAND: {
            const int id = LOWORD(wparam);
            if (HIWORD(wparam) != BN_CLICKED) break;
            if (id == IDOK) {
                // Enter on a focused button presses it; nothing is the default button.
                HWND focus = GetFocus();
                for (Control c : {Control::cmdRemoveServico, Control::cmdConfigurar, Control::cmdFechar}) {
                    if (controls_[Index(c)] == focus) SendMessageW(focus, BM_CLICK, 0, 0);
                }
                return 0;
            }
            if (id == ControlId(Control::cmdFechar)) {
                form_.cmdFechar_Click();
            } else if (id == ControlId(Control::cmdRemoveServico)) {
                form_.cmdRemoveServico_Click();
            } else if (id == ControlId(Control::cmdConfigurar)) {
                // A click sent to the button while it is disabled (a queued or
                // synthesised one) is not a press.
                if (IsWindowEnabled(controls_[Index(Control::cmdConfigurar)])) form_.cmdConfigurar_Click();
            }
            return 0;
        }
        case WM_QUERYENDSESSION:
            // The session waits for a setup or a removal, showing the reason
            // the run gave; the user may still end it.
            return form_.Em_Andamento() ? FALSE : TRUE;
        case WM_ENDSESSION:
            // The session ends whatever we answer: end now, with the code
            // the run under way left, which never says done.
            if (wparam != FALSE && form_.Em_Andamento()) runtime_.End();
            return 0;
        case WM_CLOSE: {
            // Closing through the frame ends the program like the close
            // button, unless a setup or removal is running.
            bool cancel = false;
            form_.Form_QueryUnload(cancel);
            if (!cancel) runtime_.End();
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
}

}  // namespace cm::win32
