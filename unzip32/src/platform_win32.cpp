#include <windows.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "platform.h"

namespace uz {
namespace {

// Owns one kernel handle (a file): closed exactly once, moved but never copied.
class KernelHandle {
public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE h) : h_(h) {}
    KernelHandle(KernelHandle &&other) noexcept : h_(other.release()) {}
    KernelHandle &operator=(KernelHandle &&other) noexcept {
        if (this != &other) {
            close();
            h_ = other.release();
        }
        return *this;
    }
    KernelHandle(const KernelHandle &) = delete;
    KernelHandle &operator=(const KernelHandle &) = delete;
    ~KernelHandle() { close(); }

    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE release() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    // Closes now; false (with the system's last error) when closing failed.
    bool close() { return !*this || CloseHandle(release()) != 0; }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// strict: fail on invalid UTF-8 (paths); otherwise substitute (messages).
// The empty text when the bytes cannot be converted.
std::wstring widen(const char *s, size_t n, UINT cp, bool strict = true) {
    if (n == 0) return {};
    const DWORD flags = cp == CP_UTF8 && strict ? MB_ERR_INVALID_CHARS : 0;
    const int len = MultiByteToWideChar(cp, flags, s, static_cast<int>(n), nullptr, 0);
    if (len <= 0) return {};
    std::wstring w(static_cast<size_t>(len), L'\0');
    if (MultiByteToWideChar(cp, flags, s, static_cast<int>(n), w.data(), len) != len) return {};
    return w;
}

std::string utf8_of(const wchar_t *w, size_t n) {
    if (n == 0) return {};
    const int len = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (len <= 0) return {};
    std::string out(static_cast<size_t>(len), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(n), out.data(), len, nullptr, nullptr) != len)
        return {};
    return out;
}

std::string system_error(DWORD code) { return system_message(code); }

class FileSource final : public Source {
public:
    FileSource(KernelHandle h, uint64_t size) : h_(std::move(h)), size_(size) {}
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
            if (!ReadFile(h_.get(), static_cast<char *>(buf) + done, want, &got, &ov) || got == 0) break;
            done += got;
        }
        return done;
    }

private:
    KernelHandle h_;
    uint64_t size_;
};

FILETIME to_filetime(const Stamp &st) {
    FILETIME ft{};
    if (st.unix_valid) {
        const uint64_t u = filetime_of(st);
        ft.dwLowDateTime = static_cast<DWORD>(u);
        ft.dwHighDateTime = static_cast<DWORD>(u >> 32);
        return ft;
    }
    FILETIME local{};
    if (DosDateTimeToFileTime(st.dos_date, st.dos_time, &local)) LocalFileTimeToFileTime(&local, &ft);
    return ft;
}

// The attributes SetFileAttributes takes back.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_TEMPORARY;

// Entry paths are appended to the folder's full path with the \\?\ prefix:
// no length limit, and no reinterpretation of the (already cleaned) names.
class WinSink final : public Sink {
public:
    explicit WinSink(std::wstring base) : base_(std::move(base)) {}

    bool make_folder(const std::string &rel) override {
        const std::wstring p = full(rel);
        if (p.size() == base_.size()) {
            err_ = "name cannot be converted";
            return false;
        }
        if (!CreateDirectoryW(p.c_str(), nullptr)) {
            const DWORD e = GetLastError();
            if (e != ERROR_ALREADY_EXISTS) return fail(e);
        }
        // Found or just made, it must be a plain folder: a junction or a
        // symbolic link would carry what follows out of the extraction folder.
        const DWORD a = GetFileAttributesW(p.c_str());
        if (a == INVALID_FILE_ATTRIBUTES) return fail(GetLastError());
        if (!plain_folder(a)) {
            err_ = "a file is in the way of a folder";
            full_ = false;
            return false;
        }
        return true;
    }

    bool has_folder(const std::string &rel) override {
        const std::wstring p = full(rel);
        if (p.size() == base_.size() && !rel.empty()) return false;
        return plain_folder(GetFileAttributesW(p.c_str()));
    }

