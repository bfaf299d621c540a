#include "extract.h"

#include <optional>

#include "run.h"

namespace uz {

std::string identity_text(const std::string &utf8, size_t max_bytes) {
    if (utf8.size() <= max_bytes) return utf8;
    size_t cut = max_bytes;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return utf8.substr(0, cut);
}

namespace {

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

// Names inside messages are cut so that no message can grow without bound.
std::string shown(const std::string &name) {
    if (name.size() <= kCallbackName - 1) return name;
    size_t cut = kCallbackName - 1;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut) + "...";
}

} // namespace

void Run::fill(UzStatistics &st) const {
    st.total_size = static_cast<uint32_t>(total_size_);
    st.total_packed_size = static_cast<uint32_t>(total_packed_);
    st.entry_count = processed_;
    st.ratio_permille = total_size_ == 0 || total_packed_ >= total_size_
                            ? 0
                            : static_cast<uint32_t>(1000 - total_packed_ * 1000 / total_size_);
    st.reserved = 0;
}

void Run::note(int32_t code) {
    if (rank(code) > rank(result_)) result_ = code;
}

void Run::print(const std::string &utf8) {
    if (!cb_ || !cb_->print) return;
    const std::string text = conv_(utf8, kPrintMax);
    cb_->print(text.c_str(), static_cast<int32_t>(text.size()));
}

void Run::info(const char *what, const std::string &path) {
    if (s_.message_level <= 0) print(std::string(what) + shown(path) + "\n");
}

void Run::warn(const char *what, const std::string &name, const char *why) {
    if (s_.message_level <= 1) print(std::string(what) + shown(name) + ": " + why + "\n");
}

// A name as handed to a callback: converted, native separators, at most 255 bytes.
void Run::callback_name(const std::string &utf8, char (&buf)[kCallbackName]) const {
    std::string t = conv_(utf8, kCallbackName - 1);
    if (s_.rules == NameRules::Windows) std::replace(t.begin(), t.end(), '/', '\\');
    const size_t n = std::min(t.size(), kCallbackName - 1);
    std::memcpy(buf, t.data(), n);
    buf[n] = '\0';
}

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
    // From the deepest known ancestor downwards.
    const size_t known = past_known(path, [&](const std::string &f) { return folders_.count(f) > 0; });
    for (size_t cut = path.find('/', known);; cut = path.find('/', cut + 1)) {
        std::string prefix = path.substr(0, cut);
        if (!folders_.count(prefix)) {
            if (!sink_->make_folder(prefix) &&
                !(retry_alone(sink_->disk_full()) && sink_->make_folder(prefix)))
                return false;
            folders_.insert(prefix);
        }
        if (cut == std::string::npos) return true;
    }
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

Opened Run::ask_replace(const std::string &path) {
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
    return Opened::Yes;
}

Opened Run::open_target(const Entry &en, const std::string &path, bool &replace, Sink::File *&file) {
    const uint32_t mode = file_mode(en);
    const auto attempt = [&] {
        Sink::Create c = sink_->create(path, mode, replace, file);
        if (c == Sink::Create::Failed && retry_alone(sink_->disk_full()))
            c = sink_->create(path, mode, replace, file);
        return c;
    };
    Sink::Create c = attempt();
    if (c == Sink::Create::Exists) {
        const Opened answer = ask_replace(path);
        if (answer != Opened::Yes) return answer;
        replace = true;
        c = attempt();
    }
    if (c != Sink::Create::Created) {
        const std::string err = sink_->last_error();
        warn("error: ", path, err.empty() ? "cannot create file" : err.c_str());
        note(UZ_DISK);
        return Opened::Skipped;
    }
    return Opened::Yes;
}

// Writes the entry into file on this thread, as one thread alone would. A
// full disk may come from the files the workers have written ahead, which
// take space: then they are dropped and the entry is written once more.
Decoded Run::write_here(const Entry &en, const ZipCrypto *crypto, const std::string &path,
                        bool replace, Sink::File *file, const Staged *held) {
    const auto write = [&](Sink::File *f) {
        if (held) return write_decoded(*sink_, f, en.stamp, held->data, held->result);
        ZipCrypto keys = crypto ? *crypto : ZipCrypto("");
        return own_.write_entry(en, crypto ? &keys : nullptr, *sink_, f);
    };
    Decoded d = write(file);
    if ((d.outcome == Outcome::WriteError || d.outcome == Outcome::CloseError) && retry_alone(d.error.full) &&
        sink_->create(path, file_mode(en), replace, file) == Sink::Create::Created)
        d = write(file);
    return d;
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
        warn("error: ", path, d.error.text.empty() ? d.why : d.error.text.c_str());
        note(UZ_DISK);
        return;
    }
}

bool Run::extract_file(const Entry &en, const std::string &path) {
    // The password dialogue and its retries need each outcome before the
    // next entry: such entries are written on this thread.
    if (en.encrypted()) return extract_encrypted(en, path);
    bool replace = false;
    Staged st = staged(turn_);
    if (st.have && st.file) {
        if (const std::optional<bool> done = place_staged(en, path, st.file, replace)) return *done;
    } else if (st.have && !st.held && st.result.outcome == Outcome::DataError) {
        // Damaged wherever it goes: what is left to show is how its file
        // would have been opened, and the error.
        Sink::File *file = nullptr;
        const Opened opened = open_target(en, path, replace, file);
        if (opened != Opened::Yes) return opened == Opened::Skipped;
        sink_->discard(file);
        report(en, path, st.result);
        return true;
    }
    Sink::File *file = nullptr;
    const Opened opened = open_target(en, path, replace, file);
    if (opened != Opened::Yes) return opened == Opened::Skipped;
    report(en, path, write_here(en, nullptr, path, replace, file, st.have && st.held ? &st : nullptr));
    return true;
}

