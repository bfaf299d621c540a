// Folders with their access lists, the files the log is appended to, the
// ones a check of the server reads, and what can be said of a file or drive
// before anything runs from it.
#include "system/win32/Win32Runtime.h"

#include <aclapi.h>
#include <sddl.h>

#include <array>
#include <cwchar>
#include <iterator>
#include <memory>
#include <vector>

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
    // The extraction writes names of any length, through \\?\; so are they removed.
    const bool drive = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    const std::wstring longo = drive ? L"\\\\?\\" + path : path;
    RemoveTreeAt(longo);
    if (GetFileAttributesW(longo.c_str()) != INVALID_FILE_ATTRIBUTES) {
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

namespace {

// The broad groups: any local user is in them.
constexpr struct {
    WELL_KNOWN_SID_TYPE type;
    const wchar_t* name;
} kGroups[] = {{WinBuiltinUsersSid, mensagens::kGrupoUsuarios},
               {WinAuthenticatedUserSid, mensagens::kGrupoAutenticados},
               {WinWorldSid, mensagens::kGrupoTodos}};

// Which of the broad groups the access list of path allows any of rights
// (one flag per group, in kGroups' order); none when it cannot be read.
std::array<bool, std::size(kGroups)> Allowed(const std::wstring& path, ACCESS_MASK rights) {
    std::array<bool, std::size(kGroups)> may{};
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &raw) != ERROR_SUCCESS) {
        return may;
    }
    const LocalMemory<PSECURITY_DESCRIPTOR> descriptor(raw);
    for (std::size_t g = 0; g < std::size(kGroups); ++g) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        if (!CreateWellKnownSid(kGroups[g].type, nullptr, sid, &size)) continue;
        // No access list at all lets everyone do everything.
        may[g] = dacl == nullptr && kGroups[g].type == WinWorldSid;
        for (DWORD i = 0; dacl != nullptr && !may[g] && i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(dacl, i, &ace)) continue;
            const auto* header = static_cast<const ACE_HEADER*>(ace);
            if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            may[g] = (allowed->Mask & rights) != 0 && EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid);
        }
    }
    return may;
}

std::vector<std::wstring> Names(const std::array<bool, std::size(kGroups)>& may) {
    std::vector<std::wstring> names;
    for (std::size_t g = 0; g < may.size(); ++g) {
        if (may[g]) names.emplace_back(kGroups[g].name);
    }
    return names;
}

// What lets whoever holds it take a folder's contents over: delete or
// rename what is in it, the folder itself, or give themselves that right.
constexpr ACCESS_MASK kTakeOver = FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

}  // namespace

std::vector<std::wstring> Win32Runtime::ChangeableByAnyone(const std::wstring& path) {
    // Writing, adding a file to a folder (a library planted beside the
    // program), deleting, or taking over the access list.
    return Names(Allowed(path, FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                   WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL));
}

std::vector<std::wstring> Win32Runtime::ReplaceableByAnyone(const std::wstring& path) {
    auto may = Allowed(path, FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | kTakeOver | GENERIC_WRITE);
    const auto folder = Allowed(path.substr(0, path.find_last_of(L"\\/")), kTakeOver | DELETE);
    for (std::size_t g = 0; g < may.size(); ++g) may[g] = may[g] || folder[g];
    return Names(may);
}

std::vector<std::wstring> Win32Runtime::RootOpenToAnyone(const std::wstring& drive) {
    return Names(Allowed(drive + L"\\", kTakeOver));
}

bool Win32Runtime::Occupied(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return true;
    // A link that leads nowhere may be taken for nothing; its folder still lists it.
    WIN32_FIND_DATAW found{};
    return static_cast<bool>(FindHandle(FindFirstFileW(path.c_str(), &found)));
}

namespace {

// A file open for reading that nobody may write, rename or delete.
struct HeldHandle final : Runtime::HeldFile {
    explicit HeldHandle(HANDLE handle) : file(handle) {}
    KernelHandle file;
};

}  // namespace

std::unique_ptr<Runtime::HeldFile> Win32Runtime::HoldFile(const std::wstring& path) {
    KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::make_unique<HeldHandle>(file.Release());
}

std::wstring Win32Runtime::UserName() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return L"?";
    const KernelHandle token(raw);
    std::vector<BYTE> user(256);
    DWORD size = 0;
    while (!GetTokenInformation(token.Get(), TokenUser, user.data(), static_cast<DWORD>(user.size()), &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= user.size()) return L"?";
        user.resize(size);
    }
    wchar_t name[256], domain[256];
    DWORD name_size = 256, domain_size = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, name, &name_size, domain,
                           &domain_size, &use)) {
        return L"?";
    }
    return std::wstring(domain) + L"\\" + name;
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
    // A volume that does not answer is not taken for one that keeps them.
    return GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
           (flags & FILE_PERSISTENT_ACLS) != 0;
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