    Create create(const std::string &rel, uint32_t, bool replace, File *&out) override {
        const std::wstring p = full(rel);
        if (p.size() == base_.size()) {
            err_ = "name cannot be converted";
            full_ = false;
            return Create::Failed;
        }
        if (!replace) {
            auto o = std::make_unique<Open>();
            o->h = KernelHandle(open_new(p));
            if (!o->h) {
                const DWORD e = GetLastError();
                if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) return Create::Exists;
                fail(e);
                return Create::Failed;
            }
            o->path = p;
            out = reinterpret_cast<File *>(o.release());
            return Create::Created;
        }
        // Replacing: the new data goes to a fresh file beside the old one,
        // which stays whole until the new one is complete (close).
        const DWORD a = GetFileAttributesW(p.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
            fail(ERROR_ACCESS_DENIED);
            return Create::Failed;
        }
        const Create c = open_temp(p.substr(0, p.rfind(L'\\') + 1), p, out);
        if (c == Create::Created) return c;
        if (c == Create::Failed) {
            fail(GetLastError());
        } else {
            err_ = "no free temporary name beside the file";
            full_ = false;
        }
        return Create::Failed;
    }

    Create stage(const std::string &rel, const std::string &folder, uint32_t, File *&out) override {
        const std::wstring p = full(rel);
        if (p.size() == base_.size()) return Create::Failed;
        std::wstring where = full(folder);
        if (where.back() != L'\\') where += L'\\';
        const Create c = open_temp(where, p, out);
        if (c == Create::Created) as(out)->staged = true;
        return c == Create::Created ? c : Create::Failed;
    }

    // A folder at the name is left to create(), which answers for it as
    // this layer always has.
    Create place(File *f, bool replace) override {
        std::unique_ptr<Open> o(as(f));
        const DWORD a = GetFileAttributesW(o->replaces.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
            err_.clear();
            full_ = false;
            return Create::Failed; // the staged file goes with o
        }
        Failure why;
        if (replace ? move_over(o->path, o->replaces, why) : MoveFileExW(o->path.c_str(), o->replaces.c_str(), 0)) {
            o->named = true;
            return Create::Created;
        }
        if (!replace) {
            const DWORD e = GetLastError();
            if (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS) {
                o.release(); // still staged
                return Create::Exists;
            }
            fail(why, e);
        }
        err_ = std::move(why.text);
        full_ = why.full;
        return Create::Failed;
    }

    bool occupied(const std::string &rel) override {
        const std::wstring p = full(rel);
        if (p.size() == base_.size()) return true;
        if (GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        const DWORD e = GetLastError();
        return e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND;
    }

    bool write(File *f, const uint8_t *data, size_t n, Failure &why) override {
        const HANDLE h = as(f)->h.get();
        while (n > 0) {
            DWORD done = 0;
            const DWORD want = static_cast<DWORD>(n > 0x40000000 ? 0x40000000 : n);
            if (!WriteFile(h, data, want, &done, nullptr)) return fail(why, GetLastError());
            if (done == 0) return fail(why, ERROR_DISK_FULL);
            data += done;
            n -= done;
        }
        return true;
    }

    bool close(File *f, const Stamp &st, Failure &why) override {
        std::unique_ptr<Open> o(as(f));
        const FILETIME ft = to_filetime(st);
        SetFileTime(o->h.get(), nullptr, nullptr, &ft);
        if (!o->h.close()) return fail(why, GetLastError());
        if (o->staged) {
            o.release(); // kept for place or discard
            return true;
        }
        if (!o->replaces.empty() && !move_over(o->path, o->replaces, why)) return false;
        o->named = true;
        return true;
    }

    void discard(File *f) override { delete as(f); }

    void set_folder_time(const std::string &rel, const Stamp &st) override {
        KernelHandle h(CreateFileW(full(rel).c_str(), FILE_WRITE_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                   nullptr));
        if (!h) return;
        const FILETIME ft = to_filetime(st);
        SetFileTime(h.get(), nullptr, nullptr, &ft);
    }

    std::string last_error() const override { return err_; }
    bool disk_full() const override { return full_; }

private:
    // A file this layer made, and owns until it has its name: on any other
    // way out (a failure, a discard, an exception) it is closed and removed.
    struct Open {
        Open() = default;
        Open(const Open &) = delete;
        Open &operator=(const Open &) = delete;
        ~Open() {
            h.close();
            if (!named && !path.empty()) DeleteFileW(path.c_str());
        }
        KernelHandle h;
        std::wstring path;     // where the data is written; empty until the file is made
        std::wstring replaces; // the name it goes to once complete; empty: it has it
        bool staged = false;   // moved by place() rather than by close()
        bool named = false;    // complete under its name: no longer this layer's to remove
    };

    // A new file under a free temporary name in folder (ending with a
    // backslash), meant for target. Exists: no free name was found.
    Create open_temp(const std::wstring &folder, const std::wstring &target, File *&out) {
        auto o = std::make_unique<Open>();
        o->replaces = target;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::wstring temp = folder + L"~uz" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(++temp_counter_) + L".tmp";
            o->h = KernelHandle(open_new(temp));
            if (o->h) {
                o->path = std::move(temp);
                out = reinterpret_cast<File *>(o.release());
                return Create::Created;
            }
            const DWORD e = GetLastError();
            if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return Create::Failed;
        }
        return Create::Exists;
    }
    static Open *as(File *f) { return reinterpret_cast<Open *>(f); }
    static bool plain_folder(DWORD a) {
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) &&
               !(a & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    static bool is_full(DWORD e) { return e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL; }
    bool fail(DWORD e) {
        full_ = is_full(e);
        err_ = system_error(e);
        return false;
    }
    static bool fail(Failure &why, DWORD e) {
        why.full = is_full(e);
        why.text = system_error(e);
        return false;
    }

    static HANDLE open_new(const std::wstring &path) {
        return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    }

    // Puts the complete new file in the old one's place. A read-only old file
    // is replaced too, as the user asked; when the move still fails it keeps
    // its attributes.
    static bool move_over(const std::wstring &from, const std::wstring &to, Failure &why) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        DWORD e = GetLastError();
        const DWORD a = GetFileAttributesW(to.c_str());
        if (e == ERROR_ACCESS_DENIED && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) &&
            !(a & FILE_ATTRIBUTE_DIRECTORY)) {
            const DWORD writable = a & kSettableAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
            if (SetFileAttributesW(to.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL)) {
                if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
                e = GetLastError();
                SetFileAttributesW(to.c_str(), a & kSettableAttributes);
            }
        }
        return fail(why, e);
    }

    std::wstring full(const std::string &rel) const {
        std::wstring w = widen(rel.data(), rel.size(), CP_UTF8);
        for (auto &c : w)
            if (c == L'/') c = L'\\';
        return base_ + w;
    }

    std::wstring base_; // \\?\ form, ending with a backslash
    std::string err_;
    bool full_ = false; // err_ is for want of space
    std::atomic<unsigned> temp_counter_{0};
};

