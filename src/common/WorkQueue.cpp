#include "common/WorkQueue.h"

#include <algorithm>
#include <system_error>

namespace pontrel {

unsigned workThreadsFor(unsigned wanted, std::size_t parts) {
    const unsigned chosen = wanted > 0 ? wanted : std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(
        std::max<std::size_t>(1, std::min<std::size_t>({chosen, kMaxWorkThreads, parts})));
}

WorkQueue::WorkQueue(unsigned threads) {
    threads = std::min(threads, kMaxWorkThreads);
    threads_.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) {
        try {
            threads_.emplace_back([this] { serve(); });
        } catch (const std::system_error&) {
            break;  // the ones there are do the work, or the submitting thread does
        }
    }
}

WorkQueue::~WorkQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void WorkQueue::run(Job& job) noexcept {
    try {
        job.work();
    } catch (...) {
        job.failure = std::current_exception();
    }
    job.work = nullptr;
}

WorkQueue::Ticket WorkQueue::submit(std::function<void()> work) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    if (threads_.empty()) {
        run(*job);
        job->done = true;
        return Ticket(std::move(job));
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.push_back(job);
    }
    work_.notify_one();
    return Ticket(std::move(job));
}

void WorkQueue::serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return !waiting_.empty() || stopping_; });
        if (waiting_.empty()) return;
        std::shared_ptr<Job> job = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        run(*job);
        lock.lock();
        job->done = true;
        done_.notify_all();
    }
}

void WorkQueue::waitQuietly(Ticket& ticket) noexcept {
    if (!ticket.job_) return;
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return ticket.job_->done; });
}

void WorkQueue::wait(Ticket& ticket) {
    if (!ticket.job_) return;
    waitQuietly(ticket);
    std::shared_ptr<Job> job = std::move(ticket.job_);
    if (job->failure) std::rethrow_exception(job->failure);
}

}  // namespace pontrel
