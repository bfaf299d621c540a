// The record of a setup under way, in the machine's part of the registry,
// in a key that only administrators and the system may change: the record
// names a folder and a service for an administrator's program to take off
// the machine. Each change is flushed to disk before the run goes on, so
// that a power cut cannot lose it.
#include "system/win32/Win32Runtime.h"

#include <aclapi.h>
#include <sddl.h>

#include "system/Mensagens.h"
#include "system/win32/SystemError.h"

namespace cm::win32 {

namespace {

constexpr const wchar_t* kChave = L"SOFTWARE\\Brevano\\ConfiguraMySQL";
constexpr const wchar_t* kValor = L"ConfiguracaoEmAndamento";
// Owned by Administrators; SYSTEM and Administrators alone, nothing taken
// from the key above (where a product's installer may have let users write).
constexpr const wchar_t* kSeguranca = L"O:BAD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";
// TrustedInstaller, which owns much of the registry on its own.
constexpr const wchar_t* kInstalador = L"S-1-5-80-956008885-3425870976-2463405962-2395702930-3226811553";

bool Confiavel(PSID sid) {
    if (sid == nullptr) return false;
    if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return true;
    PSID raw = nullptr;
    if (!ConvertStringSidToSidW(kInstalador, &raw)) return false;
    const LocalMemory<PSID> instalador(raw);
    return EqualSid(sid, instalador.Get()) != FALSE;
}

// Whether anyone but the system, administrators or the installer service
// could have changed what the key holds, or could change who may.
bool OutrosPodemAlterar(HKEY key) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetSecurityInfo(key, SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &raw) != ERROR_SUCCESS) {
        return true;
    }
    const LocalMemory<PSECURITY_DESCRIPTOR> descriptor(raw);
    // No access list at all lets everyone do everything.
    if (dacl == nullptr || !Confiavel(owner)) return true;
    constexpr ACCESS_MASK kAltera = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                                    WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return true;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        // Any other kind of grant is one this check cannot read: not trusted.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        if ((allowed->Mask & kAltera) != 0 && !Confiavel(const_cast<DWORD*>(&allowed->SidStart))) return true;
    }
    return false;
}

}  // namespace

std::optional<Runtime::RunRecord> Win32Runtime::ReadRunRecord() {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kChave, 0, KEY_QUERY_VALUE | READ_CONTROL, &raw) != ERROR_SUCCESS) {
        return std::nullopt;
    }
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
    return RunRecord{text, OutrosPodemAlterar(key.Get())};
}

void Win32Runtime::WriteRunRecord(const std::wstring& text) {
    PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kSeguranca, SDDL_REVISION_1, &raw_descriptor,
                                                              nullptr)) {
        RaiseSystemError(kErrInternal, mensagens::kProtegerRegistro);
    }
    const LocalMemory<PSECURITY_DESCRIPTOR> descriptor(raw_descriptor);
    // Given at creation, so that the key is never open for a moment.
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    HKEY raw = nullptr;
    DWORD disposition = 0;
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kChave, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | KEY_QUERY_VALUE | READ_CONTROL | WRITE_DAC | WRITE_OWNER, &attributes,
                                 &raw, &disposition);
    if (error != ERROR_SUCCESS) RaiseSystemError(75, mensagens::kGravarRegistro, static_cast<DWORD>(error));
    const RegistryKey key(raw);
    // A key that was there before (an older copy of the program, or made by
    // someone else) is made ours; one that still is not refuses the record.
    if (disposition == REG_OPENED_EXISTING_KEY) {
        error = RegSetKeySecurity(key.Get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                  descriptor.Get());
        if (error != ERROR_SUCCESS) RaiseSystemError(75, mensagens::kProtegerRegistro, static_cast<DWORD>(error));
    }
    if (OutrosPodemAlterar(key.Get())) RaiseSystemError(75, mensagens::kProtegerRegistro, ERROR_ACCESS_DENIED);
    error = RegSetValueExW(key.Get(), kValor, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (error == ERROR_SUCCESS) error = RegFlushKey(key.Get());
    if (error != ERROR_SUCCESS) RaiseSystemError(75, mensagens::kGravarRegistro, static_cast<DWORD>(error));
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
