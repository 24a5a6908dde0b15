#include "flowkeep/SerialExecutor.h"

#include <cstdio>

namespace flowkeep {

SerialExecutor::SerialExecutor(std::string name)
    : name_(std::move(name)), queue_(std::make_shared<Queue>()), thread_([queue = queue_] { loop(queue); }) {}

SerialExecutor::~SerialExecutor() { stop(); }

bool SerialExecutor::post(std::function<void()> job) {
    {
        std::lock_guard lock(queue_->mutex);
        if (queue_->stopping) {
            return false;
        }
        queue_->jobs.push_back(std::move(job));
    }
    queue_->available.notify_one();
    return true;
}

bool SerialExecutor::isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

void SerialExecutor::stop() {
    {
        std::lock_guard lock(queue_->mutex);
        queue_->stopping = true;
    }
    queue_->available.notify_all();
    if (!thread_.joinable()) {
        return;
    }
    if (isCurrent()) {
        // Stopped from one of its own jobs: the thread runs what is queued and ends by itself.
        thread_.detach();
        return;
    }
    thread_.join();
}

void SerialExecutor::loop(const std::shared_ptr<Queue>& queue) {
    std::unique_lock lock(queue->mutex);
    for (;;) {
        queue->available.wait(lock, [&] { return queue->stopping || !queue->jobs.empty(); });
        if (queue->jobs.empty()) {
            return; // stopping, and every queued job has run
        }
        auto job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
        lock.unlock();
        try {
            job();
        } catch (...) {
            // run() carries its exceptions in the future; a posted job has nobody to tell.
            std::fputs("flowkeep: a serial job ended with an uncaught exception\n", stderr);
        }
        job = nullptr;
        lock.lock();
    }
}

} // namespace flowkeep
