#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace flowkeep {

// The main actor: the one thread on which the store, the reducer, the views and every
// forwarding step run. The program uses the Qt event loop (QtMainExecutor); tests use a
// virtual clock (VirtualClockExecutor) so that nothing waits for real time.
//
// The executor must outlive every store, stream forwarding and collector that uses it: the
// program makes it first and destroys it last.
class MainExecutor {
public:
    using Job = std::function<void()>;
    using TimerId = std::uint64_t;

    virtual ~MainExecutor() = default;

    // Runs the job later on the main thread, as a step of its own. Safe from any thread.
    virtual void post(Job job) = 0;

    // Runs the job on the main thread once the delay has passed. Safe from any thread.
    virtual TimerId postAfter(std::chrono::milliseconds delay, Job job) = 0;

    // Drops a delayed job that has not run yet; a no-op for one that ran or is unknown.
    virtual void cancel(TimerId timer) = 0;

    virtual bool isMainThread() const = 0;
};

} // namespace flowkeep
