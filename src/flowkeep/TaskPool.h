#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace flowkeep {

// Runs middleware work off the main thread. The pool grows a thread whenever every worker
// is busy, so a task that waits for minutes (token monitoring, a dialog waiting for the
// user) never holds back another; idle workers are kept for a while and then let go.
//
// Workers are detached and keep the pool's queue alive themselves, so destroying the pool
// (or leaving the process) never waits for a task that is still running.
class TaskPool {
public:
    using Task = std::function<void()>;

    explicit TaskPool(std::size_t maxIdleWorkers = 4,
                      std::chrono::milliseconds idleTimeout = std::chrono::seconds(30));
    ~TaskPool();

    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    // The pool that middlewares use unless they are given another.
    static TaskPool& shared();

    // Starts the task on a worker. A task that throws is reported on stderr (the exception's
    // type only: texts may carry data of the user) and the worker goes on.
    void spawn(Task task);

    // Threads started so far, for tests that check that the pool grows.
    std::size_t workersStarted() const;

private:
    struct Queue;
    static void workerLoop(const std::shared_ptr<Queue>& queue);
    std::shared_ptr<Queue> queue_;
};

} // namespace flowkeep
