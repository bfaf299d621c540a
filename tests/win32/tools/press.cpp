// press <title> <button-id> [timeout-ms]
// Waits for a dialog box of this title (a message box, say), prints its text
// and presses one of its buttons from outside the program that shows it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: press <title> <button-id> [timeout-ms]\n", stderr);
        return 2;
    }
    const std::wstring title = argv[1];
    const int button = _wtoi(argv[2]);
    const DWORD timeout = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 10000;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout) {
        HWND box = FindWindowW(L"#32770", title.c_str());
        if (box != nullptr) {
            wchar_t text[1024] = L"";
            GetDlgItemTextW(box, 0xFFFF, text, 1024);
            std::printf("%ls\n", text);
            HWND target = GetDlgItem(box, button);
            if (target == nullptr) return 3;
            PostMessageW(target, BM_CLICK, 0, 0);
            return 0;
        }
        Sleep(50);
    }
    return 1;
}
