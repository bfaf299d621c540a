// mysqld-nt.exe of the test server package.
//
//   mysqld-nt --install NAME --defaults-file="PATH"
//       registers this program as the service NAME, demand start, with the
//       defaults file on its command line.
//   (started by the service control manager)
//       reads basedir, datadir and log-bin from section [mysqld] of the
//       defaults file and runs the host's mariadbd on what was extracted
//       alone: base and data folders, messages and character sets from the
//       tree's share folder (nothing is initialised here; the package ships
//       its system database). Reports running once the server answers on
//       the tree's private socket, and shuts it down when the service is
//       stopped.
#include <cstdio>
#include <cstdlib>

#include "HostProcess.h"

using namespace cm::e2e;

namespace {

std::wstring g_service_name;
std::wstring g_defaults_file;

SERVICE_STATUS_HANDLE g_status_handle = nullptr;
SERVICE_STATUS g_status{};
HANDLE g_stop_event = nullptr;

constexpr DWORD kStartBoundMs = 180 * 1000;
constexpr DWORD kStopBoundMs = 60 * 1000;

void Report(DWORD state, DWORD exit_code = NO_ERROR, DWORD wait_hint = 0) {
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_status.dwWin32ExitCode = exit_code == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    g_status.dwServiceSpecificExitCode = exit_code;
    g_status.dwWaitHint = wait_hint;
    g_status.dwCheckPoint = (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) ? g_status.dwCheckPoint + 1
                                                                                           : 0;
    SetServiceStatus(g_status_handle, &g_status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING, NO_ERROR, 10000);
        SetEvent(g_stop_event);
    }
    return NO_ERROR;
}

// A key of [mysqld]; nothing when the key is absent. Quotes around a value
// are the profile functions' to strip.
std::optional<std::wstring> Setting(const wchar_t* key) {
    constexpr wchar_t kAbsent[] = L"\x01";
    wchar_t value[1024] = L"";
    GetPrivateProfileStringW(L"mysqld", key, kAbsent, value, 1024, g_defaults_file.c_str());
    if (std::wstring(value) == kAbsent) return std::nullopt;
    std::wstring text = value;
    while (!text.empty() && text.back() == L' ') text.pop_back();
    while (!text.empty() && text.front() == L' ') text.erase(0, 1);
    return text;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'/' || path.back() == L'\\')) path.pop_back();
    return path;
}

struct Settings {
    std::wstring data_windows;  // the data folder as Windows sees it
    std::string base;           // host paths
    std::string data;
    std::optional<std::string> log_bin;  // empty: the server's default name
    std::string socket;
    std::string pid_file;
};

std::optional<Settings> ReadSettings(std::string& problem) {
    Settings settings;
    const std::wstring tree = ServerTree();
    const std::wstring base = WithoutTrailingSlash(Setting(L"basedir").value_or(tree));
    settings.data_windows = WithoutTrailingSlash(Setting(L"datadir").value_or(tree + L"\\Data"));
    settings.base = HostPath(base);
    settings.data = HostPath(settings.data_windows);
    if (settings.base.empty() || settings.data.empty()) {
        problem = "cannot map basedir or datadir to the host";
        return std::nullopt;
    }
    if (auto log_bin = Setting(L"log-bin")) {
        if (log_bin->find_first_of(L":\\/") != std::wstring::npos) {
            settings.log_bin = HostPath(*log_bin);
        } else {
            settings.log_bin = Narrow(*log_bin);
        }
    }
    settings.socket = SocketFor(HostPath(tree));
    settings.pid_file = settings.data + "/mysqld.pid";
    return settings;
}

