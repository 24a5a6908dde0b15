#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>

namespace flowkeep {

// The main actor: the one thread on which the store, the reducer, the views and every
// forwarding step run. The program uses the Qt event loop (QtMainExecutor); tests use a
// virtual clock (VirtualClockExecutor) so that nothing waits for real time.
//
// The executor must outlive every store that uses it: the program makes it first and destroys
// it last. Work that may outlive it (a middleware's task on the pool, a collector it owns, a
// stream the store no longer forwards) reaches it only through a Reference, which turns every
// call into a no-op once the executor is gone.
class MainExecutor {
    struct Lifeline;

public:
    using Job = std::function<void()>;
    using TimerId = std::uint64_t;

    // A weak handle on the executor, safe from any thread. A call that races with the
    // executor's destruction either completes before the destruction goes on or finds the
    // executor gone and drops the job.
    class Reference {
    public:
        // False when the executor is gone; the job is then destroyed unrun, on this thread.
        bool post(Job job) const;
        // None when the executor is gone.
        std::optional<TimerId> postAfter(std::chrono::milliseconds delay, Job job) const;
        void cancel(TimerId timer) const;

    private:
        friend class MainExecutor;
        explicit Reference(std::shared_ptr<Lifeline> lifeline) : lifeline_(std::move(lifeline)) {}
        std::shared_ptr<Lifeline> lifeline_;
    };

    MainExecutor();
    virtual ~MainExecutor();

    MainExecutor(const MainExecutor&) = delete;
    MainExecutor& operator=(const MainExecutor&) = delete;

    // Runs the job later on the main thread, as a step of its own. Safe from any thread.
    virtual void post(Job job) = 0;

    // Runs the job on the main thread once the delay has passed. Safe from any thread.
    virtual TimerId postAfter(std::chrono::milliseconds delay, Job job) = 0;

    // Drops a delayed job that has not run yet; a no-op for one that ran or is unknown. Safe
    // from any thread.
    virtual void cancel(TimerId timer) = 0;

    virtual bool isMainThread() const = 0;

    Reference reference() const { return Reference(lifeline_); }

protected:
    // Every concrete executor calls this first in its destructor, while its own members still
    // exist: it waits for calls through references that are under way and refuses later ones.
    void endReferences();

private:
    struct Lifeline {
        std::shared_mutex mutex;
        MainExecutor* executor = nullptr;
    };
    std::shared_ptr<Lifeline> lifeline_;
};

} // namespace flowkeep
