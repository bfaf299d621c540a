#include "extract.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <thread>
#include <unordered_set>

#include <zlib.h>

#include "zipcrypto.h"

namespace uz {

std::string identity_text(const std::string &utf8, size_t max_bytes) {
    if (utf8.size() <= max_bytes) return utf8;
    size_t cut = max_bytes;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return utf8.substr(0, cut);
}

namespace {

constexpr size_t kReadChunk = 1 << 20;
constexpr size_t kOutChunk = 256 << 10;
constexpr size_t kCallbackName = 256; // bytes, terminator included
constexpr size_t kPasswordSize = 256;
constexpr size_t kPathMax = 4096;     // bytes of a cleaned path
// The largest entry the calling thread writes itself while every worker is
// busy: small enough that handing out the next entries is not held up.
constexpr uint64_t kInlineMax = 128 << 10;

int rank(int32_t code) {
    switch (code) {
    case UZ_OK: return 0;
    case UZ_WARNING: return 1;
    case UZ_BAD_PASSWORD: return 2;
    case UZ_UNSUPPORTED: return 3;
    case UZ_BAD_ARCHIVE: return 4;
    case UZ_DISK: return 5;
    default: return 6;
    }
}

enum class Outcome { Ok, DataError, WriteError, CloseError };

struct Decoded {
    Decoded(Outcome o = Outcome::Ok, const char *w = "", std::string e = {})
        : outcome(o), why(w), error(std::move(e)) {}
    Outcome outcome;
    const char *why;
    std::string error; // the sink's own text for a write or close failure
};

// Holds a zlib stream for the whole run; reset per entry.
class Inflater {
public:
    Inflater() {
        std::memset(&z_, 0, sizeof z_);
        if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&z_); }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;
    z_stream &stream() { return z_; }
    void reset() { inflateReset(&z_); }

private:
    z_stream z_;
};

// Everything writing one entry needs for itself: a read window over the
// archive, an inflate stream and buffers. The calling thread has one, and so
// has each worker; the sizes are fixed, whatever the entry's size.
class Decoder {
public:
    explicit Decoder(Source &src) : data_(src, kReadChunk, kReadChunk) {}
    const uint8_t *view(uint64_t off, size_t n) { return data_.view(off, n); }
    // Streams the entry into f and closes it; on any failure f is discarded.
    Decoded write_entry(const Entry &en, ZipCrypto *crypto, Sink &sink, Sink::File *f);

private:
    Decoded decode(const Entry &en, ZipCrypto *crypto, Sink &sink, Sink::File *f);

    Window data_;
    Inflater inflater_;
    std::vector<uint8_t> out_ = std::vector<uint8_t>(kOutChunk);
    std::vector<uint8_t> scratch_;
};

// An entry whose file is open, handed to a worker.
struct Job : WorkItem {
    const Entry *en = nullptr;
    std::string path;
    Sink::File *file = nullptr;
    Decoded result;
};

// Messages wait in slots while an earlier entry is still being written, so
// that they come out in the order of the entries.
struct Slot {
    std::vector<std::string> texts; // printed before the job's own messages
    bool has_job = false;
    Job job;
};

enum class Opened { Yes, Skipped, Stopped };

class Run {
public:
    Run(Source &src, Sink *sink, const Settings &s, const UzCallbacks *cb, TextConverter conv)
        : src_(src), sink_(sink), s_(s), cb_(cb), conv_(conv), own_(src) {}

    int32_t go();
    void fill(UzStatistics &st) const {
        st.total_size = static_cast<uint32_t>(total_size_);
        st.total_packed_size = static_cast<uint32_t>(total_packed_);
        st.entry_count = processed_;
        st.ratio_permille = total_size_ == 0 || total_packed_ >= total_size_
                                ? 0
                                : static_cast<uint32_t>(1000 - total_packed_ * 1000 / total_size_);
        st.reserved = 0;
    }

private:
    // ---- messages and callbacks
    void note(int32_t code) {
        if (rank(code) > rank(result_)) result_ = code;
    }
    void print(const std::string &utf8) {
        if (!cb_ || !cb_->print) return;
        if (!pending_.empty() && !reporting_) {
            if (pending_.back().has_job) pending_.emplace_back();
            pending_.back().texts.push_back(utf8);
            return;
        }
        const std::string text = conv_(utf8, kPrintMax);
        cb_->print(text.c_str(), static_cast<int32_t>(text.size()));
    }
    void info(const char *what, const std::string &path) {
        if (s_.message_level <= 0) print(std::string(what) + shown(path) + "\n");
    }
    void warn(const char *what, const std::string &name, const char *why) {
        if (s_.message_level <= 1) print(std::string(what) + shown(name) + ": " + why + "\n");
    }
    // Names inside messages are cut so that no message can grow without bound.
    static std::string shown(const std::string &name) {
        if (name.size() <= kCallbackName - 1) return name;
        size_t cut = kCallbackName - 1;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        return name.substr(0, cut) + "...";
    }
    // A name as handed to a callback: converted, native separators, at most 255 bytes.
    void callback_name(const std::string &utf8, char (&buf)[kCallbackName]) const {
        std::string t = conv_(utf8, kCallbackName - 1);
        if (s_.rules == NameRules::Windows) std::replace(t.begin(), t.end(), '/', '\\');
        const size_t n = std::min(t.size(), kCallbackName - 1);
        std::memcpy(buf, t.data(), n);
        buf[n] = '\0';
    }

