// Conversions of the loosely typed values and texts the program shares.
#include "system/Basic.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "system/Mensagens.h"
#include "system/RuntimeError.h"

namespace cm {

std::wstring Minusculas(std::wstring texto) {
    for (auto& c : texto) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return texto;
}

std::vector<std::wstring> Linhas(const std::wstring& texto) {
    std::vector<std::wstring> linhas;
    std::wstring atual;
    for (std::size_t i = 0; i < texto.size(); ++i) {
        const wchar_t c = texto[i];
        if (c == L'\r' || c == L'\n') {
            linhas.push_back(atual);
            atual.clear();
            if (c == L'\r' && i + 1 < texto.size() && texto[i + 1] == L'\n') ++i;
        } else {
            atual += c;
        }
    }
    if (!atual.empty()) linhas.push_back(atual);
    return linhas;
}

std::wstring Junta(const std::vector<std::wstring>& partes, const wchar_t* separador) {
    std::wstring texto;
    for (const auto& parte : partes) texto += (texto.empty() ? L"" : separador) + parte;
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
            throw RuntimeError(94, mensagens::kErroNull);
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