void Log(const Settings* settings, const std::string& line) {
    if (settings == nullptr) return;
    const std::wstring path = settings->data_windows + L"\\service.log";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<std::string> ServerArguments(const Settings& settings) {
    std::vector<std::string> argv{"/usr/sbin/mariadbd",
                                  "--no-defaults",
                                  "--basedir=" + settings.base,
                                  "--datadir=" + settings.data,
                                  "--socket=" + settings.socket,
                                  "--skip-networking",
                                  "--pid-file=" + settings.pid_file,
                                  "--log-error=" + settings.data + "/mysqld.err",
                                  "--lc-messages-dir=" + settings.base + "/share",
                                  "--character-sets-dir=" + settings.base + "/share/charsets",
                                  // as the package's system database was made
                                  "--innodb-log-file-size=4M",
                                  "--plugin-dir=/usr/lib/mysql/plugin"};
    if (settings.log_bin) {
        argv.push_back(settings.log_bin->empty() ? "--log-bin" : "--log-bin=" + *settings.log_bin);
    }
    return argv;
}

bool Answers(const Settings& settings) {
    // ping answers 0 once the server takes connections, whatever root's password.
    return RunHost({"/usr/bin/mariadb-admin", "--no-defaults", "--socket=" + settings.socket, "--connect-timeout=2",
                    "ping"},
                   15000) == 0;
}

// The pid the server wrote; 0 when there is none.
unsigned long ServerPid(const Settings& settings) {
    HANDLE file = CreateFileW((settings.data_windows + L"\\mysqld.pid").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    char text[32] = "";
    DWORD got = 0;
    ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
    text[got] = '\0';
    return std::strtoul(text, nullptr, 10);
}

void Shutdown(const Settings& settings, HostProcess& server) {
    const unsigned long pid = ServerPid(settings);
    if (pid != 0) RunHost({"/bin/kill", "-TERM", std::to_string(pid)}, 10000);
    if (!server.Wait(kStopBoundMs, [] { Report(SERVICE_STOP_PENDING, NO_ERROR, 10000); }) && pid != 0) {
        Log(&settings, "server did not stop; killing it");
        RunHost({"/bin/kill", "-KILL", std::to_string(pid)}, 10000);
        server.Wait(10000);
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_status_handle = RegisterServiceCtrlHandlerExW(g_service_name.c_str(), Control, nullptr);
    if (g_status_handle == nullptr) return;
    g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Report(SERVICE_START_PENDING, NO_ERROR, 10000);

    std::string problem;
    const auto settings = ReadSettings(problem);
    if (!settings) {
        Report(SERVICE_STOPPED, 1);
        return;
    }
    Log(&*settings, "starting: defaults " + Narrow(g_defaults_file) + ", socket " + settings->socket);
    HostProcess server;
    if (!server.Start(ServerArguments(*settings), true)) {
        Log(&*settings, "cannot start mariadbd");
        Report(SERVICE_STOPPED, 3);
        return;
    }
    const DWORD start = GetTickCount();
    bool running = false;
    while (!running) {
        if (server.Ended()) {
            Log(&*settings, "mariadbd ended while starting; see mysqld.err");
            Report(SERVICE_STOPPED, 4);
            return;
        }
        if (WaitForSingleObject(g_stop_event, 0) == WAIT_OBJECT_0 || GetTickCount() - start > kStartBoundMs) {
            Log(&*settings, "start abandoned");
            Shutdown(*settings, server);
            Report(SERVICE_STOPPED, 5);
            return;
        }
        running = Answers(*settings);
        if (!running) {
            Report(SERVICE_START_PENDING, NO_ERROR, 10000);
            Sleep(300);
        }
    }
    Log(&*settings, "running");
    Report(SERVICE_RUNNING);
    while (WaitForSingleObject(g_stop_event, 500) == WAIT_TIMEOUT) {
        if (server.Ended()) {
            Log(&*settings, "mariadbd ended on its own");
            Report(SERVICE_STOPPED, 6);
            return;
        }
    }
    Shutdown(*settings, server);
    Log(&*settings, "stopped");
    Report(SERVICE_STOPPED);
}

int Install(const std::vector<std::wstring>& arguments) {
    std::wstring name;
    std::wstring defaults;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == L"--install" && i + 1 < arguments.size()) name = arguments[++i];
        if (arguments[i].rfind(L"--defaults-file=", 0) == 0) defaults = arguments[i].substr(16);
    }
    if (name.empty()) {
        std::fputs("mysqld-nt: --install needs a service name\n", stderr);
        return 1;
    }
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = QuoteArgument(self);
    if (!defaults.empty()) command += L" " + QuoteArgument(L"--defaults-file=" + defaults);
    command += L" " + QuoteArgument(name);

    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (manager == nullptr) {
        std::fprintf(stderr, "mysqld-nt: cannot open the service control manager (%lu)\n", GetLastError());
        return 1;
    }
    SC_HANDLE service = CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    const DWORD error = GetLastError();
    CloseServiceHandle(manager);
    if (service == nullptr) {
        std::fprintf(stderr, "mysqld-nt: the service %ls was not installed (%lu)\n", name.c_str(), error);
        return 1;
    }
    CloseServiceHandle(service);
    std::printf("Service successfully installed.\n");
    return 0;
}

}  // namespace

int wmain() {
    const std::vector<std::wstring> arguments = OwnArguments();
    for (const std::wstring& argument : arguments) {
        if (argument == L"--install") {
            HeldWindow window;
            return Install(arguments);
        }
    }
    // Started as a service: "--defaults-file=PATH NAME".
    for (const std::wstring& argument : arguments) {
        if (argument.rfind(L"--defaults-file=", 0) == 0) {
            g_defaults_file = argument.substr(16);
        } else {
            g_service_name = argument;
        }
    }
    if (g_service_name.empty()) g_service_name = L"MySQL";
    if (g_defaults_file.empty()) g_defaults_file = ServerTree() + L"\\my.ini";
    SERVICE_TABLE_ENTRYW table[] = {{g_service_name.data(), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        std::fputs("mysqld-nt: run as a service, or with --install NAME --defaults-file=PATH\n", stderr);
        return 1;
    }
    return 0;
}