    bool selected(const Entry &en) const;
    int32_t list();
    bool ensure_folder(const std::string &path);
    bool make_folders(const std::string &path);
    // false: stop everything (the user aborted)
    bool extract_entry(const Entry &en);
    bool extract_file(const Entry &en, const std::string &path);
    bool extract_encrypted(const Entry &en, const std::string &path);
    Opened open_target(const Entry &en, const std::string &path, bool &replace, Sink::File *&file);
    Sink::Create create(const std::string &path, uint32_t mode, bool replace, Sink::File *&file);
    bool next_password(const Entry &en, const char *cbname, size_t &known_next, int &prompts,
                       ZipCrypto &crypto, std::string &password, bool &cancelled);
    void report(const Entry &en, const std::string &path, const Decoded &d);

    // ---- workers
    unsigned worker_count(const std::vector<const Entry *> &order) const;
    void start_workers(unsigned n);
    void hand_over(const Entry &en, const std::string &path, Sink::File *file);
    void flush();
    void settle();

    Source &src_;
    Sink *sink_;
    const Settings &s_;
    const UzCallbacks *cb_;
    TextConverter conv_;
    Decoder own_;
    Archive ar_;
    std::unordered_set<std::string> folders_;
    std::vector<std::pair<std::string, Stamp>> folder_times_;
    std::vector<std::string> passwords_; // accepted in this run, newest last
    bool passwords_cancelled_ = false;
    int32_t result_ = UZ_OK;
    uint64_t total_size_ = 0, total_packed_ = 0;
    uint32_t processed_ = 0;

