#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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
//
// Every folder the run makes or enters is held open until the sink goes,
// like a process's current folder (traversal, no delete sharing): nobody
// can rename or remove it, or put a link in its place, while files are made
// in it. And before a file or folder is made in one, its path must still
// lead to the folder held, so that a swap the holding did not prevent fails
// the entry instead of sending it elsewhere.
class WinSink final : public Sink {
public:
    explicit WinSink(std::wstring base) : base_(std::move(base)) {}

    // The extraction folder itself; false when it cannot be held.
    bool hold_top() { return hold("") == ERROR_SUCCESS; }

    bool make_folder(const std::string &rel) override {
        const std::wstring p = full(rel);
        full_ = false;
        if (p.size() == base_.size()) {
            err_ = "name cannot be converted";
            return false;
        }
        if (!same(parent_of(rel))) return replaced();
        if (!CreateDirectoryW(p.c_str(), nullptr)) {
            const DWORD e = GetLastError();
            if (e != ERROR_ALREADY_EXISTS) return fail(e);
        }
        // Found or just made, it must be a plain folder: a junction or a
        // symbolic link would carry what follows out of the extraction folder.
        const DWORD e = hold(rel);
        if (e == ERROR_DIRECTORY) {
            err_ = "a file is in the way of a folder";
            return false;
        }
        return e == ERROR_SUCCESS || fail(e);
    }

    bool has_folder(const std::string &rel) override {
        const std::wstring p = full(rel);
        if (p.size() == base_.size() && !rel.empty()) return false;
        return same(rel);
    }

    Create create(const std::string &rel, uint32_t, bool replace, File *&out) override {
        const std::wstring p = full(rel);
        full_ = false;
        if (p.size() == base_.size()) {
            err_ = "name cannot be converted";
            return Create::Failed;
        }
        if (!same(parent_of(rel))) {
            replaced();
            return Create::Failed;
        }
        if (!replace) {
            auto o = std::make_unique<Open>(*this);
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
        }
        return Create::Failed;
    }

    Create stage(const std::string &rel, const std::string &folder, uint32_t, File *&out) override {
        const std::wstring p = full(rel);
        if (p.size() == base_.size() || !same(folder)) return Create::Failed;
        std::wstring where = full(folder);
        if (where.back() != L'\\') where += L'\\';
        const Create c = open_temp(where, p, out);
        if (c != Create::Created) return Create::Failed;
        as(out)->staged = true;
        as(out)->folder = folder;
        return c;
    }

