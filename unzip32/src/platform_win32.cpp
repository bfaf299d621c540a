#include <windows.h>

#include <string>

#include "platform.h"

namespace uz {
namespace {

// strict: fail on invalid UTF-8 (paths); otherwise substitute (messages).
std::wstring widen(const char *s, size_t n, UINT cp, bool strict = true) {
    if (n == 0) return {};
    const DWORD flags = cp == CP_UTF8 && strict ? MB_ERR_INVALID_CHARS : 0;
    const int len = MultiByteToWideChar(cp, flags, s, static_cast<int>(n), nullptr, 0);
    if (len <= 0) return {};
    std::wstring w(static_cast<size_t>(len), L'\0');
    MultiByteToWideChar(cp, flags, s, static_cast<int>(n), w.data(), len);
    return w;
}

std::string system_error(DWORD code) {
    char buf[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buf, sizeof buf, nullptr);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ')) --n;
    if (n == 0) return "Windows error " + std::to_string(code);
    return std::string(buf, n);
}

class FileSource final : public Source {
public:
    FileSource(HANDLE h, uint64_t size) : h_(h), size_(size) {}
    ~FileSource() override { CloseHandle(h_); }
    uint64_t size() const override { return size_; }
    size_t read_at(uint64_t off, void *buf, size_t n) override {
        size_t done = 0;
        while (done < n) {
            OVERLAPPED ov{};
            const uint64_t at = off + done;
            ov.Offset = static_cast<DWORD>(at);
            ov.OffsetHigh = static_cast<DWORD>(at >> 32);
            const DWORD want = static_cast<DWORD>(n - done > 0x40000000 ? 0x40000000 : n - done);
            DWORD got = 0;
            if (!ReadFile(h_, static_cast<char *>(buf) + done, want, &got, &ov) || got == 0) break;
            done += got;
        }
        return done;
    }

private:
    HANDLE h_;
    uint64_t size_;
};

FILETIME to_filetime(const Stamp &st) {
    FILETIME ft{};
    if (st.unix_valid) {
        const int64_t v = (st.unix_sec + 11644473600LL) * 10000000LL + st.nsec / 100;
        const uint64_t u = v < 0 ? 0 : static_cast<uint64_t>(v);
        ft.dwLowDateTime = static_cast<DWORD>(u);
        ft.dwHighDateTime = static_cast<DWORD>(u >> 32);
        return ft;
    }
    FILETIME local{};
    if (DosDateTimeToFileTime(st.dos_date, st.dos_time, &local)) LocalFileTimeToFileTime(&local, &ft);
    return ft;
}

// Entry paths are appended to the folder's full path with the \\?\ prefix:
// no length limit, and no reinterpretation of the (already cleaned) names.
class WinSink final : public Sink {
public:
    explicit WinSink(std::wstring base) : base_(std::move(base)) {}

    bool make_folder(const std::string &rel) override {
        const std::wstring p = full(rel);
        if (CreateDirectoryW(p.c_str(), nullptr)) return true;
        const DWORD e = GetLastError();
        if (e == ERROR_ALREADY_EXISTS) {
            const DWORD a = GetFileAttributesW(p.c_str());
            if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return true;
            err_ = "a file is in the way of a folder";
            return false;
        }
        err_ = system_error(e);
        return false;
    }

