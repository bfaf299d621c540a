// The record of a setup under way, in the machine's part of the registry:
// only administrators may write there, and each change is flushed to disk
// before the run goes on, so that a power cut cannot lose it.
#include "system/win32/Win32Runtime.h"

#include "system/Mensagens.h"
#include "system/win32/SystemError.h"

namespace cm::win32 {

namespace {

constexpr const wchar_t* kChave = L"SOFTWARE\\Brevano\\ConfiguraMySQL";
constexpr const wchar_t* kValor = L"ConfiguracaoEmAndamento";

}  // namespace

std::optional<std::wstring> Win32Runtime::ReadRunRecord() {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kChave, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) return std::nullopt;
    const RegistryKey key(raw);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.Get(), kValor, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), kValor, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

void Win32Runtime::WriteRunRecord(const std::wstring& text) {
    HKEY raw = nullptr;
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kChave, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &raw, nullptr);
    if (error != ERROR_SUCCESS) {
        RaiseSystemError(75, mensagens::kGravarRegistro,
                         static_cast<DWORD>(error));
    }
    const RegistryKey key(raw);
    error = RegSetValueExW(key.Get(), kValor, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (error == ERROR_SUCCESS) error = RegFlushKey(key.Get());
    if (error != ERROR_SUCCESS) {
        RaiseSystemError(75, mensagens::kGravarRegistro,
                         static_cast<DWORD>(error));
    }
}

void Win32Runtime::RemoveRunRecord() {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kChave, 0, KEY_SET_VALUE, &raw) != ERROR_SUCCESS) return;
    const RegistryKey key(raw);
    LONG error = RegDeleteValueW(key.Get(), kValor);
    if (error == ERROR_FILE_NOT_FOUND) return;
    if (error == ERROR_SUCCESS) error = RegFlushKey(key.Get());
    if (error != ERROR_SUCCESS) {
        RaiseSystemError(75, mensagens::kApagarRegistro,
                         static_cast<DWORD>(error));
    }
}

}  // namespace cm::win32
