// Program entry: the Win32 runtime, then the window frmPrincipal.
#include <windows.h>

#include <string>

#include "app/Layout.h"
#include "app/win32/MainWindow.h"
#include "system/win32/Win32Runtime.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    cm::win32::Win32Runtime runtime{std::wstring(cm::kWindowCaption)};
    cm::InstallRuntime(&runtime);
    cm::win32::MainWindow window{runtime};
    return window.Run();
}