    Create create(const std::string &rel, uint32_t, bool replace, File *&out) override {
        const std::wstring p = full(rel);
        if (p.size() == base_.size()) {
            err_ = "name cannot be converted";
            return Create::Failed;
        }
        if (replace && !DeleteFileW(p.c_str())) {
            DWORD e = GetLastError();
            if (e == ERROR_ACCESS_DENIED) {
                // Read-only files are replaced too, as the user asked.
                SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                e = DeleteFileW(p.c_str()) ? ERROR_SUCCESS : GetLastError();
            }
            if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND) {
                err_ = system_error(e);
                return Create::Failed;
            }
        }
        HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD e = GetLastError();
            if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) return Create::Exists;
            err_ = system_error(e);
            return Create::Failed;
        }
        out = reinterpret_cast<File *>(new Handle{h, p});
        return Create::Created;
    }

    bool write(File *f, const uint8_t *data, size_t n) override {
        HANDLE h = as(f)->h;
        while (n > 0) {
            DWORD done = 0;
            const DWORD want = static_cast<DWORD>(n > 0x40000000 ? 0x40000000 : n);
            if (!WriteFile(h, data, want, &done, nullptr) || done == 0) {
                err_ = system_error(GetLastError());
                return false;
            }
            data += done;
            n -= done;
        }
        return true;
    }

    bool close(File *f, const Stamp &st) override {
        Handle *h = as(f);
        const FILETIME ft = to_filetime(st);
        SetFileTime(h->h, nullptr, nullptr, &ft);
        bool ok = CloseHandle(h->h) != 0;
        if (!ok) {
            err_ = system_error(GetLastError());
            DeleteFileW(h->path.c_str());
        }
        delete h;
        return ok;
    }

    void discard(File *f) override {
        Handle *h = as(f);
        CloseHandle(h->h);
        DeleteFileW(h->path.c_str());
        delete h;
    }

    void set_folder_time(const std::string &rel, const Stamp &st) override {
        HANDLE h = CreateFileW(full(rel).c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE) return;
        const FILETIME ft = to_filetime(st);
        SetFileTime(h, nullptr, nullptr, &ft);
        CloseHandle(h);
    }

    std::string last_error() const override { return err_; }

private:
    struct Handle {
        HANDLE h;
        std::wstring path;
    };
    static Handle *as(File *f) { return reinterpret_cast<Handle *>(f); }

    std::wstring full(const std::string &rel) const {
        std::wstring w = widen(rel.data(), rel.size(), CP_UTF8);
        for (auto &c : w)
            if (c == L'/') c = L'\\';
        return base_ + w;
    }

    std::wstring base_; // \\?\ form, ending with a backslash
    std::string err_;
};

} // namespace

std::unique_ptr<Source> open_archive_file(const char *path, std::string &error) {
    const std::wstring w = widen(path, strlen(path), CP_ACP);
    HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = system_error(GetLastError());
        return nullptr;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) {
        error = system_error(GetLastError());
        CloseHandle(h);
        return nullptr;
    }
    return std::make_unique<FileSource>(h, static_cast<uint64_t>(size.QuadPart));
}

std::unique_ptr<Sink> open_folder_sink(const char *folder, std::string &error) {
    const std::wstring given = folder && *folder ? widen(folder, strlen(folder), CP_ACP) : L".";
    const DWORD need = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (need == 0) {
        error = system_error(GetLastError());
        return nullptr;
    }
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(given.c_str(), need, full.data(), nullptr);
    full.resize(got);
    if (full.empty() || full.back() != L'\\') full += L'\\';

    std::wstring base;
    if (full.rfind(L"\\\\?\\", 0) == 0)
        base = full;
    else if (full.rfind(L"\\\\", 0) == 0)
        base = L"\\\\?\\UNC\\" + full.substr(2);
    else
        base = L"\\\\?\\" + full;

    // Create the folder and its missing parents; the caller chose this path.
    for (size_t i = 4; i < base.size(); ++i) {
        if (base[i] == L'\\') CreateDirectoryW(base.substr(0, i).c_str(), nullptr);
    }
    const DWORD a = GetFileAttributesW(base.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "extraction folder cannot be created";
        return nullptr;
    }
    return std::make_unique<WinSink>(std::move(base));
}

std::string callback_text(const std::string &utf8) {
    // Messages may quote a raw name that is not valid text; it must still print.
    const std::wstring w = widen(utf8.data(), utf8.size(), CP_UTF8, false);
    if (w.empty()) return {};
    const int len = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr,
                                        0, nullptr, nullptr);
    if (len <= 0) return {};
    std::string out(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), out.data(), len, nullptr,
                        nullptr);
    return out;
}

} // namespace uz
