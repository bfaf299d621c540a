#include "system/Runtime.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "system/Basic.h"
#include "system/ErrorHandling.h"
#include "system/modRegistro.h"

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
    modRegistro::Escreve(L"Mensagem" + (title ? L" (" + *title + L")" : std::wstring()) + L": " + text);
    ConsoleLine(text);
    switch (style & 7) {
        case 0: return vbOK;
        case 3:  // Yes, No, Cancel: an existing file is not replaced
        case 4: return vbNo;
        default: return vbCancel;
    }
}

std::wstring Runtime::InputBox(const std::wstring& prompt) {
    if (!unattended_) return ShowInputBox(prompt);
    modRegistro::Escreve(L"Pergunta sem resposta: " + prompt);
    return L"";
}

std::wstring DescribeError(std::int32_t number) {
    switch (number) {
        case kErrInvalidCall: return L"Chamada de procedimento ou argumento inválido";
        case kErrOverflow: return L"Estouro";
        case kErrOutOfMemory: return L"Memória insuficiente";
        case kErrTypeMismatch: return L"Tipos incompatíveis";
        case kErrDllLoad: return L"Erro ao carregar a DLL";
        case kErrInternal: return L"Erro interno";
        case kErrFileNotFound: return L"Arquivo não encontrado";
        case kErrDllEntryPoint: return L"Ponto de entrada de DLL não encontrado";
        default: return L"Erro definido pelo aplicativo ou pelo objeto";
    }
}

void ReportError(const RuntimeError& error) {
    modRegistro::Escreve(L"Erro " + std::to_wstring(error.Number()) + L": " + error.Description());
    Rt().MsgBox(error.Description(), 0);
}

std::wstring Minusculas(std::wstring texto) {
    for (auto& c : texto) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return texto;
}

std::int32_t ToLong(double value) {
    // Half-way cases go to the even neighbour, as the runtime's conversion does.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        throw RuntimeError(kErrOverflow, DescribeError(kErrOverflow));
    }
    return static_cast<std::int32_t>(rounded);
}

std::wstring VariantToText(const Variant& value) {
    struct Visitor {
        std::wstring operator()(const Empty&) const { return L""; }
        std::wstring operator()(const Null&) const {
            throw RuntimeError(94, L"Uso inválido de Null");
        }
        std::wstring operator()(const std::wstring& text) const { return text; }
        std::wstring operator()(std::int32_t number) const { return std::to_wstring(number); }
        std::wstring operator()(double number) const {
            // Fifteen significant digits, no trailing zeros, exponent only for
            // very large or small magnitudes.
            wchar_t buffer[64];
            std::swprintf(buffer, 64, L"%.15G", number);
            return buffer;
        }
        std::wstring operator()(const ObjectRef&) const {
            throw RuntimeError(kErrTypeMismatch, DescribeError(kErrTypeMismatch));
        }
    };
    return std::visit(Visitor{}, value);
}

}  // namespace cm
