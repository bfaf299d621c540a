// Texts between wide strings and code pages: ANSI for the core, UTF-8 and OEM for consoles.
#include "system/win32/Win32Runtime.h"

#include <algorithm>

#include "system/Mensagens.h"
#include "system/RuntimeError.h"

namespace cm::win32 {

std::string Win32Runtime::ToAnsi(const std::wstring& text) { return WideToCodePage(text, GetACP()); }

std::wstring Win32Runtime::FromAnsi(const std::string& text) { return CodePageToWide(text, GetACP()); }

bool TakesDefaultChar(UINT code_page) { return code_page != CP_UTF8 && code_page != CP_UTF7; }

std::wstring ConsoleText(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int length = static_cast<int>(bytes.size());
    const bool utf8 = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0) > 0;
    const UINT code_page = utf8 ? CP_UTF8 : CP_OEMCP;
    const int size = MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    if (size > 0) MultiByteToWideChar(code_page, 0, bytes.data(), length, text.data(), size);
    return text;
}

std::string WideToCodePage(const std::wstring& text, UINT code_page) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const char* fallback = TakesDefaultChar(code_page) ? "?" : nullptr;
    // A character the code page lacks is not written as one that only looks
    // like it (a fullwidth M as M, a division slash as '/').
    DWORD flags = fallback != nullptr ? WC_NO_BEST_FIT_CHARS : 0;
    int size = WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, fallback, nullptr);
    if (size == 0 && fallback != nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        // Some other code page that refuses a default character: it uses its own.
        fallback = nullptr;
        flags = 0;
        size = WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    }
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size <= 0 ||
        WideCharToMultiByte(code_page, flags, text.data(), length, out.data(), size, fallback, nullptr) != size) {
        const DWORD error = GetLastError();
        throw RuntimeError(kErrInvalidCall, mensagens::kConverterPara + std::to_wstring(code_page) +
                                                mensagens::kErroDoSistema +
                                                std::to_wstring(error) + L")");
    }
    return out;
}

std::wstring CodePageToWide(const std::string& text, UINT code_page) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    if (size <= 0 || MultiByteToWideChar(code_page, 0, text.data(), length, out.data(), size) != size) {
        const DWORD error = GetLastError();
        throw RuntimeError(kErrInvalidCall, mensagens::kConverterDe + std::to_wstring(code_page) +
                                                mensagens::kErroDoSistema +
                                                std::to_wstring(error) + L")");
    }
    return out;
}

}  // namespace cm::win32
