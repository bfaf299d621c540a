// What the system says about services and about this process's rights.
#include "system/win32/Win32Runtime.h"

#include <vector>

#include "system/Mensagens.h"
#include "system/win32/SystemError.h"

namespace cm::win32 {

namespace {

std::optional<ServiceState> StateOf(SC_HANDLE manager, const std::wstring& name) {
    ServiceHandle service(OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    DWORD error = GetLastError();
    if (!service && error == ERROR_ACCESS_DENIED) {
        service.Reset(OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS));
        error = GetLastError();
    }
    if (!service) {
        if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_INVALID_NAME) return std::nullopt;
        return ServiceState{};  // there, though not ours to look at
    }
    ServiceState state;
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.Get(), &status)) {
        state.running = status.dwCurrentState == SERVICE_RUNNING;
        state.stopped = status.dwCurrentState == SERVICE_STOPPED;
        state.starting = status.dwCurrentState == SERVICE_START_PENDING;
    }
    DWORD needed = 0;
    QueryServiceConfigW(service.Get(), nullptr, 0, &needed);
    std::vector<char> buffer(needed + sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (QueryServiceConfigW(service.Get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
        state.automatic = config->dwStartType == SERVICE_AUTO_START;
        if (config->lpBinaryPathName != nullptr) state.program = ProgramOf(config->lpBinaryPathName);
    }
    return state;
}

}  // namespace

std::optional<ServiceState> Win32Runtime::QueryService(const std::wstring& name) {
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) RaiseSystemError(kErrInvalidCall, mensagens::kConsultarServicos);
    return StateOf(manager.Get(), name);
}

std::vector<Runtime::NamedService> Win32Runtime::ListServices() {
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) RaiseSystemError(kErrInvalidCall, mensagens::kConsultarServicos);
    std::vector<std::wstring> names;
    DWORD resume = 0;
    for (;;) {
        DWORD needed = 0, count = 0;
        EnumServicesStatusExW(manager.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0,
                              &needed, &count, &resume, nullptr);
        DWORD error = GetLastError();
        if (error != ERROR_MORE_DATA) {
            if (needed == 0 && count == 0) break;
            RaiseSystemError(kErrInvalidCall, mensagens::kConsultarServicos, error);
        }
        std::vector<char> buffer(needed);
        const BOOL done = EnumServicesStatusExW(manager.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                                                reinterpret_cast<BYTE*>(buffer.data()), needed, &needed, &count,
                                                &resume, nullptr);
        error = GetLastError();
        if (!done && error != ERROR_MORE_DATA) RaiseSystemError(kErrInvalidCall, mensagens::kConsultarServicos, error);
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) names.emplace_back(entries[i].lpServiceName);
        if (done) break;
    }
    std::vector<NamedService> all;
    for (const auto& name : names) {
        // A service deleted between the list and the look-up is no longer there.
        if (auto state = StateOf(manager.Get(), name)) all.push_back({name, std::move(*state)});
    }
    return all;
}

bool Win32Runtime::IsAdministrator() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const KernelHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size)) {
        return elevation.TokenIsElevated != 0;
    }
    // Systems without elevation: membership of Administrators is the right.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID raw_sid = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &raw_sid)) {
        return false;
    }
    const Sid administrators(raw_sid);
    BOOL member = FALSE;
    return CheckTokenMembership(nullptr, administrators.Get(), &member) && member != FALSE;
}

bool Win32Runtime::ClaimSingleInstance() {
    // In the global namespace, so that a copy in another Windows session
    // (a remote desktop, a deployment agent's service) is seen as well.
    // Kept open until the process ends: closing it would free the machine.
    instance_.Reset(CreateMutexW(nullptr, FALSE, L"Global\\Brevano.ConfiguraMySQL"));
    const DWORD error = GetLastError();
    // Access denied: the mark exists, made by a copy with other rights.
    return instance_ && error != ERROR_ALREADY_EXISTS;
}

}  // namespace cm::win32
