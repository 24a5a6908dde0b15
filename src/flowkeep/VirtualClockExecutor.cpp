#include "flowkeep/VirtualClockExecutor.h"

namespace flowkeep {

VirtualClockExecutor::VirtualClockExecutor() : mainThread_(std::this_thread::get_id()) {}

VirtualClockExecutor::~VirtualClockExecutor() { endReferences(); }

void VirtualClockExecutor::post(Job job) {
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(job));
    }
    posted_.notify_all();
}

MainExecutor::TimerId VirtualClockExecutor::postAfter(std::chrono::milliseconds delay, Job job) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = nextTimer_++;
        timers_.emplace(std::pair{now_ + std::max(delay, std::chrono::milliseconds(0)), id}, std::move(job));
    }
    posted_.notify_all();
    return id;
}

void VirtualClockExecutor::cancel(TimerId timer) {
    std::lock_guard lock(mutex_);
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->first.second == timer) {
            timers_.erase(it);
            return;
        }
    }
}

bool VirtualClockExecutor::isMainThread() const { return std::this_thread::get_id() == mainThread_; }

std::chrono::milliseconds VirtualClockExecutor::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

bool VirtualClockExecutor::runOneReadyJob() {
    Job job;
    {
        std::lock_guard lock(mutex_);
        if (ready_.empty()) {
            // Timers already due count as ready.
            if (timers_.empty() || timers_.begin()->first.first > now_) {
                return false;
            }
            job = std::move(timers_.begin()->second);
            timers_.erase(timers_.begin());
        } else {
            job = std::move(ready_.front());
            ready_.pop_front();
        }
    }
    job();
    return true;
}

std::size_t VirtualClockExecutor::runUntilIdle() {
    std::size_t count = 0;
    while (runOneReadyJob()) {
        ++count;
    }
    return count;
}

void VirtualClockExecutor::advance(std::chrono::milliseconds delay) {
    std::chrono::milliseconds target;
    {
        std::lock_guard lock(mutex_);
        target = now_ + delay;
    }
    runUntilIdle();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (timers_.empty() || timers_.begin()->first.first > target) {
                now_ = target;
                break;
            }
            now_ = std::max(now_, timers_.begin()->first.first);
        }
        runUntilIdle();
    }
    runUntilIdle();
}

bool VirtualClockExecutor::runUntil(const std::function<bool()>& condition,
                                    std::chrono::milliseconds realTimeLimit) {
    const auto deadline = std::chrono::steady_clock::now() + realTimeLimit;
    for (;;) {
        runUntilIdle();
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // Wake on a post, or after a short slice so that a condition changed by another
        // thread without posting is seen as well.
        std::unique_lock lock(mutex_);
        posted_.wait_for(lock, std::chrono::milliseconds(2), [this] {
            return !ready_.empty() || (!timers_.empty() && timers_.begin()->first.first <= now_);
        });
    }
}

} // namespace flowkeep
