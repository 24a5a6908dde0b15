#pragma once

#include "flowkeep/MainExecutor.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace flowkeep {

// A main executor for tests. The thread that creates it is its main thread; jobs run only
// when that thread calls runUntilIdle, advance or runUntil. Time moves only through advance.
class VirtualClockExecutor final : public MainExecutor {
public:
    VirtualClockExecutor();
    ~VirtualClockExecutor() override;

    VirtualClockExecutor(const VirtualClockExecutor&) = delete;
    VirtualClockExecutor& operator=(const VirtualClockExecutor&) = delete;

    void post(Job job) override;
    TimerId postAfter(std::chrono::milliseconds delay, Job job) override;
    void cancel(TimerId timer) override;
    bool isMainThread() const override;

    std::chrono::milliseconds now() const;

    // Runs every job that is due now, including those that the jobs post. Answers how many ran.
    std::size_t runUntilIdle();

    // Moves the clock forward by the delay, running each timer at its own due time, in order.
    void advance(std::chrono::milliseconds delay);

    // Runs due jobs, and waits for jobs posted from other threads, until the condition holds.
    // The real-time limit only guards a test against hanging; it is not a timing assertion.
    // Answers whether the condition held.
    bool runUntil(const std::function<bool()>& condition,
                  std::chrono::milliseconds realTimeLimit = std::chrono::seconds(20));

private:
    struct Timer {
        std::chrono::milliseconds due;
        Job job;
    };

    bool runOneReadyJob();

    std::thread::id mainThread_;
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Job> ready_;
    // Keyed by (due time, id) so that timers with one due time run in the order they were set.
    std::map<std::pair<std::chrono::milliseconds, TimerId>, Job> timers_;
    std::chrono::milliseconds now_{0};
    TimerId nextTimer_ = 1;
};

} // namespace flowkeep
