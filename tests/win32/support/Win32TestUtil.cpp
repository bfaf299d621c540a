// Before windows.h, which would bring the older sockets header.
#include <winsock2.h>

#include "Win32TestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace cm::test {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

Listening::Listening(unsigned short port) : socket_(INVALID_SOCKET) {
    if (port == 0) return;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool listens = listener != INVALID_SOCKET &&
                         bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                         listen(listener, 1) == 0;
    EXPECT_TRUE(listens) << "port " << port << " could not be listened on (error " << WSAGetLastError() << ")";
    socket_ = listener;
}

Listening::~Listening() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    path_ = std::wstring(base) + L"cmtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

ScopedEnv::ScopedEnv(const std::wstring& name, const std::wstring* value) : name_(name) {
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(name.c_str(), buffer, 32768);
    had_ = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (had_) old_.assign(buffer, length);
    SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

void WriteFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : ReadFile(path)) {
        if (c == '\n') {
            if (!current.empty() && current.back() == '\r') current.pop_back();
            lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

std::wstring Widen(const std::string& utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
    return out;
}

std::string Utf8(const std::wstring& text) { return win32::WideToCodePage(text, CP_UTF8); }

DWORD RunWithOutput(const std::wstring& file, const std::wstring& arguments, const TempFolder& folder,
                    const std::wstring& current) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto create = [&](const std::wstring& path) {
        return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const win32::KernelHandle out(create(folder / L"out.txt"));
    const win32::KernelHandle err(create(folder / L"err.txt"));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.Get();
    startup.hStdError = err.Get();
    std::wstring line = L"\"" + file + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        current.empty() ? nullptr : current.c_str(), &startup, &process)) {
        ADD_FAILURE() << "cannot start " << Utf8(file);
        return 0xFFFFFFFF;
    }
    const win32::KernelHandle owned_process(process.hProcess), owned_thread(process.hThread);
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 9);
        ADD_FAILURE() << Utf8(file) << " did not end";
    } else {
        GetExitCodeProcess(process.hProcess, &code);
    }
    return code;
}

std::wstring ReadIni(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    std::wstring current;
    for (const std::string& raw : test::ReadLines(file)) {
        std::wstring line = test::Widen(raw);
        const auto first = line.find_first_not_of(L" \t");
        if (first == std::wstring::npos) continue;
        line = line.substr(first);
        if (line.front() == L'[') {
            current = line.substr(1, line.find(L']') - 1);
            continue;
        }
        const auto equals = line.find(L'=');
        if (equals == std::wstring::npos || _wcsicmp(current.c_str(), section) != 0) continue;
        std::wstring name = line.substr(0, equals);
        name.erase(name.find_last_not_of(L" \t") + 1);
        if (_wcsicmp(name.c_str(), key) != 0) continue;
        std::wstring value = line.substr(equals + 1);
        value.erase(0, value.find_first_not_of(L" \t") == std::wstring::npos ? value.size() : value.find_first_not_of(L" \t"));
        return value;
    }
    return L"<missing>";
}

std::wstring Stub() { return ProgramFolder() + L"\\stub.exe"; }

Record ReadRecord(const std::wstring& file) {
    Record record;
    for (const std::string& line : ReadLines(file)) {
        const std::wstring text = Widen(line);
        const auto space = text.find(L' ', 6);
        if (text.rfind(L"start ", 0) == 0) {
            record.starts.emplace_back(std::stoul(text.substr(6, space - 6)), text.substr(space + 1));
        } else if (text.rfind(L"shown ", 0) == 0) {
            record.shown.push_back(std::stoul(text.substr(6)));
        } else if (text.rfind(L"gone ", 0) == 0) {
            record.gone.push_back(std::stoul(text.substr(5)));
        }
    }
    return record;
}

win32::Win32Runtime& Runtime() { return static_cast<win32::Win32Runtime&>(Rt()); }

void PumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    } while (GetTickCount() - start < milliseconds);
}

}  // namespace cm::test
