#include "extract.h"

#include <algorithm>
#include <atomic>
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
// Entries decoded ahead wait in memory for their turn: the largest one taken,
// and what all of them together may hold. Larger entries are decoded by the
// calling thread at their turn, while the workers go on with the next ones.
constexpr uint64_t kAheadMax = 8 << 20;
constexpr uint64_t kAheadBudget = 32 << 20;

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

// Completes f with what produce writes into it and answers: closed when all
// went well, else discarded.
template <class Produce>
Decoded complete_file(Sink &sink, Sink::File *f, const Stamp &stamp, Produce produce) {
    Decoded d;
    try {
        d = produce();
    } catch (...) {
        sink.discard(f);
        throw;
    }
    if (d.outcome != Outcome::Ok) {
        sink.discard(f);
    } else if (!sink.close(f, stamp, d.error)) {
        d.outcome = Outcome::CloseError;
        d.why = "cannot complete file";
    }
    return d;
}

// Everything decoding one entry needs for itself: a read window over the
// archive, an inflate stream and buffers. The calling thread has one, and so
// has each worker; the sizes are fixed, whatever the entry's size.
class Decoder {
public:
    explicit Decoder(Source &src) : data_(src, kReadChunk, kReadChunk) {}
    const uint8_t *view(uint64_t off, size_t n) { return data_.view(off, n); }
    // Streams the entry into f and closes it; on any failure f is discarded.
    Decoded write_entry(const Entry &en, ZipCrypto *crypto, Sink &sink, Sink::File *f) {
        return complete_file(sink, f, en.stamp, [&] {
            return decode(en, crypto, [&](const uint8_t *p, size_t n, std::string &why) {
                return sink.write(f, p, n, why);
            });
        });
    }
    // Decodes the entry into out: the bytes a file would get before the
    // outcome, which comes back.
    Decoded decode_into(const Entry &en, std::vector<uint8_t> &out) {
        out.reserve(static_cast<size_t>(en.usize));
        return decode(en, nullptr, [&](const uint8_t *p, size_t n, std::string &) {
            out.insert(out.end(), p, p + n);
            return true;
        });
    }

private:
    // put(bytes, n, why) takes each piece of the entry's data in turn; false
    // (with the reason in why) ends the entry as a write failure.
    template <class Put> Decoded decode(const Entry &en, ZipCrypto *crypto, Put put);

    Window data_;
    Inflater inflater_;
    std::vector<uint8_t> out_ = std::vector<uint8_t>(kOutChunk);
    std::vector<uint8_t> scratch_;
};

// An entry a worker decodes ahead of its turn. Nothing of it can be seen
// until the calling thread reaches it: that thread makes every callback and
// every change to the folder in the order one thread alone would, because
// the answer to a callback (and the text of a message) may depend on how the
// entries before it went.
struct Job : WorkItem {
    size_t turn = 0; // the entry's place in the extraction order
    const Entry *en = nullptr;
    std::vector<uint8_t> data;
    Decoded result;
};

enum class Opened { Yes, Skipped, Stopped };

class Run {
public:
    Run(Source &src, Sink *sink, const Settings &s, const UzCallbacks *cb, TextConverter conv)
        : src_(src), sink_(sink), s_(s), cb_(cb), conv_(conv), own_(src) {}
    // Whatever ended the run, the workers drop the entries they have not
    // begun before they are joined.
    ~Run() { quit_ = true; }

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
    // false: stop everything (the user aborted)
    bool extract_entry(const Entry &en);
    bool extract_file(const Entry &en, const std::string &path);
    bool extract_encrypted(const Entry &en, const std::string &path);
    Opened open_target(const Entry &en, const std::string &path, bool &replace, Sink::File *&file);
    bool next_password(const Entry &en, const char *cbname, size_t &known_next, int &prompts,
                       ZipCrypto &crypto, std::string &password, bool &cancelled);
    void report(const Entry &en, const std::string &path, const Decoded &d);

    // ---- workers
    unsigned worker_count() const;
    void start_workers(unsigned n);
    void look_ahead();
    Job *decoded_ahead(size_t turn);
    void let_go_first();
    Decoded write_decoded(Job &job, Sink::File *file);

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

    std::vector<const Entry *> order_; // the entries to extract, in turn
    size_t turn_ = 0;                  // the one this thread is at

