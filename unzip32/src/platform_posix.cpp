#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "extract.h"
#include "platform.h"

namespace uz {
namespace {

class FileSource final : public Source {
public:
    FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;
    ~FileSource() override { ::close(fd_); }
    uint64_t size() const override { return size_; }
    size_t read_at(uint64_t off, void *buf, size_t n) override {
        size_t done = 0;
        while (done < n) {
            const ssize_t r = ::pread(fd_, static_cast<char *>(buf) + done, n - done,
                                      static_cast<off_t>(off + done));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            done += static_cast<size_t>(r);
        }
        return done;
    }

private:
    int fd_;
    uint64_t size_;
};

timespec to_timespec(const Stamp &st) {
    timespec ts{};
    if (st.unix_valid) {
        ts.tv_sec = static_cast<time_t>(st.unix_sec);
        ts.tv_nsec = st.nsec;
        return ts;
    }
    // DOS times are local wall-clock times.
    tm t{};
    t.tm_sec = (st.dos_time & 0x1F) * 2;
    t.tm_min = (st.dos_time >> 5) & 0x3F;
    t.tm_hour = st.dos_time >> 11;
    t.tm_mday = st.dos_date & 0x1F;
    t.tm_mon = ((st.dos_date >> 5) & 0x0F) - 1;
    t.tm_year = ((st.dos_date >> 9) & 0x7F) + 80;
    t.tm_isdst = -1;
    // mktime loads and updates the process's time-zone state, and a program
    // may run two extractions at once on different threads.
    static std::mutex zone;
    const std::lock_guard<std::mutex> lock(zone);
    const time_t v = mktime(&t);
    ts.tv_sec = v == static_cast<time_t>(-1) ? 0 : v;
    return ts;
}

// Every folder the run makes or enters is opened once, one step at a time
// from the extraction folder and never through a link, and kept open until
// the sink goes; files and folders are made, moved and removed through the
// descriptor of their own folder, so that a rename or a link put in place
// of one cannot send them elsewhere. Before one is made, the names from the
// extraction folder down must still lead to the folders held: such a swap
// fails the entry.
class PosixSink final : public Sink {
public:
    explicit PosixSink(int dirfd) : pid_(std::to_string(::getpid())) { held_.emplace("", dirfd); }
    PosixSink(const PosixSink &) = delete;
    PosixSink &operator=(const PosixSink &) = delete;
    ~PosixSink() override {
        for (const auto &entry : held_) ::close(entry.second);
    }

    bool make_folder(const std::string &rel) override {
        const auto [folder, leaf] = split(rel);
        const int at = folder_fd(folder);
        if (at < 0) return replaced();
        if (::mkdirat(at, leaf.c_str(), 0777) != 0 && errno != EEXIST) return fail();
        if (folder_fd(rel) >= 0) return true;
        if (errno != ENOTDIR && errno != ELOOP) return fail();
        err_ = "a file is in the way of a folder";
        full_ = false;
        return false;
    }

    bool has_folder(const std::string &rel) override { return folder_fd(rel) >= 0; }

