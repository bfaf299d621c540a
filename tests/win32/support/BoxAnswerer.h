// Answers the message boxes and input boxes the code under test shows in this
// process: a CBT hook sees each box as it activates, records its title and
// text, and presses the scripted button (or types the scripted answer).
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

namespace cm::test {

struct SeenBox {
    std::wstring title;
    std::wstring text;
};

class BoxAnswerer {
public:
    BoxAnswerer();
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // Button ids to press, in order (IDOK, IDYES, IDNO, IDCANCEL); when the
    // script runs out, OK or Cancel is pressed.
    std::deque<int> buttons;
    // Text typed into an input box before OK; an empty entry presses Cancel.
    std::deque<std::wstring> inputs;
    std::vector<SeenBox> seen;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam);
    static void CALLBACK Answer(HWND, UINT, UINT_PTR timer, DWORD);
    HHOOK hook_ = nullptr;
    std::vector<HWND> pending_;
};

}  // namespace cm::test
