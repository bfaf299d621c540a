// sc.exe for the test application folder. Wine's own sc knows neither
// "config" nor "qc"; this one does both through the service control manager
// and hands every other command to Wine's sc unchanged.
//   sc config NAME start= auto|demand|disabled
//   sc qc NAME
#include <windows.h>

#include <cstdio>
#include <string>

#include "../server/HostProcess.h"

using cm::e2e::OwnArguments;

namespace {

struct StartType {
    const wchar_t* word;
    DWORD value;
    const char* shown;
};
constexpr StartType kStartTypes[] = {
    {L"boot", SERVICE_BOOT_START, "BOOT_START"},       {L"system", SERVICE_SYSTEM_START, "SYSTEM_START"},
    {L"auto", SERVICE_AUTO_START, "AUTO_START"},       {L"demand", SERVICE_DEMAND_START, "DEMAND_START"},
    {L"disabled", SERVICE_DISABLED, "DISABLED"},
};

SC_HANDLE OpenNamed(const std::wstring& name, DWORD access) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return nullptr;
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), access);
    const DWORD error = GetLastError();
    CloseServiceHandle(manager);
    SetLastError(error);
    return service;
}

int Failed(const char* call) {
    const DWORD error = GetLastError();
    std::printf("[SC] %s FAILED %lu:\n\n", call, error);
    return static_cast<int>(error);
}

int Config(const std::vector<std::wstring>& arguments) {
    // config NAME start= TYPE
    if (arguments.size() != 4 || _wcsicmp(arguments[2].c_str(), L"start=") != 0) {
        std::puts("sc: only \"config NAME start= TYPE\" is known here");
        return 1;
    }
    const StartType* type = nullptr;
    for (const StartType& candidate : kStartTypes) {
        if (_wcsicmp(arguments[3].c_str(), candidate.word) == 0) type = &candidate;
    }
    if (type == nullptr) {
        std::printf("sc: unknown start type %ls\n", arguments[3].c_str());
        return 1;
    }
    SC_HANDLE service = OpenNamed(arguments[1], SERVICE_CHANGE_CONFIG);
    if (service == nullptr) return Failed("OpenService");
    const BOOL changed = ChangeServiceConfigW(service, SERVICE_NO_CHANGE, type->value, SERVICE_NO_CHANGE, nullptr,
                                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    const DWORD error = GetLastError();
    CloseServiceHandle(service);
    SetLastError(error);
    if (!changed) return Failed("ChangeServiceConfig");
    std::puts("[SC] ChangeServiceConfig SUCCESS");
    return 0;
}

int QueryConfig(const std::vector<std::wstring>& arguments) {
    if (arguments.size() != 2) {
        std::puts("sc: \"qc NAME\"");
        return 1;
    }
    SC_HANDLE service = OpenNamed(arguments[1], SERVICE_QUERY_CONFIG);
    if (service == nullptr) return Failed("OpenService");
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::string buffer(needed, '\0');
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    const BOOL ok = QueryServiceConfigW(service, config, needed, &needed);
    const DWORD error = GetLastError();
    CloseServiceHandle(service);
    SetLastError(error);
    if (!ok) return Failed("QueryServiceConfig");
    const char* shown = "UNKNOWN";
    for (const StartType& candidate : kStartTypes) {
        if (candidate.value == config->dwStartType) shown = candidate.shown;
    }
    std::printf("[SC] QueryServiceConfig SUCCESS\n\nSERVICE_NAME: %ls\n", arguments[1].c_str());
    std::printf("        START_TYPE         : %lu   %s\n", config->dwStartType, shown);
    std::printf("        BINARY_PATH_NAME   : %ls\n", config->lpBinaryPathName);
    return 0;
}

// Wine's own sc with the rest of this command line, waited for.
int Forward() {
    const std::wstring line = GetCommandLineW();
    std::size_t rest = 0;
    if (!line.empty() && line[0] == L'"') {
        rest = line.find(L'"', 1);
        rest = rest == std::wstring::npos ? line.size() : rest + 1;
    } else {
        rest = line.find_first_of(L" \t");
        if (rest == std::wstring::npos) rest = line.size();
    }
    wchar_t system[MAX_PATH] = L"";
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(system) + L"\\sc.exe\"" + line.substr(rest);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("sc: cannot start %ls (%lu)\n", command.c_str(), GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
}

}  // namespace

int wmain() {
    const std::vector<std::wstring> arguments = OwnArguments();
    if (!arguments.empty() && _wcsicmp(arguments[0].c_str(), L"config") == 0) return Config(arguments);
    if (!arguments.empty() && _wcsicmp(arguments[0].c_str(), L"qc") == 0) return QueryConfig(arguments);
    return Forward();
}