    Create create(const std::string &rel, uint32_t mode, bool replace, File *&out) override {
        const auto [folder, leaf] = split(rel);
        const int at = folder_fd(folder);
        if (at < 0) {
            replaced();
            return Create::Failed;
        }
        if (!replace) {
            auto h = std::make_unique<Handle>(*this, at, folder);
            h->fd = open_new(at, leaf, mode);
            if (h->fd < 0) {
                if (errno == EEXIST) return Create::Exists;
                fail();
                return Create::Failed;
            }
            h->path = leaf;
            out = reinterpret_cast<File *>(h.release());
            return Create::Created;
        }
        // Replacing: the new data goes to a fresh file beside the old one,
        // which stays whole until the new one is complete (close). The rename
        // then replaces whatever name is there, so an existing hard link or
        // symbolic link does not carry the new data elsewhere.
        struct stat sb;
        if (::fstatat(at, leaf.c_str(), &sb, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(sb.st_mode)) {
            errno = EISDIR;
            fail();
            return Create::Failed;
        }
        const Create c = open_temp(at, folder, mode, leaf, out);
        if (c == Create::Created) return c;
        if (c == Create::Failed) {
            fail();
        } else {
            err_ = "no free temporary name beside the file";
            full_ = false;
        }
        return Create::Failed;
    }

    Create stage(const std::string &rel, const std::string &folder, uint32_t mode, File *&out) override {
        const int at = folder_fd(folder);
        if (at < 0) return Create::Failed;
        const Create c = open_temp(at, folder, mode, split(rel).second, out);
        if (c == Create::Created) as(out)->staged = true;
        return c == Create::Created ? c : Create::Failed;
    }

    // The file stays the caller's until an answer that takes it (Created,
    // Failed): whatever throws before leaves it so.
    Create place(File *f, bool replace) override {
        Handle *h = as(f);
        if (folder_fd(h->folder) < 0) {
            replaced();
            delete h;
            return Create::Failed;
        }
        const char *from = h->path.c_str(), *to = h->replaces.c_str();
        const int at = h->dir;
        int r = replace ? ::renameat(at, from, at, to) : ::renameat2(at, from, at, to, RENAME_NOREPLACE);
        if (r != 0 && !replace && (errno == EINVAL || errno == ENOSYS || errno == EPERM)) {
            // A file system or kernel without that kind of rename (or a
            // sandbox that forbids it): a link fails as well when the name
            // is taken. Should the temporary name stay, the link is taken
            // back, so that the file never has two names.
            r = ::linkat(at, from, at, to, 0);
            if (r == 0 && ::unlinkat(at, from, 0) != 0) {
                const int e = errno;
                ::unlinkat(at, to, 0);
                errno = e;
                r = -1;
            }
        }
        if (r != 0 && !replace && errno == EEXIST) return Create::Exists; // still staged
        if (r == 0) h->named = true;
        else fail();
        delete h;
        return r == 0 ? Create::Created : Create::Failed; // a failed one's staged file goes with h
    }

    bool occupied(const std::string &rel) override {
        const auto [folder, leaf] = split(rel);
        const int at = folder_fd(folder);
        if (at < 0) return errno != ENOENT;
        struct stat sb;
        return ::fstatat(at, leaf.c_str(), &sb, AT_SYMLINK_NOFOLLOW) == 0 || (errno != ENOENT && errno != ENOTDIR);
    }

    bool write(File *f, const uint8_t *data, size_t n, Failure &why) override {
        const int fd = as(f)->fd;
        while (n > 0) {
            const ssize_t w = ::write(fd, data, n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return fail(why, w < 0 ? errno : ENOSPC);
            data += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }

    bool close(File *f, const Stamp &st, Failure &why) override {
        std::unique_ptr<Handle> h(as(f));
        const timespec ts[2] = {to_timespec(st), to_timespec(st)};
        ::futimens(h->fd, ts);
        const int fd = std::exchange(h->fd, -1);
        if (::close(fd) != 0) return fail(why, errno);
        if (h->staged) {
            h.release(); // kept for place or discard
            return true;
        }
        if (!h->replaces.empty() && ::renameat(h->dir, h->path.c_str(), h->dir, h->replaces.c_str()) != 0)
            return fail(why, errno);
        h->named = true;
        return true;
    }

    void discard(File *f) override { delete as(f); }

    void set_folder_time(const std::string &rel, const Stamp &st) override {
        const auto [folder, leaf] = split(rel);
        const int at = folder_fd(folder);
        const timespec ts[2] = {to_timespec(st), to_timespec(st)};
        if (at >= 0) ::utimensat(at, leaf.c_str(), ts, AT_SYMLINK_NOFOLLOW);
    }

    std::string last_error() const override { return err_; }
    bool disk_full() const override { return full_; }
    std::vector<std::string> leftovers() const override {
        const std::lock_guard<std::mutex> lock(m_);
        return leftovers_;
    }

private:
    // A file this layer made in the folder dir, and owns until it has its
    // name: on any other way out (a failure, a discard, an exception) it is
    // closed and removed, and one that will not go is told to the run.
    struct Handle {
        Handle(PosixSink &sink, int dir, std::string folder) : sink(sink), dir(dir), folder(std::move(folder)) {}
        Handle(const Handle &) = delete;
        Handle &operator=(const Handle &) = delete;
        ~Handle() {
            if (fd >= 0) ::close(fd);
            if (!named && !path.empty() && ::unlinkat(dir, path.c_str(), 0) != 0 && errno != ENOENT)
                sink.left(folder.empty() ? path : folder + "/" + path);
        }
        PosixSink &sink;
        int dir;
        std::string folder;   // dir, relative to the extraction folder
        int fd = -1;
        std::string path;     // its name in dir; empty until the file is made
        std::string replaces; // the name in dir it goes to once complete; empty: it has it
        bool staged = false;  // moved by place() rather than by close()
        bool named = false;   // complete under its name: no longer this layer's to remove
    };

    static std::pair<std::string, std::string> split(const std::string &rel) {
        const size_t slash = rel.rfind('/');
        if (slash == std::string::npos) return {"", rel};
        return {rel.substr(0, slash), rel.substr(slash + 1)};
    }
    // The descriptor of the plain folder at rel, opened now (the first time,
    // through its own folder's) or held since; -1 with errno set when there
    // is none, or when a name on the way no longer leads to the folder held
    // for it (EXDEV).
    int folder_fd(const std::string &rel) {
        const std::lock_guard<std::mutex> lock(m_);
        return folder_fd_locked(rel);
    }
    int folder_fd_locked(const std::string &rel) {
        const auto it = held_.find(rel);
        if (rel.empty()) return it->second;
        const auto [folder, leaf] = split(rel);
        const int at = folder_fd_locked(folder);
        if (at < 0) return -1;
        if (it == held_.end()) {
            const int fd = ::openat(at, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) held_.emplace(rel, fd);
            return fd;
        }
        struct stat named, held;
        if (::fstatat(at, leaf.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || ::fstat(it->second, &held) != 0 ||
            named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
            errno = EXDEV;
            return -1;
        }
        return it->second;
    }
    bool replaced() {
        if (errno != EXDEV) return fail();
        err_ = "its folder was moved or replaced during the extraction";
        full_ = false;
        return false;
    }
    // A temporary file that stays, for leftovers(); nothing may escape a
    // destructor, so a list that cannot grow just misses it.
    void left(const std::string &rel) noexcept {
        try {
            const std::lock_guard<std::mutex> lock(m_);
            leftovers_.push_back(rel);
        } catch (...) {
        }
    }
    // A new file under a free temporary name in the folder dir (folder,
    // relative), meant for target there. Exists: no free name was found.
    Create open_temp(int dir, const std::string &folder, uint32_t mode, const std::string &target, File *&out) {
        auto h = std::make_unique<Handle>(*this, dir, folder);
        h->replaces = target;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string temp = ".uz-" + pid_ + "-" + std::to_string(++temp_counter_) + ".tmp";
            h->fd = open_new(dir, temp, mode);
            if (h->fd >= 0) {
                h->path = std::move(temp);
                out = reinterpret_cast<File *>(h.release());
                return Create::Created;
            }
            if (errno != EEXIST) return Create::Failed;
        }
        return Create::Exists;
    }
    static int open_new(int dir, const std::string &name, uint32_t mode) {
        return ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        static_cast<mode_t>(mode));
    }
    static Handle *as(File *f) { return reinterpret_cast<Handle *>(f); }
    bool fail() {
        const int code = errno;
        full_ = code == ENOSPC || code == EDQUOT;
        return fail(err_, code);
    }
    // strerror may share one buffer between threads; this form does not.
    static bool fail(std::string &why, int code) {
        why = std::generic_category().message(code);
        return false;
    }
    static bool fail(Failure &why, int code) {
        why.full = code == ENOSPC || code == EDQUOT;
        return fail(why.text, code);
    }

    std::string pid_; // for temporary names
    std::string err_;
    bool full_ = false; // err_ is for want of space
    std::atomic<unsigned> temp_counter_{0};
    mutable std::mutex m_; // held_ and leftovers_, which the workers reach too
    std::map<std::string, int> held_; // "" is the extraction folder
    std::vector<std::string> leftovers_;
};

} // namespace

std::unique_ptr<Source> open_archive_file(const char *path, bool, std::string &error) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    struct stat sb;
    if (::fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
        error = "not a regular file";
        ::close(fd);
        return nullptr;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<FileSource>(fd, static_cast<uint64_t>(sb.st_size));
}

std::unique_ptr<Sink> open_folder_sink(const char *folder, bool, std::string &error) {
    std::string path = folder && *folder ? folder : ".";
    // Create the folder and its missing parents; the caller chose this path.
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string prefix = path.substr(0, i);
            if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
                error = std::strerror(errno);
                return nullptr;
            }
        }
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<PosixSink>(fd);
}

std::string callback_text(const std::string &utf8, size_t max_bytes) {
    return identity_text(utf8, max_bytes);
}

} // namespace uz
