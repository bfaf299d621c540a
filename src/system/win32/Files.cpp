// Folders with their access lists, and the files the log is appended to.
#include "system/win32/Win32Runtime.h"

#include <sddl.h>

#include "system/RuntimeError.h"
#include "system/win32/SystemError.h"

namespace cm::win32 {

namespace {

constexpr std::int32_t kErrPathAccess = 75;

void RemoveTreeAt(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    // A junction or link goes itself; what it points to is not ours.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW found{};
        FindHandle search(FindFirstFileW((path + L"\\*").c_str(), &found));
        for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.Get(), &found) != FALSE) {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") RemoveTreeAt(path + L"\\" + name);
        }
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

const wchar_t* FolderSecurity(FolderAccess access) {
    // Protected (P): nothing is inherited from the folder above; every entry
    // is passed on to what is made below (OICI).
    return access == FolderAccess::Server ? L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)"
                                          : L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

void Win32Runtime::MakeFolder(const std::wstring& path, FolderAccess access) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(FolderSecurity(access), SDDL_REVISION_1, &raw,
                                                              nullptr)) {
        RaiseSystemError(kErrInternal, L"Não foi possível preparar as permissões da pasta " + path);
    }
    const LocalMemory<PSECURITY_DESCRIPTOR> descriptor(raw);
    // Given at creation, so that the folder is never open for a moment.
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    if (!CreateDirectoryW(path.c_str(), &attributes)) {
        const DWORD error = GetLastError();
        RaiseSystemError(kErrPathAccess, L"Não foi possível criar a pasta " + path, error);
    }
}

void Win32Runtime::RemoveFolder(const std::wstring& path) {
    RemoveTreeAt(path);
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        RaiseSystemError(kErrPathAccess, L"Não foi possível apagar a pasta " + path);
    }
}

bool Win32Runtime::AppendToFile(const std::wstring& path, const std::string& bytes) {
    const KernelHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::optional<std::uint64_t> Win32Runtime::FileLength(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace cm::win32
