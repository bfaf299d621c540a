// Folders with their access lists, the files the log is appended to, the
// ones a check of the server reads, and what can be said of a file or drive
// before anything runs from it.
#include "system/win32/Win32Runtime.h"

#include <aclapi.h>
#include <sddl.h>

#include <array>
#include <cwchar>

#include "system/Mensagens.h"
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
        RaiseSystemError(kErrInternal, mensagens::kPermissoesPasta + path);
    }
    const LocalMemory<PSECURITY_DESCRIPTOR> descriptor(raw);
    // Given at creation, so that the folder is never open for a moment.
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    if (!CreateDirectoryW(path.c_str(), &attributes)) {
        const DWORD error = GetLastError();
        RaiseSystemError(kErrPathAccess, mensagens::kCriarPasta + path, error);
    }
}

void Win32Runtime::RemoveFolder(const std::wstring& path) {
    RemoveTreeAt(path);
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        RaiseSystemError(kErrPathAccess, mensagens::kApagarPasta + path);
    }
}

void Win32Runtime::RenameFolder(const std::wstring& from, const std::wstring& to) {
    // No copy across volumes and no replacing: a rename keeps the data and
    // the access list exactly as they are, or nothing happens.
    if (!MoveFileExW(from.c_str(), to.c_str(), 0)) RaiseSystemError(kErrPathAccess, mensagens::kRenomearPasta + from);
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

std::wstring Win32Runtime::FileSha256(const std::wstring& path) {
    const KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    HCRYPTPROV raw_provider = 0;
    if (!file || !CryptAcquireContextW(&raw_provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return L"";
    const CryptProvider provider(raw_provider);
    HCRYPTHASH raw_hash = 0;
    if (!CryptCreateHash(provider.Get(), CALG_SHA_256, 0, 0, &raw_hash)) return L"";
    const CryptHash hash(raw_hash);
    std::vector<BYTE> buffer(1 << 20);
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return L"";
        if (got == 0) break;
        if (!CryptHashData(hash.Get(), buffer.data(), got, 0)) return L"";
    }
    std::array<BYTE, 32> digest{};
    DWORD length = static_cast<DWORD>(digest.size());
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, digest.data(), &length, 0) || length != digest.size()) return L"";
    std::wstring text;
    for (const BYTE byte : digest) {
        text += L"0123456789abcdef"[byte >> 4];
        text += L"0123456789abcdef"[byte & 15];
    }
    return text;
}

std::vector<std::wstring> Win32Runtime::ChangeableByAnyone(const std::wstring& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &raw) != ERROR_SUCCESS) {
        return {};
    }
    const LocalMemory<PSECURITY_DESCRIPTOR> descriptor(raw);
    // Writing, adding a file to a folder (a library planted beside the
    // program), deleting, or taking over the access list.
    constexpr ACCESS_MASK kChange = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                    WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    const struct {
        WELL_KNOWN_SID_TYPE type;
        const wchar_t* name;
    } groups[] = {{WinBuiltinUsersSid, mensagens::kGrupoUsuarios},
                  {WinAuthenticatedUserSid, mensagens::kGrupoAutenticados},
                  {WinWorldSid, mensagens::kGrupoTodos}};
    std::vector<std::wstring> found;
    for (const auto& group : groups) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        if (!CreateWellKnownSid(group.type, nullptr, sid, &size)) continue;
        // No access list at all lets everyone do everything.
        bool may = dacl == nullptr && group.type == WinWorldSid;
        for (DWORD i = 0; dacl != nullptr && !may && i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(dacl, i, &ace)) continue;
            const auto* header = static_cast<const ACE_HEADER*>(ace);
            if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            may = (allowed->Mask & kChange) != 0 && EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid);
        }
        if (may) found.emplace_back(group.name);
    }
    return found;
}

std::wstring Win32Runtime::FolderIdentity(const std::wstring& path) {
    // The volume's serial number and the folder's file number: a folder made
    // again at the same path, by anyone, has another.
    const KernelHandle folder(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder || !GetFileInformationByHandle(folder.Get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return L"";
    }
    wchar_t text[64];
    std::swprintf(text, 64, L"%08lx-%08lx%08lx", static_cast<unsigned long>(info.dwVolumeSerialNumber),
                  static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
    return text;
}

bool Win32Runtime::KeepsAccessLists(const std::wstring& drive) {
    const std::wstring root = drive + L"\\";
    DWORD flags = 0;
    if (!GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return true;
    return (flags & FILE_PERSISTENT_ACLS) != 0;
}

std::optional<std::uint64_t> Win32Runtime::FreeSpace(const std::wstring& drive) {
    // What this user may still write, which a quota can make less than the drive's own.
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW((drive + L"\\").c_str(), &available, nullptr, nullptr)) return std::nullopt;
    return available.QuadPart;
}

std::optional<std::string> Win32Runtime::ReadFilePart(const std::wstring& path, std::uint64_t offset,
                                                      std::uint32_t length) {
    // The server keeps its error log open for writing, and may rename it.
    const KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) return std::nullopt;
    std::string bytes(length, '\0');
    DWORD total = 0;
    while (total < length) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), bytes.data() + total, length - total, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        total += got;
    }
    bytes.resize(total);
    return bytes;
}

std::optional<std::uint64_t> Win32Runtime::FileWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace cm::win32