    std::vector<std::unique_ptr<Decoder>> decoders_; // one per worker
    std::deque<Slot> pending_; // entries in flight, and what waits behind them
    bool reporting_ = false;   // flush is printing: messages go straight out
    // Last, so that the threads are joined before anything they use goes away.
    Workers<Job> workers_;
};

bool Run::selected(const Entry &en) const {
    if (!s_.include.empty()) {
        bool any = false;
        for (const auto &p : s_.include)
            if (wildcard_match(p, en.name)) {
                any = true;
                break;
            }
        if (!any) return false;
    }
    for (const auto &p : s_.exclude)
        if (wildcard_match(p, en.name)) return false;
    return true;
}

int32_t Run::list() {
    for (const Entry &en : ar_.entries) {
        if (!selected(en)) continue;
        if (!cb_ || !cb_->message) continue;
        char name[kCallbackName];
        callback_name(en.name, name);
        const char *method = en.method == 0 ? "Stored" : en.method == 8 ? "Defl:N" : "Unknown";
        const int32_t ratio =
            en.usize == 0 || en.csize >= en.usize
                ? 0
                : static_cast<int32_t>(1000 - (en.csize * 1000) / en.usize);
        cb_->message(static_cast<int32_t>(en.usize), static_cast<int32_t>(en.csize), ratio,
                     (en.dos_date >> 5) & 0x0F, en.dos_date & 0x1F,
                     ((en.dos_date >> 9) & 0x7F) + 1980, en.dos_time >> 11,
                     (en.dos_time >> 5) & 0x3F, en.encrypted() ? '*' : ' ', name, method, en.crc,
                     en.encrypted() ? 1 : 0);
        ++processed_;
        total_size_ += en.usize;
        total_packed_ += en.csize;
    }
    return result_;
}

bool Run::ensure_folder(const std::string &path) {
    if (path.empty() || folders_.count(path)) return true;
    // Find the deepest known ancestor, then create downwards from there.
    size_t known = 0;
    for (size_t cut = path.rfind('/'); cut != std::string::npos && cut > 0;
         cut = path.rfind('/', cut - 1)) {
        if (folders_.count(path.substr(0, cut))) {
            known = cut + 1;
            break;
        }
    }
    for (size_t cut = path.find('/', known);; cut = path.find('/', cut + 1)) {
        std::string prefix = path.substr(0, cut);
        if (!folders_.count(prefix)) {
            if (!sink_->make_folder(prefix)) return false;
            folders_.insert(prefix);
        }
        if (cut == std::string::npos) return true;
    }
}

// A file still being written may stand in the way of a folder; once it is
// done (or gone) the answer is the one a single thread would get.
bool Run::make_folders(const std::string &path) {
    if (ensure_folder(path)) return true;
    if (pending_.empty()) return false;
    settle();
    return ensure_folder(path);
}

Decoded Decoder::decode(const Entry &en, ZipCrypto *crypto, Sink &sink, Sink::File *f) {
    uint64_t pos = en.data_offset, remaining = en.csize;
    if (crypto) {
        pos += 12;
        remaining -= 12;
    }
    if (en.method == 0 && remaining != en.usize) return {Outcome::DataError, "stored sizes disagree"};

    uLong crc = crc32(0, nullptr, 0);
    uint64_t produced = 0;
    std::string why;
    bool ended = en.method == 0;
    z_stream &z = inflater_.stream();
    if (en.method == 8) inflater_.reset();

    while (remaining > 0) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, kReadChunk));
        const uint8_t *p = data_.view(pos, chunk);
        if (!p) return {Outcome::DataError, "archive cut short"};
        if (crypto) {
            if (scratch_.size() < chunk) scratch_.resize(kReadChunk);
            std::memcpy(scratch_.data(), p, chunk);
            crypto->decrypt(scratch_.data(), chunk);
            p = scratch_.data();
        }
        pos += chunk;
        remaining -= chunk;
        if (en.method == 0) {
            if (!sink.write(f, p, chunk, why)) return {Outcome::WriteError, "write failed", why};
            crc = crc32(crc, p, static_cast<uInt>(chunk));
            produced += chunk;
            continue;
        }
        z.next_in = const_cast<Bytef *>(p);
        z.avail_in = static_cast<uInt>(chunk);
        // A full output buffer may hide more pending output; anything less
        // means zlib has used up this input.
        do {
            z.next_out = out_.data();
            z.avail_out = static_cast<uInt>(out_.size());
            const int rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
                return {Outcome::DataError, "compressed data damaged"};
            const size_t have = out_.size() - z.avail_out;
            if (have > en.usize - produced) return {Outcome::DataError, "more data than declared"};
            if (have) {
                if (!sink.write(f, out_.data(), have, why))
                    return {Outcome::WriteError, "write failed", why};
                crc = crc32(crc, out_.data(), static_cast<uInt>(have));
                produced += have;
            }
            if (rc == Z_STREAM_END) ended = true;
        } while (!ended && z.avail_out == 0);
        if (ended) break;
    }
    if (!ended) return {Outcome::DataError, "compressed data cut short"};
    if (produced != en.usize) return {Outcome::DataError, "size differs from the declared size"};
    if (static_cast<uint32_t>(crc) != en.crc) return {Outcome::DataError, "CRC error"};
    return {};
}

Decoded Decoder::write_entry(const Entry &en, ZipCrypto *crypto, Sink &sink, Sink::File *f) {
    Decoded d;
    try {
        d = decode(en, crypto, sink, f);
    } catch (...) {
        sink.discard(f);
        throw;
    }
    if (d.outcome != Outcome::Ok) {
        sink.discard(f);
    } else if (!sink.close(f, en.stamp, d.error)) {
        d.outcome = Outcome::CloseError;
        d.why = "cannot complete file";
    }
    return d;
}

