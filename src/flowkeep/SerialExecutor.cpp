#include "flowkeep/SerialExecutor.h"

#include <cstdio>

namespace flowkeep {

SerialExecutor::SerialExecutor(std::string name) : name_(std::move(name)), thread_([this] { loop(); }) {}

SerialExecutor::~SerialExecutor() { stop(); }

bool SerialExecutor::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return false;
        }
        jobs_.push_back(std::move(job));
    }
    available_.notify_one();
    return true;
}

bool SerialExecutor::isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

void SerialExecutor::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    available_.notify_all();
    if (thread_.joinable() && !isCurrent()) {
        thread_.join();
    }
}

void SerialExecutor::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        available_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return; // stopping, and every queued job has run
        }
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
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
