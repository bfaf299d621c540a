// Where extracted entries go: the file system (one implementation per
// platform) or memory (fuzzing, tests). Paths are relative, '/'-separated,
// UTF-8 and already cleaned by clean_entry_name.
//
// Threads: make_folder, has_folder, create, place, occupied,
// set_folder_time, last_error and disk_full come from the thread that called
// the library, in the order of the entries. stage, write, close and discard
// may also come from worker threads, at the same time for different files;
// each file is used by one thread at a time. write and close report a
// failure through their own argument rather than through last_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive.h"

namespace uz {

class Sink {
public:
    struct File; // owned by the sink between create/stage and close, place or discard

    enum class Create { Created, Exists, Failed };

    // Why a write or a close failed. full: no space left (the disk, or the
    // user's quota), the one failure that files written ahead can cause.
    struct Failure {
        std::string text;
        bool full = false;
    };

    virtual ~Sink() = default;
    // Makes one folder (its parent exists). True when a folder is there afterwards.
    virtual bool make_folder(const std::string &rel) = 0;
    // True when a plain folder (no link, no junction) is at rel already,
    // whoever made it. Makes nothing.
    virtual bool has_folder(const std::string &rel) = 0;
    // replace=false fails with Exists when anything is at rel; replace=true
    // writes beside the existing file, which close() replaces only once the
    // new one is complete (discard() leaves the old one as it was).
    virtual Create create(const std::string &rel, uint32_t unix_mode, bool replace, File *&out) = 0;
    // A new file meant for rel, written under a temporary name in folder,
    // rel's own folder ("" for the top), which must be there already: the
    // file is made where it will stay, so that it gets that folder's access
    // rights from the start. Nothing is at rel until place(); close()
    // completes the file under its temporary name and keeps it for place()
    // or discard().
    virtual Create stage(const std::string &rel, const std::string &folder, uint32_t unix_mode,
                         File *&out) = 0;
    // Moves a staged file, closed, to its name. Exists: something is there
    // and replace is false; nothing changed and the file is still staged.
    // Created: done. Failed: the staged file is gone (the caller may write
    // the entry the ordinary way, which tells why). Only these two take the
    // file from the caller: after Exists, or an exception, it is still the
    // caller's to place or discard.
    virtual Create place(File *f, bool replace) = 0;
    // True when anything (a file, a folder, a link) is at rel.
    virtual bool occupied(const std::string &rel) = 0;
    // False, with the reason in why, when the data could not be written.
    virtual bool write(File *f, const uint8_t *data, size_t n, Failure &why) = 0;
    // Sets the time and closes; false (with the reason in why) when the file
    // could not be completed, which then leaves nothing behind.
    virtual bool close(File *f, const Stamp &st, Failure &why) = 0;
    // Closes (when still open) and removes a partial or staged file.
    virtual void discard(File *f) = 0;
    virtual void set_folder_time(const std::string &rel, const Stamp &st) = 0;
    // Text of the last failure of make_folder, create or place, for messages.
    virtual std::string last_error() const { return {}; }
    // Whether that failure was for want of space.
    virtual bool disk_full() const { return false; }
    // Temporary files that could not be removed, relative to the extraction
    // folder: the run reports them once every file is done with.
    virtual std::vector<std::string> leftovers() const { return {}; }
};

// Owns a file of a sink until it is handed on (release): on every other way
// out, an exception's included, the file is discarded, so that no partial
// or temporary file outlives its owner.
class SinkFile {
public:
    SinkFile() = default;
    SinkFile(Sink &sink, Sink::File *f) : sink_(&sink), f_(f) {}
    SinkFile(SinkFile &&o) noexcept : sink_(o.sink_), f_(o.release()) {}
    SinkFile &operator=(SinkFile &&o) noexcept {
        if (this != &o) {
            reset();
            sink_ = o.sink_;
            f_ = o.release();
        }
        return *this;
    }
    SinkFile(const SinkFile &) = delete;
    SinkFile &operator=(const SinkFile &) = delete;
    ~SinkFile() { reset(); }

    Sink::File *get() const { return f_; }
    explicit operator bool() const { return f_ != nullptr; }
    Sink::File *release() { return std::exchange(f_, nullptr); }
    void reset() {
        if (f_) sink_->discard(release());
    }

private:
    Sink *sink_ = nullptr;
    Sink::File *f_ = nullptr;
};

} // namespace uz
