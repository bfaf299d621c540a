// The native window frmPrincipal: real controls built from the layout table,
// their events handed to the window's handlers.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "app/FormView.h"
#include "app/frmPrincipal.h"
#include "system/win32/Handles.h"

namespace cm::win32 {

class Win32Runtime;

class MainWindow : public FormView {
public:
    explicit MainWindow(Win32Runtime& runtime);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window and its controls, hidden.
    void Create();
    // Shows the window with the focus on the drive list.
    void Show();
    // Runs the load handler, shows the window and serves its messages until
    // the program ends.
    int Run();

    HWND Handle() const { return window_; }
    HWND ControlHandle(Control control) const { return controls_[Index(control)]; }
    // The child-window id a control is created with.
    static int ControlId(Control control);
    frmPrincipal& Form() { return form_; }
    int Dpi() const { return dpi_; }

    // FormView
    std::wstring Text(Control control) override;
    void SetText(Control control, const std::wstring& text) override;
    void Clear(Control control) override;
    void AddItem(Control control, const std::wstring& item) override;
    int Value(Control control) override;
    void SetValue(Control control, int value) override;
    bool Enabled(Control control) override;
    void SetEnabled(Control control, bool enabled) override;
    bool Visible(Control control) override;
    void SetVisible(Control control, bool visible) override;
    std::uint32_t ForeColor(Control control) override;
    void SetForeColor(Control control, std::uint32_t color) override;

private:
    static std::size_t Index(Control control) { return static_cast<std::size_t>(control); }
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK RemoveButtonProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    HBRUSH ColorFor(HWND control, HDC dc);
    void CreateControl(const ControlSpec& item);
    void FitToCaption(Control control);
    void FillDrives();
    RECT PixelRect(const ControlSpec& item) const;

    Win32Runtime& runtime_;
    frmPrincipal form_{*this};
    HWND window_ = nullptr;
    std::array<HWND, kControlCount> controls_{};
    std::array<std::uint32_t, kControlCount> fore_colors_{};
    Font font_;
    Brush white_;
    WNDPROC button_proc_ = nullptr;
    int dpi_ = 96;
};

// Twips of a pixel position, for the mouse-move handlers.
float PixelsToTwips(int pixels, int dpi);

}  // namespace cm::win32