    // A folder at the name is left to create(), which answers for it as
    // this layer always has. The file stays the caller's until an answer
    // that takes it (Created, Failed): whatever throws before leaves it so.
    Create place(File *f, bool replace) override {
        Open *o = as(f);
        if (!same(o->folder)) {
            replaced();
            delete o;
            return Create::Failed;
        }
        const DWORD a = GetFileAttributesW(o->replaces.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
            err_.clear();
            full_ = false;
            delete o;
            return Create::Failed;
        }
        Failure why;
        if (replace ? move_over(o->path, o->replaces, why) : MoveFileExW(o->path.c_str(), o->replaces.c_str(), 0)) {
            o->named = true;
            delete o;
            return Create::Created;
        }
        if (!replace) {
            const DWORD e = GetLastError();
            if (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS) return Create::Exists; // still staged
            fail(why, e);
        }
        err_ = std::move(why.text);
        full_ = why.full;
        delete o;
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
        // Kept open for place or discard, which then removes it through its
        // handle; its name may still move, as the handle shares deletion.
        if (o->staged) {
            o.release();
            return true;
        }
        if (!o->h.close()) return fail(why, GetLastError());
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
    std::vector<std::string> leftovers() const override {
        const std::lock_guard<std::mutex> lock(m_);
        return leftovers_;
    }

private:
    // A file this layer made, and owns until it has its name: on any other
    // way out (a failure, a discard, an exception) it is closed and removed,
    // through its handle while it is open, else by its name, and a file that
    // will not go is told to the run.
    struct Open {
        explicit Open(WinSink &sink) : sink(sink) {}
        Open(const Open &) = delete;
        Open &operator=(const Open &) = delete;
        ~Open() {
            if (named || path.empty()) return;
            FILE_DISPOSITION_INFO gone{TRUE};
            if (h && SetFileInformationByHandle(h.get(), FileDispositionInfo, &gone, sizeof gone)) return;
            h.close();
            // A scanner may hold a file it has just seen for a moment.
            for (int attempt = 0; !DeleteFileW(path.c_str()); ++attempt) {
                const DWORD e = GetLastError();
                if (e == ERROR_FILE_NOT_FOUND) return;
                if (attempt == 20) {
                    sink.left(path);
                    return;
                }
                Sleep(50);
            }
        }
        WinSink &sink;
        KernelHandle h;
        std::wstring path;     // where the data is written; empty until the file is made
        std::wstring replaces; // the name it goes to once complete; empty: it has it
        bool staged = false;   // moved by place() rather than by close()
        std::string folder;    // a staged file's, relative
        bool named = false;    // complete under its name: no longer this layer's to remove
    };

    // What tells a folder apart from every other one, whatever its name.
    struct Identity {
        DWORD volume = 0;
        uint64_t index = 0;
        bool operator==(const Identity &) const = default;
    };
    // The plain folder at p: held, or only looked at. ERROR_DIRECTORY when
    // something else is there (a link, a file).
    static DWORD open_folder(const std::wstring &p, bool hold, KernelHandle &h, Identity &id) {
        h = KernelHandle(CreateFileW(p.c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | (hold ? 0 : FILE_SHARE_DELETE), nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!h || !GetFileInformationByHandle(h.get(), &info)) return GetLastError();
        // Wine tells a link by the attributes of its name only.
        if (!plain_folder(info.dwFileAttributes) || !plain_folder(GetFileAttributesW(p.c_str()))) return ERROR_DIRECTORY;
        id = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
        return ERROR_SUCCESS;
    }
    // Holds the plain folder at rel (a second time: the same one again).
    DWORD hold(const std::string &rel) {
        KernelHandle h;
        Identity id;
        const DWORD e = open_folder(full(rel), true, h, id);
        if (e != ERROR_SUCCESS) return e;
        const std::lock_guard<std::mutex> lock(m_);
        const auto it = held_.try_emplace(rel, std::move(h), id).first;
        return it->second.second == id ? ERROR_SUCCESS : ERROR_DIRECTORY;
    }
    // Whether rel still leads to the folder held for it. One not held yet
    // is held now, once the folder it is in has passed the same check.
    bool same(const std::string &rel) {
        std::optional<Identity> held;
        {
            const std::lock_guard<std::mutex> lock(m_);
            if (const auto it = held_.find(rel); it != held_.end()) held = it->second.second;
        }
        if (!held) return (rel.empty() || same(parent_of(rel))) && hold(rel) == ERROR_SUCCESS;
        KernelHandle h;
        Identity now;
        return open_folder(full(rel), false, h, now) == ERROR_SUCCESS && now == *held;
    }
    static std::string parent_of(const std::string &rel) {
        const size_t slash = rel.rfind('/');
        return slash == std::string::npos ? std::string() : rel.substr(0, slash);
    }
    bool replaced() {
        err_ = "its folder was moved or replaced during the extraction";
        full_ = false;
        return false;
    }
    // A temporary file that stays, for leftovers(); nothing may escape a
    // destructor, so a list that cannot grow just misses it.
    void left(const std::wstring &path) noexcept {
        try {
            std::string rel = utf8_of(path.data() + base_.size(), path.size() - base_.size());
            std::replace(rel.begin(), rel.end(), '\\', '/');
            const std::lock_guard<std::mutex> lock(m_);
            leftovers_.push_back(std::move(rel));
        } catch (...) {
        }
    }

    // A new file under a free temporary name in folder (ending with a
    // backslash), meant for target. Exists: no free name was found.
    Create open_temp(const std::wstring &folder, const std::wstring &target, File *&out) {
        auto o = std::make_unique<Open>(*this);
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

    // With the right to delete it, so that a file given up goes through its
    // own handle, wherever its name now leads; its name may be moved (only)
    // while it is open.
    static HANDLE open_new(const std::wstring &path) {
        return CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
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
    mutable std::mutex m_; // held_ and leftovers_, which the workers reach too
    std::map<std::string, std::pair<KernelHandle, Identity>> held_;
    std::vector<std::string> leftovers_;
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

std::unique_ptr<Source> open_archive_file(const char *path, bool utf8, std::string &error) {
    const std::wstring w = widen(path, strlen(path), utf8 ? CP_UTF8 : CP_ACP);
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

std::unique_ptr<Sink> open_folder_sink(const char *folder, bool utf8, std::string &error) {
    const std::wstring given = folder && *folder ? widen(folder, strlen(folder), utf8 ? CP_UTF8 : CP_ACP) : L".";
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
    auto sink = std::make_unique<WinSink>(std::move(base));
    if (!sink->hold_top()) {
        error = "extraction folder cannot be held open";
        return nullptr;
    }
    return sink;
}

std::string callback_text(const std::string &utf8, size_t max_bytes) {
    // Messages may quote a raw name that is not valid text; it must still print.
    const std::wstring w = widen(utf8.data(), utf8.size(), CP_UTF8, false);
    if (w.empty()) return ascii_only(utf8, max_bytes);
    // No default character: code pages such as UTF-8 refuse one, and the
    // others put their own in place of what they lack. No best fit either:
    // a fullwidth M or a division slash must not arrive as M or '/'.
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    auto bytes = [flags](const wchar_t *s, size_t n, char *out, int room) {
        return WideCharToMultiByte(CP_ACP, flags, s, static_cast<int>(n), out, room, nullptr, nullptr);
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