bool Run::next_password(const Entry &en, const char *cbname, size_t &known_next, int &prompts,
                        ZipCrypto &crypto, std::string &password, bool &cancelled) {
    const uint8_t *head = en.csize >= 12 ? own_.view(en.data_offset, 12) : nullptr;
    if (!head) return false;
    const uint8_t check =
        en.has_descriptor() ? static_cast<uint8_t>(en.dos_time >> 8) : static_cast<uint8_t>(en.crc >> 24);
    auto try_password = [&](const std::string &pw) {
        ZipCrypto c(pw);
        uint8_t h[12];
        std::memcpy(h, head, 12);
        if (c.decrypt_header(h) != check) return false;
        crypto = c;
        password = pw;
        return true;
    };
    while (known_next < passwords_.size()) {
        const std::string &pw = passwords_[passwords_.size() - 1 - known_next++];
        if (try_password(pw)) return true;
    }
    while (!passwords_cancelled_ && prompts < s_.password_prompts) {
        if (!cb_ || !cb_->password) {
            passwords_cancelled_ = true;
            break;
        }
        ++prompts;
        // One byte more than announced, so a callback that fills the whole
        // buffer still leaves a terminator.
        char buf[kPasswordSize + 1] = {};
        const int32_t answer = cb_->password(buf, static_cast<int32_t>(kPasswordSize),
                                             "Enter password for: ", cbname);
        if (answer != 0) {
            passwords_cancelled_ = true;
            break;
        }
        buf[kPasswordSize] = '\0';
        if (try_password(std::string(buf, strnlen(buf, kPasswordSize)))) return true;
        warn("warning: ", en.name, "incorrect password");
    }
    cancelled = passwords_cancelled_;
    return false;
}

Sink::Create Run::create(const std::string &path, uint32_t mode, bool replace, Sink::File *&file) {
    const Sink::Create c = sink_->create(path, mode, replace, file);
    if (c == Sink::Create::Created || pending_.empty()) return c;
    // An entry of the same name may still be in flight: what it leaves
    // behind decides, as it would on one thread.
    settle();
    return sink_->create(path, mode, replace, file);
}

Opened Run::open_target(const Entry &en, const std::string &path, bool &replace, Sink::File *&file) {
    const uint32_t mode = en.unix_mode() & 0111 ? 0777 : 0666;
    Sink::Create c = create(path, mode, replace, file);
    if (c == Sink::Create::Exists) {
        char cbname[kCallbackName];
        callback_name(path, cbname);
        const int32_t answer =
            cb_ && cb_->replace ? cb_->replace(cbname) : static_cast<int32_t>(UZ_REPLACE_NO);
        if (answer == UZ_REPLACE_STOP) {
            warn("stopped: ", path, "extraction cancelled");
            note(UZ_ABORTED);
            return Opened::Stopped;
        }
        if (answer != UZ_REPLACE_YES) {
            info("  skipped: ", path);
            return Opened::Skipped;
        }
        replace = true;
        c = sink_->create(path, mode, true, file);
    }
    if (c != Sink::Create::Created) {
        const std::string err = sink_->last_error();
        warn("error: ", path, err.empty() ? "cannot create file" : err.c_str());
        note(UZ_DISK);
        return Opened::Skipped;
    }
    return Opened::Yes;
}

void Run::report(const Entry &en, const std::string &path, const Decoded &d) {
    switch (d.outcome) {
    case Outcome::Ok:
        info(en.method == 0 ? " extracting: " : "  inflating: ", path);
        ++processed_;
        total_size_ += en.usize;
        total_packed_ += en.csize;
        return;
    case Outcome::DataError:
        warn("error: ", en.name, d.why);
        note(UZ_BAD_ARCHIVE);
        return;
    case Outcome::WriteError:
    case Outcome::CloseError:
        warn("error: ", path, d.error.empty() ? d.why : d.error.c_str());
        note(UZ_DISK);
        return;
    }
}

bool Run::extract_file(const Entry &en, const std::string &path) {
    // The password dialogue and its retries need each outcome before the
    // next entry: such entries are written on this thread.
    if (en.encrypted()) return extract_encrypted(en, path);
    bool replace = false;
    Sink::File *file = nullptr;
    const Opened opened = open_target(en, path, replace, file);
    if (opened != Opened::Yes) return opened == Opened::Skipped;
    // This thread lends a hand with small entries whenever every worker is
    // busy, rather than wait for one.
    if (workers_.size() && (workers_.has_room() || en.usize > kInlineMax))
        hand_over(en, path, file);
    else
        report(en, path, own_.write_entry(en, nullptr, *sink_, file));
    return true;
}