    std::vector<std::unique_ptr<Decoder>> decoders_; // one per worker
    std::deque<Job> ahead_;   // handed out, in turn order
    size_t next_ahead_ = 0;   // the first turn not yet considered for a worker
    uint64_t ahead_bytes_ = 0; // the most ahead_'s entries can hold
    std::atomic<bool> quit_{false}; // the run is over: workers skip what is left
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

template <class Put> Decoded Decoder::decode(const Entry &en, ZipCrypto *crypto, Put put) {
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
            if (!put(p, chunk, why)) return {Outcome::WriteError, "write failed", why};
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
                if (!put(out_.data(), have, why))
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

Opened Run::open_target(const Entry &en, const std::string &path, bool &replace, Sink::File *&file) {
    const uint32_t mode = en.unix_mode() & 0111 ? 0777 : 0666;
    Sink::Create c = sink_->create(path, mode, replace, file);
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
    Job *job = decoded_ahead(turn_);
    report(en, path, job ? write_decoded(*job, file) : own_.write_entry(en, nullptr, *sink_, file));
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
        if (!ensure_folder(cn.path)) {
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
    if (slash != std::string::npos && !ensure_folder(cn.path.substr(0, slash))) {
        warn("error: ", cn.path, "cannot create folder");
        note(UZ_DISK);
        return true;
    }
    return extract_file(en, cn.path);
}

// What a worker can take: a file entry with data and no password. The rest
// is left to this thread, which would only wait for it.
bool goes_ahead(const Entry &en) {
    return !en.problem && !en.encrypted() && !en.is_folder() && !en.is_symlink() &&
           (en.method == 0 || en.method == 8) && en.usize <= kAheadMax &&
           en.csize > 0;
}

unsigned Run::worker_count() const {
    unsigned n = s_.threads ? s_.threads : std::thread::hardware_concurrency();
    n = std::min(n, kMaxThreads);
    // The first entry is this thread's own.
    size_t files = 0;
    for (size_t i = 1; i < order_.size() && files < n; ++i)
        if (goes_ahead(*order_[i])) ++files;
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
        if (!quit_.load(std::memory_order_relaxed))
            job.result = decoders_[worker]->decode_into(*job.en, job.data);
    };
    if (!workers_.start(n, work, s_.start_thread)) decoders_.clear();
}

// Keeps the workers busy with the entries after this thread's, in turn, as
// far as the memory for what they decode allows.
void Run::look_ahead() {
    if (!workers_.size()) return;
    while (!ahead_.empty() && ahead_.front().turn < turn_ && workers_.done(ahead_.front()))
        let_go_first();
    next_ahead_ = std::max(next_ahead_, turn_ + 1);
    while (next_ahead_ < order_.size() && workers_.has_room() &&
           ahead_.size() < 2 * workers_.size()) {
        const Entry &en = *order_[next_ahead_];
        if (goes_ahead(en)) {
            if (ahead_bytes_ + en.usize > kAheadBudget) return;
            Job &job = ahead_.emplace_back();
            job.turn = next_ahead_;
            job.en = &en;
            ahead_bytes_ += en.usize;
            workers_.submit(job);
        }
        ++next_ahead_;
    }
}

// The entry of this turn as a worker decoded it, or null when no worker did
// (or one failed to): this thread then decodes it itself, straight into its
// file, as it does when no worker has begun it yet. Entries of earlier turns
// that were never written (skipped, not replaced) are let go.
Job *Run::decoded_ahead(size_t turn) {
    while (!ahead_.empty() && ahead_.front().turn <= turn) {
        Job &job = ahead_.front();
        if (workers_.take_back(job)) {
            let_go_first();
            continue;
        }
        workers_.wait_until_done(job);
        if (job.turn == turn && !job.failure) return &job;
        let_go_first();
    }
    return nullptr;
}

void Run::let_go_first() {
    ahead_bytes_ -= ahead_.front().en->usize;
    ahead_.pop_front();
}

// Writes what the worker decoded, with the outcome writing it while decoding
// would have given; the job goes.
Decoded Run::write_decoded(Job &job, Sink::File *file) {
    const Decoded d = complete_file(*sink_, file, job.en->stamp, [&]() -> Decoded {
        std::string why;
        for (size_t at = 0; at < job.data.size(); at += kOutChunk) {
            const size_t n = std::min(kOutChunk, job.data.size() - at);
            if (!sink_->write(file, job.data.data() + at, n, why))
                return {Outcome::WriteError, "write failed", why};
        }
        return job.result;
    });
    let_go_first();
    return d;
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
    order_.reserve(ar_.entries.size());
    for (const Entry &en : ar_.entries)
        if (selected(en)) order_.push_back(&en);
    std::stable_sort(order_.begin(), order_.end(), [](const Entry *a, const Entry *b) {
        return a->header_offset < b->header_offset;
    });
    start_workers(worker_count());
    for (turn_ = 0; turn_ < order_.size(); ++turn_) {
        look_ahead();
        if (!extract_entry(*order_[turn_])) return UZ_ABORTED;
    }

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
