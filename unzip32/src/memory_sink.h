// A sink that keeps everything in memory, with a cap on what it will hold.
// Used where touching the disk would be wrong or slow (fuzzing, tests).
// Safe for the worker threads: one lock around everything.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sink.h"

namespace uz {

class MemorySink final : public Sink {
public:
    struct Stored {
        std::vector<uint8_t> data;
        Stamp stamp;
        uint64_t filetime = 0; // the stamp as the Windows layer sets it (Unix times only)
        uint32_t mode = 0;
    };

    explicit MemorySink(size_t cap_bytes) : cap_(cap_bytes) {}

    // place() runs out of memory before it takes the file (tests).
    bool place_fails = false;

    bool make_folder(const std::string &rel) override {
        const std::lock_guard<std::mutex> lock(m_);
        full_ = false;
        if (files_.count(rel) || !charge_name(rel)) return false;
        folders_.insert(rel);
        return true;
    }

    bool has_folder(const std::string &rel) override {
        const std::lock_guard<std::mutex> lock(m_);
        return folders_.count(rel) > 0;
    }

    Create create(const std::string &rel, uint32_t mode, bool replace, File *&out) override {
        const std::lock_guard<std::mutex> lock(m_);
        full_ = false;
        if (folders_.count(rel)) return Create::Failed;
        // A replaced file stays as it was until the new one is complete (close).
        if ((files_.count(rel) || open_.count(rel)) && !replace) return Create::Exists;
        if (open_.count(rel) || !charge_name(rel)) return Create::Failed;
        auto f = std::make_unique<Open>();
        f->path = rel;
        f->charged = rel.size();
        f->stored.mode = mode;
        out = reinterpret_cast<File *>(f.get());
        open_[rel] = std::move(f);
        return Create::Created;
    }

    // A staged file's name is charged when it is placed, as create charges it.
    Create stage(const std::string &rel, const std::string &folder, uint32_t mode, File *&out) override {
        const std::lock_guard<std::mutex> lock(m_);
        staged_in_.emplace_back(rel, folder);
        auto f = std::make_unique<Open>();
        f->path = rel;
        f->staged = true;
        f->stored.mode = mode;
        out = reinterpret_cast<File *>(f.get());
        staged_[f.get()] = std::move(f);
        return Create::Created;
    }

    // Answers as create() would for the name, then moves the file there.
    Create place(File *f, bool replace) override {
        const std::lock_guard<std::mutex> lock(m_);
        Open *o = as_open(f);
        const std::string &rel = o->path;
        full_ = false;
        if ((files_.count(rel) || open_.count(rel)) && !replace && !folders_.count(rel))
            return Create::Exists;
        if (folders_.count(rel) || open_.count(rel) || !charge_name(rel)) {
            drop(o);
            return Create::Failed;
        }
        if (place_fails) {
            used_ -= rel.size();
            throw std::bad_alloc(); // as the new name's node would, the file still the caller's
        }
        files_[rel] = std::move(o->stored);
        staged_.erase(o);
        return Create::Created;
    }

    bool occupied(const std::string &rel) override {
        const std::lock_guard<std::mutex> lock(m_);
        return files_.count(rel) || folders_.count(rel) || open_.count(rel);
    }

    bool write(File *f, const uint8_t *data, size_t n, Failure &why) override {
        const std::lock_guard<std::mutex> lock(m_);
        if (!charge(n)) {
            why = {"the memory cap is reached", true};
            return false;
        }
        Open *o = as_open(f);
        o->charged += n;
        o->stored.data.insert(o->stored.data.end(), data, data + n);
        return true;
    }

    bool close(File *f, const Stamp &st, Failure &) override {
        const std::lock_guard<std::mutex> lock(m_);
        Open *o = as_open(f);
        o->stored.stamp = st;
        if (st.unix_valid) o->stored.filetime = filetime_of(st);
        if (o->staged) return true;
        files_[o->path] = std::move(o->stored);
        open_.erase(o->path);
        return true;
    }

    // What a discarded file held is given back, as a removed file frees its space.
    void discard(File *f) override {
        const std::lock_guard<std::mutex> lock(m_);
        drop(as_open(f));
    }

    void set_folder_time(const std::string &rel, const Stamp &st) override {
        const std::lock_guard<std::mutex> lock(m_);
        folder_times_[rel] = st;
    }

    bool disk_full() const override {
        const std::lock_guard<std::mutex> lock(m_);
        return full_;
    }

    // What follows is read once the extraction has returned.

    const std::map<std::string, Stored> &files() const { return files_; }
    const std::set<std::string> &folders() const { return folders_; }
    const std::map<std::string, Stamp> &folder_times() const { return folder_times_; }
    size_t open_count() const { return open_.size() + staged_.size(); }
    // Every file staged, with the folder it was written in, in the order staged.
    const std::vector<std::pair<std::string, std::string>> &staged_in() const { return staged_in_; }
    size_t used() const { return used_; }

private:
    struct Open {
        std::string path;
        Stored stored;
        size_t charged = 0;
        bool staged = false;
    };
    static Open *as_open(File *f) { return reinterpret_cast<Open *>(f); }
    bool charge(size_t n) {
        if (n > cap_ - used_) return false;
        used_ += n;
        return true;
    }
    // For make_folder, create and place: the cap is what a full disk is here.
    bool charge_name(const std::string &rel) {
        full_ = !charge(rel.size());
        return !full_;
    }
    void drop(Open *o) {
        used_ -= o->charged;
        if (o->staged)
            staged_.erase(o);
        else
            open_.erase(o->path);
    }

    mutable std::mutex m_;
    size_t cap_;
    size_t used_ = 0;
    std::map<std::string, Stored> files_;
    std::map<std::string, std::unique_ptr<Open>> open_;
    std::map<Open *, std::unique_ptr<Open>> staged_;
    std::set<std::string> folders_;
    std::map<std::string, Stamp> folder_times_;
    std::vector<std::pair<std::string, std::string>> staged_in_;
    bool full_ = false; // the last failure of make_folder, create or place was the cap
};

} // namespace uz