bool Run::extract_encrypted(const Entry &en, const std::string &path) {
    char cbname[kCallbackName];
    callback_name(path, cbname);
    bool replace = false;
    size_t known_next = 0;
    int prompts = 0;
    for (;;) {
        ZipCrypto crypto("");
        std::string password;
        bool cancelled = false;
        if (!next_password(en, cbname, known_next, prompts, crypto, password, cancelled)) {
            if (en.csize < 12 || !own_.view(en.data_offset, 12)) {
                warn("error: ", en.name, "encrypted entry cut short");
                note(UZ_BAD_ARCHIVE);
            } else {
                warn("skipped: ", en.name, cancelled ? "encrypted, no password given"
                                                     : "incorrect password");
                note(UZ_BAD_PASSWORD);
            }
            return true;
        }
        Sink::File *file = nullptr;
        const Opened opened = open_target(en, path, replace, file);
        if (opened != Opened::Yes) return opened == Opened::Skipped;
        const Decoded d = own_.write_entry(en, &crypto, *sink_, file);
        if (d.outcome != Outcome::DataError) {
            if (d.outcome == Outcome::Ok &&
                std::find(passwords_.begin(), passwords_.end(), password) == passwords_.end())
                passwords_.push_back(password);
            report(en, path, d);
            return true;
        }
        // With this cipher a wrong password passes the check byte once in 256
        // tries; its garbage then fails here. Forget it and try another.
        passwords_.erase(std::remove(passwords_.begin(), passwords_.end(), password),
                         passwords_.end());
        warn("warning: ", en.name, d.why);
    }
}

bool Run::extract_entry(const Entry &en) {
    if (en.problem) {
        warn("error: ", en.name, en.problem);
        note(UZ_BAD_ARCHIVE);
        return true;
    }
    CleanName cn = clean_entry_name(en.name, s_.rules);
    if (cn.root) return true; // some writers list the top folder as "./"
    if (!cn.ok) {
        warn("skipped: ", en.name, cn.why);
        note(UZ_WARNING);
        return true;
    }
    if (cn.path.size() > kPathMax) {
        warn("skipped: ", en.name, "name too long");
        note(UZ_WARNING);
        return true;
    }
    if (cn.stripped) {
        warn("warning: ", en.name, "leading separators removed");
        note(UZ_WARNING);
    }
    const bool folder = cn.folder || en.is_folder();
    if (!s_.keep_folders) {
        if (folder) return true;
        const size_t slash = cn.path.rfind('/');
        if (slash != std::string::npos) cn.path.erase(0, slash + 1);
    }
    if (en.is_symlink()) {
        warn("skipped: ", en.name, "symbolic links are not extracted");
        note(UZ_WARNING);
        return true;
    }
    if (!folder && en.method != 0 && en.method != 8) {
        warn("skipped: ", en.name,
             ("unsupported compression method " + std::to_string(en.method)).c_str());
        note(UZ_UNSUPPORTED);
        return true;
    }
    if (!folder && en.encrypted() && (en.flags & 0x40)) {
        warn("skipped: ", en.name, "unsupported encryption");
        note(UZ_UNSUPPORTED);
        return true;
    }
    if (cb_ && cb_->service) {
        char cbname[kCallbackName];
        callback_name(cn.path, cbname);
        if (cb_->service(cbname, static_cast<int32_t>(en.usize)) != 0) {
            warn("stopped: ", cn.path, "extraction cancelled");
            note(UZ_ABORTED);
            return false;
        }
    }
    if (folder) {
        if (!make_folders(cn.path)) {
            warn("error: ", cn.path, "cannot create folder");
            note(UZ_DISK);
            return true;
        }
        info("   creating: ", cn.path + "/");
        folder_times_.emplace_back(cn.path, en.stamp);
        ++processed_;
        return true;
    }
    const size_t slash = cn.path.rfind('/');
    if (slash != std::string::npos && !make_folders(cn.path.substr(0, slash))) {
        warn("error: ", cn.path, "cannot create folder");
        note(UZ_DISK);
        return true;
    }
    return extract_file(en, cn.path);
}

unsigned Run::worker_count(const std::vector<const Entry *> &order) const {
    unsigned n = s_.threads ? s_.threads : std::thread::hardware_concurrency();
    n = std::min(n, kMaxThreads);
    size_t files = 0;
    for (const Entry *en : order)
        if (!en->problem && !en->encrypted() && !en->is_folder() && ++files >= n) break;
    return static_cast<unsigned>(std::min<size_t>(n, files));
}

