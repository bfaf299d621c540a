// A fixed set of worker threads owned by the thread that called the library.
// The owner hands out jobs, which the workers take in the order given, and
// collects them; the owner bounds how many are out. Every thread is joined
// before the owner's call returns, on every path.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace uz {

// Starts a thread running body; throws (as std::thread does) when it cannot.
using ThreadStart = std::thread (*)(std::function<void()> body);

// What the pool needs of a job.
struct WorkItem {
    std::atomic<bool> done{false}; // set once the work and failure are final
    std::exception_ptr failure;    // the work threw: the owner drops it and does the entry itself
};

template <class Job> class Workers {
public:
    using Work = std::function<void(unsigned worker, Job &job)>;

    Workers() = default;
    Workers(const Workers &) = delete;
    Workers &operator=(const Workers &) = delete;
    ~Workers() { stop(); }

    // Starts n threads running work. When one cannot be started, those
    // already running are stopped and false comes back: the owner works alone.
    bool start(unsigned n, Work work, ThreadStart how) {
        work_ = std::move(work);
        try {
            // Room first: a push_back that threw with a thread running
            // would end the program.
            threads_.reserve(n);
            for (unsigned i = 0; i < n; ++i) {
                auto body = [this, i] { loop(i); };
                threads_.push_back(how ? how(body) : std::thread(body));
            }
        } catch (...) {
            stop();
            return false;
        }
        return true;
    }

    unsigned size() const { return static_cast<unsigned>(threads_.size()); }

    // Hands job over; it stays where it is until done.
    void submit(Job &job) {
        {
            const std::lock_guard<std::mutex> lock(m_);
            queue_.push_back(&job);
            queued_.store(queue_.size(), std::memory_order_release);
        }
        ready_.notify_one();
    }

    static bool done(const Job &job) { return job.done.load(std::memory_order_acquire); }

    // Takes back a job handed out that no worker has begun: true when it
    // was still waiting, and is now the owner's again.
    bool take_back(Job &job) {
        if (done(job) || queued_.load(std::memory_order_acquire) == 0) return false;
        const std::lock_guard<std::mutex> lock(m_);
        const auto it = std::find(queue_.begin(), queue_.end(), &job);
        if (it == queue_.end()) return false;
        queue_.erase(it);
        queued_.store(queue_.size(), std::memory_order_release);
        return true;
    }

    // Blocks until job, handed out before, is done.
    void wait_until_done(const Job &job) {
        wait(finished_, [&] { return done(job); });
    }

    // Lets the workers finish every job handed out, then joins them.
    void stop() {
        {
            const std::lock_guard<std::mutex> lock(m_);
            stopping_.store(true, std::memory_order_release);
        }
        ready_.notify_all();
        for (std::thread &t : threads_)
            if (t.joinable()) t.join();
        threads_.clear();
    }

private:
    // Entries can be small enough that putting a thread to sleep and waking
    // it costs more than the entry itself: look again for a while first.
    template <class Ready> void wait(std::condition_variable &cv, Ready ready) {
        for (int i = 0; i < 4000; ++i) {
            if (ready()) return;
#if defined(__i386__) || defined(__x86_64__)
            __builtin_ia32_pause();
#endif
            if (i % 64 == 63) std::this_thread::yield();
        }
        std::unique_lock<std::mutex> lock(m_);
        cv.wait(lock, ready);
    }

    void loop(unsigned index) {
        for (;;) {
            wait(ready_, [&] {
                return queued_.load(std::memory_order_acquire) > 0 ||
                       stopping_.load(std::memory_order_acquire);
            });
            Job *job = nullptr;
            {
                const std::lock_guard<std::mutex> lock(m_);
                if (queue_.empty()) {
                    if (stopping_.load(std::memory_order_relaxed)) return;
                    continue; // another worker took it
                }
                job = queue_.front();
                queue_.pop_front();
                queued_.store(queue_.size(), std::memory_order_release);
            }
            try {
                work_(index, *job);
            } catch (...) {
                job->failure = std::current_exception();
            }
            {
                // Under the lock, so that an owner about to sleep sees it.
                const std::lock_guard<std::mutex> lock(m_);
                job->done.store(true, std::memory_order_release);
            }
            finished_.notify_one();
        }
    }

    Work work_;
    std::vector<std::thread> threads_;
    std::mutex m_;
    std::condition_variable ready_, finished_;
    std::deque<Job *> queue_;
    std::atomic<size_t> queued_{0}; // queue_.size(), readable without the lock
    std::atomic<bool> stopping_{false};
};

} // namespace uz
