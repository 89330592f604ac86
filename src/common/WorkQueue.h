#pragma once
// The one way this program runs work on other threads: a queue of jobs taken in the order given
// by a fixed set of threads, each job's end (and any exception it threw) waited for through its
// ticket. With one thread the jobs run one after another in order, which makes a background
// stage (a file written while the next block is formatted, a table read while the rows before
// are inserted); with several, blocks of work run side by side. Where the system refuses threads
// (a low limit on processes or memory), a job runs on the submitting thread, so every user works
// the same with fewer threads or none. The queue owns its threads and the jobs not yet run; the
// caller owns what the jobs work on, and must keep it until the job's ticket is waited for or
// the queue is destroyed (which finishes the jobs already given).

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pontrel {

// No work is spread over more threads than this, however many processors there are.
inline constexpr unsigned kMaxWorkThreads = 16;

// The threads for work divided into `parts` independent parts: `wanted` (0 for one per processor),
// no more than there are parts and kMaxWorkThreads, at least 1.
unsigned workThreadsFor(unsigned wanted, std::size_t parts);

class WorkQueue {
    struct Job;

public:
    // The end of one job.
    class Ticket {
    public:
        Ticket() = default;
        bool valid() const { return job_ != nullptr; }

    private:
        friend class WorkQueue;
        explicit Ticket(std::shared_ptr<Job> job) : job_(std::move(job)) {}
        std::shared_ptr<Job> job_;
    };

    // Starts up to `threads` threads (fewer where the system refuses them).
    explicit WorkQueue(unsigned threads);
    // Runs the jobs already given to their end, then stops the threads.
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // The threads that run the jobs; 0: each job runs in submit().
    unsigned threads() const { return static_cast<unsigned>(threads_.size()); }
    Ticket submit(std::function<void()> work);
    // Waits for the job's end and throws what it threw. Each ticket is waited for once.
    void wait(Ticket& ticket);
    // The same, keeping quiet about a failure (another is already on its way).
    void waitQuietly(Ticket& ticket) noexcept;

private:
    struct Job {
        std::function<void()> work;
        std::exception_ptr failure;
        bool done = false;  // under mutex_
    };
    static void run(Job& job) noexcept;
    void serve();

    std::mutex mutex_;
    std::condition_variable work_;  // a job was given, or the queue stops
    std::condition_variable done_;  // a job ended
    std::deque<std::shared_ptr<Job>> waiting_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace pontrel
