#include "flowkeep/TaskPool.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <typeinfo>

namespace flowkeep {

struct TaskPool::Queue {
    std::mutex mutex;
    std::condition_variable available;
    std::deque<Task> tasks;
    std::size_t idleWorkers = 0;
    std::size_t workersStarted = 0;
    std::size_t maxIdleWorkers;
    std::chrono::milliseconds idleTimeout;
    bool stopping = false;

    Queue(std::size_t maxIdle, std::chrono::milliseconds timeout)
        : maxIdleWorkers(maxIdle), idleTimeout(timeout) {}
};

namespace {

void runGuarded(TaskPool::Task& task) {
    try {
        task();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "flowkeep: a task ended with an uncaught %s\n", typeid(error).name());
    } catch (...) {
        std::fprintf(stderr, "flowkeep: a task ended with an uncaught exception\n");
    }
}

} // namespace

TaskPool::TaskPool(std::size_t maxIdleWorkers, std::chrono::milliseconds idleTimeout)
    : queue_(std::make_shared<Queue>(maxIdleWorkers, idleTimeout)) {}

TaskPool::~TaskPool() {
    {
        std::lock_guard lock(queue_->mutex);
        queue_->stopping = true;
    }
    queue_->available.notify_all();
}

TaskPool& TaskPool::shared() {
    static TaskPool pool;
    return pool;
}

void TaskPool::spawn(Task task) {
    bool startWorker = false;
    {
        std::lock_guard lock(queue_->mutex);
        queue_->tasks.push_back(std::move(task));
        // Every queued task needs a free worker of its own, or one is started for it.
        if (queue_->tasks.size() > queue_->idleWorkers) {
            startWorker = true;
            ++queue_->workersStarted;
        }
    }
    if (startWorker) {
        std::thread([queue = queue_] { workerLoop(queue); }).detach();
    } else {
        queue_->available.notify_one();
    }
}

std::size_t TaskPool::workersStarted() const {
    std::lock_guard lock(queue_->mutex);
    return queue_->workersStarted;
}

void TaskPool::workerLoop(const std::shared_ptr<Queue>& queue) {
    std::unique_lock lock(queue->mutex);
    for (;;) {
        while (!queue->tasks.empty()) {
            auto task = std::move(queue->tasks.front());
            queue->tasks.pop_front();
            lock.unlock();
            runGuarded(task);
            task = nullptr; // release captures before taking the lock again
            lock.lock();
        }
        if (queue->stopping || queue->idleWorkers >= queue->maxIdleWorkers) {
            return;
        }
        ++queue->idleWorkers;
        const bool woke = queue->available.wait_for(lock, queue->idleTimeout, [&] {
            return !queue->tasks.empty() || queue->stopping;
        });
        --queue->idleWorkers;
        if (!woke && queue->tasks.empty()) {
            return;
        }
    }
}

} // namespace flowkeep
