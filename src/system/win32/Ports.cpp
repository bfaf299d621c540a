// Who listens on a TCP port: the system's own table of connections, never a
// parse of netstat's localised output.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include "system/win32/Win32Runtime.h"

#include <tlhelp32.h>

#include <vector>

#include "system/Mensagens.h"
#include "system/win32/SystemError.h"

namespace cm::win32 {

namespace {

using GetExtendedTcpTableFunction = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);

// The table keeps ports in network byte order in the low 16 bits; ws2_32 is
// not loaded for one swap.
std::uint16_t PortOf(DWORD stored) {
    return static_cast<std::uint16_t>(((stored & 0xFF) << 8) | ((stored >> 8) & 0xFF));
}

// The listeners' process ids of one address family, or nothing when the
// system has no such stack. A table that grows between the two calls is
// asked for again.
template <class Table>
std::vector<DWORD> ListenersOf(GetExtendedTcpTableFunction read, ULONG family, std::uint16_t port) {
    std::vector<char> buffer(sizeof(Table));
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 5 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        result = read(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (result == ERROR_INSUFFICIENT_BUFFER) buffer.resize(size + 16 * sizeof(Table));
    }
    if (family == AF_INET6 && (result == ERROR_NOT_SUPPORTED || result == ERROR_INVALID_PARAMETER)) return {};
    if (result != NO_ERROR) RaiseSystemError(kErrInvalidCall, mensagens::kConsultarPortas, result);
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    std::vector<DWORD> owners;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        if (PortOf(table->table[i].dwLocalPort) == port) owners.push_back(table->table[i].dwOwningPid);
    }
    return owners;
}

// A process's program: its full path where this process may ask, else the
// file name every user may see in the process list.
std::wstring ProgramOfProcess(DWORD process_id) {
    if (process_id == 0) return L"";
    if (const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id)); process) {
        wchar_t path[MAX_PATH * 2] = L"";
        DWORD size = MAX_PATH * 2;
        if (QueryFullProcessImageNameW(process.Get(), 0, path, &size)) return std::wstring(path, size);
    }
    const KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return L"";
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == process_id) return entry.szExeFile;
    }
    return L"";
}

}  // namespace

std::vector<Runtime::Listener> Win32Runtime::TcpListeners(std::uint16_t port) {
    // From the system folder by its full path: iphlpapi is not one of the
    // libraries Windows always takes from there.
    wchar_t system[MAX_PATH + 1] = L"";
    const UINT length = GetSystemDirectoryW(system, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) RaiseSystemError(kErrInvalidCall, mensagens::kConsultarPortas);
    const auto read = reinterpret_cast<GetExtendedTcpTableFunction>(
        BindLibraryFunction(std::wstring(system, length) + L"\\iphlpapi.dll", "GetExtendedTcpTable"));
    std::vector<DWORD> owners = ListenersOf<MIB_TCPTABLE_OWNER_PID>(read, AF_INET, port);
    for (const DWORD owner : ListenersOf<MIB_TCP6TABLE_OWNER_PID>(read, AF_INET6, port)) owners.push_back(owner);
    std::vector<Listener> listeners;
    for (const DWORD owner : owners) {
        // A server on both stacks is one program.
        bool seen = false;
        for (const auto& listener : listeners) seen = seen || (owner != 0 && listener.process_id == owner);
        if (!seen) listeners.push_back({owner, ProgramOfProcess(owner)});
    }
    return listeners;
}

}  // namespace cm::win32