// Without all its threads, or the memory for their buffers, the run goes on
// alone, as on one processor.
void Run::start_workers(unsigned n) {
    if (n < 2) return;
    try {
        for (unsigned i = 0; i < n; ++i) decoders_.push_back(std::make_unique<Decoder>(src_));
    } catch (const std::bad_alloc &) {
        decoders_.clear();
        return;
    }
    const auto work = [this](unsigned worker, Job &job) {
        job.result = decoders_[worker]->write_entry(*job.en, nullptr, *sink_, job.file);
    };
    if (!workers_.start(n, work, s_.start_thread)) decoders_.clear();
}

void Run::hand_over(const Entry &en, const std::string &path, Sink::File *file) {
    try {
        workers_.wait_for_room();
        flush();
        if (pending_.empty() || pending_.back().has_job) pending_.emplace_back();
        Slot &slot = pending_.back();
        slot.job.path = path;
        slot.job.en = &en;
        slot.job.file = file;
        slot.has_job = true;
        workers_.submit(slot.job);
    } catch (...) {
        // Not handed over: nobody else will close it.
        sink_->discard(file);
        throw;
    }
}

// Reports every entry whose turn has come: from the oldest, each one whose
// job is done, with the messages queued behind it.
void Run::flush() {
    while (!pending_.empty()) {
        Slot &slot = pending_.front();
        if (slot.has_job && !workers_.done(slot.job)) return;
        if (slot.has_job && slot.job.failure) std::rethrow_exception(slot.job.failure);
        reporting_ = true;
        for (const std::string &text : slot.texts) print(text);
        if (slot.has_job) report(*slot.job.en, slot.job.path, slot.job.result);
        reporting_ = false;
        pending_.pop_front();
    }
}

// Waits for every entry in flight and reports them all.
void Run::settle() {
    if (workers_.size()) workers_.wait_for_all();
    flush();
}

int32_t Run::go() {
    ReadResult rr = read_central_directory(src_, ar_);
    if (rr.status != ArchiveStatus::Ok) {
        const int32_t code = rr.status == ArchiveStatus::NotZip      ? UZ_NOT_ZIP
                             : rr.status == ArchiveStatus::Unsupported ? UZ_UNSUPPORTED
                                                                      : UZ_BAD_ARCHIVE;
        if (s_.message_level <= 1) print(std::string("error: ") + rr.message + "\n");
        return code;
    }
    // Without ZIP64 the count field holds only the low 16 bits, and writers
    // let it wrap for larger archives.
    const uint64_t held = ar_.zip64 ? ar_.entries.size() : ar_.entries.size() & 0xFFFF;
    if (held != ar_.declared_count) {
        if (s_.message_level <= 1)
            print("warning: the archive declares " + std::to_string(ar_.declared_count) +
                  " entries but holds " + std::to_string(ar_.entries.size()) + "\n");
        note(UZ_WARNING);
    }
    if (ar_.entries.empty()) {
        if (s_.message_level <= 1) print("warning: the archive holds no entries\n");
        note(UZ_WARNING);
    }
    if (s_.list_only || !sink_) {
        list();
        return result_;
    }
    rr = check_local_headers(src_, ar_);
    if (rr.status != ArchiveStatus::Ok) {
        if (s_.message_level <= 1) print(std::string("error: ") + rr.message + "\n");
        return UZ_BAD_ARCHIVE;
    }

    // Archive order keeps the reads sequential.
    std::vector<const Entry *> order;
    order.reserve(ar_.entries.size());
    for (const Entry &en : ar_.entries)
        if (selected(en)) order.push_back(&en);
    std::stable_sort(order.begin(), order.end(), [](const Entry *a, const Entry *b) {
        return a->header_offset < b->header_offset;
    });
    start_workers(worker_count(order));
    for (const Entry *en : order) {
        flush();
        if (!extract_entry(*en)) {
            settle();
            return UZ_ABORTED;
        }
    }
    settle();
    workers_.stop();

    // Folders last, deepest first: writing into a folder moves its time.
    std::stable_sort(folder_times_.begin(), folder_times_.end(), [](const auto &a, const auto &b) {
        return std::count(a.first.begin(), a.first.end(), '/') >
               std::count(b.first.begin(), b.first.end(), '/');
    });
    for (const auto &[path, stamp] : folder_times_) sink_->set_folder_time(path, stamp);
    return result_;
}

} // namespace

int32_t run_extraction(Source &src, Sink *sink, const Settings &settings,
                       const UzCallbacks *callbacks, TextConverter to_callback_text) {
    Run run(src, sink, settings, callbacks, to_callback_text);
    const int32_t result = run.go();
    if (settings.statistics) run.fill(*settings.statistics);
    return result;
}

} // namespace uz