// What a text the code page cannot take becomes: ASCII kept, every other
// character one '?'.
std::string ascii_only(const std::string &utf8, size_t max_bytes) {
    std::string out;
    for (const char c : utf8) {
        if (out.size() >= max_bytes) break;
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80)
            out += c;
        else if ((u & 0xC0) != 0x80)
            out += '?';
    }
    return out;
}

} // namespace

std::string system_message(unsigned long code, unsigned long language) {
    wchar_t buf[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                             language, buf, sizeof buf / sizeof buf[0], nullptr);
    while (n > 0 && (buf[n - 1] == L'\n' || buf[n - 1] == L'\r' || buf[n - 1] == L' ')) --n;
    const std::string text = utf8_of(buf, n);
    if (text.empty()) return "Windows error " + std::to_string(code);
    return text;
}

std::unique_ptr<Source> open_archive_file(const char *path, std::string &error) {
    const std::wstring w = widen(path, strlen(path), CP_ACP);
    if (w.empty()) {
        error = "the archive name cannot be converted";
        return nullptr;
    }
    KernelHandle h(CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!h) {
        error = system_error(GetLastError());
        return nullptr;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h.get(), &size)) {
        error = system_error(GetLastError());
        return nullptr;
    }
    return std::make_unique<FileSource>(std::move(h), static_cast<uint64_t>(size.QuadPart));
}

std::unique_ptr<Sink> open_folder_sink(const char *folder, std::string &error) {
    const std::wstring given = folder && *folder ? widen(folder, strlen(folder), CP_ACP) : L".";
    if (given.empty()) {
        error = "the folder name cannot be converted";
        return nullptr;
    }
    const DWORD need = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (need == 0) {
        error = system_error(GetLastError());
        return nullptr;
    }
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(given.c_str(), need, full.data(), nullptr);
    full.resize(got < need ? got : 0);
    if (full.empty()) {
        error = system_error(GetLastError());
        return nullptr;
    }
    if (full.back() != L'\\') full += L'\\';

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

std::string callback_text(const std::string &utf8, size_t max_bytes) {
    // Messages may quote a raw name that is not valid text; it must still print.
    const std::wstring w = widen(utf8.data(), utf8.size(), CP_UTF8, false);
    if (w.empty()) return ascii_only(utf8, max_bytes);
    // No default character: code pages such as UTF-8 refuse one, and the
    // others put their own in place of what they lack.
    auto bytes = [](const wchar_t *s, size_t n, char *out, int room) {
        return WideCharToMultiByte(CP_ACP, 0, s, static_cast<int>(n), out, room, nullptr, nullptr);
    };
    int len = bytes(w.data(), w.size(), nullptr, 0);
    if (len <= 0) return ascii_only(utf8, max_bytes);
    size_t keep = w.size();
    if (static_cast<size_t>(len) > max_bytes) {
        // Whole characters only, as many as fit.
        size_t used = 0;
        keep = 0;
        while (keep < w.size()) {
            const size_t units = IS_HIGH_SURROGATE(w[keep]) && keep + 1 < w.size() ? 2 : 1;
            const int n = bytes(w.data() + keep, units, nullptr, 0);
            if (n <= 0 || used + static_cast<size_t>(n) > max_bytes) break;
            used += static_cast<size_t>(n);
            keep += units;
        }
        len = static_cast<int>(used);
        if (keep == 0) return {};
    }
    std::string out(static_cast<size_t>(len), '\0');
    if (bytes(w.data(), keep, out.data(), len) != len) return ascii_only(utf8, max_bytes);
    return out;
}

} // namespace uz
