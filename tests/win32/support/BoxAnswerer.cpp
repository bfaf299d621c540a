#include "BoxAnswerer.h"

namespace cm::test {

namespace {
BoxAnswerer* g_answerer = nullptr;

std::wstring TextOf(HWND window) {
    wchar_t buffer[4096] = L"";
    GetWindowTextW(window, buffer, 4096);
    return buffer;
}
}  // namespace

BoxAnswerer::BoxAnswerer() {
    g_answerer = this;
    hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

BoxAnswerer::~BoxAnswerer() {
    UnhookWindowsHookEx(hook_);
    g_answerer = nullptr;
}

// A box activates before its texts are set; it is answered a moment later,
// from a timer that the box's own modal loop dispatches.
LRESULT CALLBACK BoxAnswerer::Hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && g_answerer != nullptr) {
        HWND box = reinterpret_cast<HWND>(wparam);
        wchar_t klass[64] = L"";
        GetClassNameW(box, klass, 64);
        if (std::wstring(klass) == L"#32770") {
            g_answerer->pending_.push_back(box);
            SetTimer(nullptr, 0, 20, Answer);
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

void CALLBACK BoxAnswerer::Answer(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (g_answerer == nullptr) return;
    BoxAnswerer& self = *g_answerer;
    std::vector<HWND> boxes;
    boxes.swap(self.pending_);
    for (HWND box : boxes) {
        if (!IsWindow(box)) continue;
        HWND message_text = GetDlgItem(box, 0xFFFF);
        HWND prompt = GetDlgItem(box, 100);
        HWND edit = GetDlgItem(box, 101);
        if (message_text != nullptr) {
            self.seen.push_back({TextOf(box), TextOf(message_text)});
            int button = IDOK;
            if (!self.buttons.empty()) {
                button = self.buttons.front();
                self.buttons.pop_front();
            } else if (GetDlgItem(box, IDOK) == nullptr) {
                button = GetDlgItem(box, IDCANCEL) != nullptr ? IDCANCEL : IDNO;
            }
            PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
        } else if (prompt != nullptr && edit != nullptr) {
            self.seen.push_back({TextOf(box), TextOf(prompt)});
            std::wstring answer;
            if (!self.inputs.empty()) {
                answer = self.inputs.front();
                self.inputs.pop_front();
            }
            if (answer.empty()) {
                PostMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
            } else {
                SetWindowTextW(edit, answer.c_str());
                PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            }
        }
    }
}

}  // namespace cm::test