// Moves what a worker wrote to its name, asking first when something is
// there by now. Nothing when the move failed: the entry is then written
// again the ordinary way, which says why as one thread would. Whichever
// way this ends, an exception's included, no temporary file stays.
std::optional<bool> Run::place_staged(const Entry &en, const std::string &path, SinkFile &file,
                                      bool &replace) {
    // The sink takes the file over, unless something is at its name.
    const auto place = [&](bool over) {
        const Sink::Create c = sink_->place(file.get(), over);
        if (c != Sink::Create::Exists) file.release();
        return c;
    };
    Sink::Create c = place(false);
    if (c == Sink::Create::Exists) {
        const Opened answer = ask_replace(path);
        if (answer != Opened::Yes) {
            file.reset();
            return answer == Opened::Skipped;
        }
        replace = true;
        c = place(true);
    }
    if (c != Sink::Create::Created) return std::nullopt;
    report(en, path, {});
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
        const Decoded d = write_here(en, &crypto, path, replace, file);
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

int32_t Run::go() {
    std::vector<std::string> said;
    const int32_t read = read_directory(src_, ar_, said);
    if (s_.message_level <= 1)
        for (const std::string &text : said) print(text);
    if (read != UZ_OK && read != UZ_WARNING) return read;
    note(read);
    if (s_.list_only || !sink_) {
        list();
        return result_;
    }
    const ReadResult rr = check_local_headers(src_, ar_);
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
    drop_ahead(); // entries skipped at their turn: before the folder times

    // Folders last, deepest first: writing into a folder moves its time.
    std::stable_sort(folder_times_.begin(), folder_times_.end(), [](const auto &a, const auto &b) {
        return std::count(a.first.begin(), a.first.end(), '/') >
               std::count(b.first.begin(), b.first.end(), '/');
    });
    for (const auto &[path, stamp] : folder_times_) sink_->set_folder_time(path, stamp);
    return result_;
}

int32_t read_directory(Source &src, Archive &ar, std::vector<std::string> &said) {
    const ReadResult rr = read_central_directory(src, ar);
    if (rr.status != ArchiveStatus::Ok) {
        said.push_back(std::string("error: ") + rr.message + "\n");
        return rr.status == ArchiveStatus::NotZip        ? UZ_NOT_ZIP
               : rr.status == ArchiveStatus::Unsupported ? UZ_UNSUPPORTED
                                                         : UZ_BAD_ARCHIVE;
    }
    // Without ZIP64 the count field holds only the low 16 bits, and writers
    // let it wrap for larger archives.
    const uint64_t held = ar.zip64 ? ar.entries.size() : ar.entries.size() & 0xFFFF;
    if (held != ar.declared_count)
        said.push_back("warning: the archive declares " + std::to_string(ar.declared_count) +
                       " entries but holds " + std::to_string(ar.entries.size()) + "\n");
    if (ar.entries.empty()) said.push_back("warning: the archive holds no entries\n");
    return said.empty() ? UZ_OK : UZ_WARNING;
}

int32_t run_extraction(Source &src, Sink *sink, const Settings &settings,
                       const UzCallbacks *callbacks, TextConverter to_callback_text) {
    int32_t result = UZ_OK;
    {
        Run run(src, sink, settings, callbacks, to_callback_text);
        result = run.go();
        if (settings.statistics) run.fill(*settings.statistics);
    }
    // Every file of the run is done with now, the ones written ahead too.
    for (const std::string &path : sink ? sink->leftovers() : std::vector<std::string>{}) {
        if (settings.message_level <= 1 && callbacks && callbacks->print) {
            const std::string text =
                to_callback_text("warning: " + shown(path) + ": temporary file could not be removed\n", kPrintMax);
            callbacks->print(text.c_str(), static_cast<int32_t>(text.size()));
        }
        if (rank(UZ_WARNING) > rank(result)) result = UZ_WARNING;
    }
    return result;
}

int32_t list_entries(Source &src, UzPrintFn print, UzEntryFn entry, void *context, uint64_t &held) {
    Archive ar;
    std::vector<std::string> said;
    const int32_t read = read_directory(src, ar, said);
    for (const std::string &text : print ? said : std::vector<std::string>{}) {
        const std::string cut = identity_text(text, kPrintMax);
        print(cut.c_str(), static_cast<int32_t>(cut.size()));
    }
    if (read != UZ_OK && read != UZ_WARNING) return read;
    held = ar.entries.size();
    const char separator = kHostRules == NameRules::Windows ? '\\' : '/';
    for (const Entry &en : ar.entries) {
        // As extract_entry decides it, folders kept.
        const CleanName cn = clean_entry_name(en.name, kHostRules);
        std::string path = cn.root ? "." : cn.path;
        std::replace(path.begin(), path.end(), '/', separator);
        if (cn.ok && (cn.folder || en.is_folder())) path += separator;
        const bool refused = (!cn.ok && !cn.root) || cn.path.size() > kPathMax || (!cn.root && en.is_symlink());
        if (entry(context, refused ? nullptr : path.c_str(), en.name.c_str(), en.usize) != 0) return UZ_ABORTED;
    }
    return read;
}

} // namespace uz
