// The runtime's own part of every platform: where the boxes go when nobody is
// at the window.
#include "system/Runtime.h"

#include <exception>

#include "system/Mensagens.h"

namespace cm {

namespace {
Runtime* g_runtime = nullptr;
}

Runtime& Rt() {
    if (g_runtime == nullptr) std::terminate();
    return *g_runtime;
}

void InstallRuntime(Runtime* runtime) { g_runtime = runtime; }

int Runtime::MsgBox(const std::wstring& text, int style, const std::optional<std::wstring>& title) {
    if (!unattended_) return ShowMsgBox(text, style, title);
    if (unattended_log_) unattended_log_(mensagens::kMensagemNoLog + (title ? L" (" + *title + L")" : std::wstring()) + L": " + text);
    ConsoleLine(text);
    switch (style & kBotoes) {
        case vbOKOnly: return vbOK;
        case vbYesNoCancel:  // an existing file is not replaced
        case vbYesNo: return vbNo;
        default: return vbCancel;
    }
}

std::wstring Runtime::InputBox(const std::wstring& prompt) {
    if (!unattended_) return ShowInputBox(prompt);
    if (unattended_log_) unattended_log_(mensagens::kPerguntaSemResposta + prompt);
    return L"";
}

}  // namespace cm
