// The worker threads' side of a run: which entries they write ahead of
// their turn, and how the calling thread takes each over at its turn.
#include <thread>

#include "run.h"

namespace uz {

Run::~Run() {
    quit_ = true;
    workers_.stop();
    ahead_.clear(); // and with the jobs, what they wrote ahead
}

// Where a worker may write the entry: a plain file entry with data and no
// password, under a name the rules let through. Empty for any other entry,
// which this thread handles at its turn (with the messages that go with it).
std::string Run::file_target(const Entry &en) const {
    if (en.problem || en.encrypted() || en.is_folder() || en.is_symlink() ||
        (en.method != 0 && en.method != 8) || en.csize == 0)
        return {};
    CleanName cn = clean_entry_name(en.name, s_.rules);
    if (cn.root || !cn.ok || cn.folder || cn.path.size() > kPathMax) return {};
    if (!s_.keep_folders) {
        const size_t slash = cn.path.rfind('/');
        if (slash != std::string::npos) cn.path.erase(0, slash + 1);
    }
    return std::move(cn.path);
}

unsigned Run::worker_count() const {
    unsigned n = s_.threads ? s_.threads : std::thread::hardware_concurrency();
    n = std::min(n, kMaxThreads);
    // The first entry is this thread's own.
    size_t files = 0;
    for (size_t i = 1; i < order_.size() && files < n; ++i)
        if (!file_target(*order_[i]).empty()) ++files;
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
        if (quit_.load(std::memory_order_relaxed)) return;
        if (job.held) {
            job.result = decoders_[worker]->decode_into(*job.en, job.data);
            return;
        }
        Sink::File *f = nullptr;
        if (sink_->stage(job.path, job.folder, job.mode, f) != Sink::Create::Created) return;
        job.result = decoders_[worker]->write_entry(*job.en, nullptr, *sink_, f, &quit_);
        if (job.result.outcome == Outcome::Ok) job.file = SinkFile(*sink_, f);
    };
    if (!workers_.start(n, work, s_.start_thread)) decoders_.clear();
}

// Whether folder is there now: made by this thread, or there before the
// run. Such a folder and each one on its way must be a plain folder (a link
// would lead out of the extraction folder), as make_folder checks at their
// turn.
bool Run::folder_on_disk(const std::string &folder) {
    const auto seen = [&](const std::string &f) { return folders_.count(f) || on_disk_.count(f); };
    if (folder.empty() || seen(folder)) return true;
    for (size_t cut = folder.find('/', past_known(folder, seen));; cut = folder.find('/', cut + 1)) {
        std::string prefix = folder.substr(0, cut);
        if (!sink_->has_folder(prefix)) return false;
        on_disk_.insert(std::move(prefix));
        if (cut == std::string::npos) return true;
    }
}

// Keeps the workers busy with the entries after this thread's, in turn. An
// entry written to a file ahead must have a free name (no file there
// before, no earlier entry of the name); a taken one is left to this
// thread, which asks first. Its file is made only in its own folder: one
// that is not there yet waits until this thread makes it at its turn.
void Run::look_ahead() {
    if (!workers_.size() || alone_) return;
    while (!ahead_.empty() && ahead_.front().turn < turn_ &&
           (ahead_.front().waiting || workers_.done(ahead_.front())))
        let_go_first();
    if (waiting_ > 0) {
        for (Job &job : ahead_) {
            if (!job.waiting || job.turn <= turn_ || !folders_.count(job.folder)) continue;
            job.waiting = false;
            --waiting_;
            workers_.submit(job);
        }
    }
    const size_t window = kAheadPerWorker * workers_.size();
    while (next_ahead_ < order_.size() && ahead_.size() < window) {
        const size_t turn = next_ahead_++;
        const Entry &en = *order_[turn];
        std::string path = file_target(en);
        if (path.empty()) continue;
        const bool held = en.usize <= kHeldMax;
        std::string key = path;
        // Windows names differ in letter case only when they differ outside ASCII.
        if (s_.rules == NameRules::Windows)
            for (char &c : key)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (!targets_.insert(std::move(key)).second || turn <= turn_ || (!held && sink_->occupied(path)))
            continue;
        Job &job = ahead_.emplace_back();
        job.turn = turn;
        job.en = &en;
        job.held = held;
        const size_t slash = path.rfind('/');
        if (!held && slash != std::string::npos) job.folder = path.substr(0, slash);
        job.path = std::move(path);
        job.mode = file_mode(en);
        if (!held && !folder_on_disk(job.folder)) {
            job.waiting = true;
            ++waiting_;
            continue;
        }
        workers_.submit(job);
    }
}

// What a worker made of the entry of this turn. Nothing when no worker took
// it (this thread then writes it itself, as it does when no worker has
// begun it yet). Jobs of earlier turns that were never placed (skipped, a
// folder that could not be made) are let go.
Staged Run::staged(size_t turn) {
    Staged out;
    while (!ahead_.empty() && ahead_.front().turn <= turn) {
        Job &job = ahead_.front();
        const bool mine = job.turn == turn;
        if (reclaim(job) && mine && !job.failure) {
            out.have = true;
            out.held = job.held;
            out.data = std::move(job.data);
            out.file = std::move(job.file);
            out.result = job.result;
        }
        let_go_first();
        if (mine) break;
    }
    return out;
}

// Makes a job this thread's again: true when a worker had begun it (it is
// done by now), false when none had.
bool Run::reclaim(Job &job) {
    if (job.waiting || workers_.take_back(job)) return false;
    workers_.wait_until_done(job);
    return true;
}

// Takes back every job handed out, has the workers give up the entries they
// are writing, removes what was written ahead, and hands out no more.
void Run::drop_ahead() {
    alone_ = true;
    quit_ = true;
    while (!ahead_.empty()) {
        reclaim(ahead_.front());
        let_go_first();
    }
}

// Whether to try again what failed on this thread: the first time only, and
// only for want of space, which the files written ahead may hold. Any other
// failure is the entry's own: what was written ahead stays, and so do the
// workers.
bool Run::retry_alone(bool full) {
    if (!full || alone_ || ahead_.empty()) return false;
    drop_ahead();
    return true;
}

// What a worker wrote for the first job, if anything, goes with it.
void Run::let_go_first() {
    if (ahead_.front().waiting) --waiting_;
    ahead_.pop_front();
}

} // namespace uz
