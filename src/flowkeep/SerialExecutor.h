#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>

namespace flowkeep {

// One thread that runs jobs one at a time, in the order they were given. Services use it to
// serialise their calls (all PKCS#11 library calls run on one of these).
//
// stop() finishes the queued jobs and joins the thread; it must be called (or the executor
// destroyed) before static destruction, or the thread would still be joinable then.
class SerialExecutor {
public:
    explicit SerialExecutor(std::string name = "serial");
    ~SerialExecutor();

    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    // Queues the job; false when the executor has stopped and the job was not taken.
    bool post(std::function<void()> job);

    // Runs the callable on the executor's thread and waits for its result; an exception it
    // throws is rethrown here. Called on the executor's own thread it runs at once, so a job
    // may call back into its own service without deadlocking.
    template <class F>
    auto run(F&& callable) -> std::invoke_result_t<F&> {
        using Result = std::invoke_result_t<F&>;
        if (isCurrent()) {
            return callable();
        }
        std::packaged_task<Result()> task(std::forward<F>(callable));
        auto result = task.get_future();
        auto shared = std::make_shared<std::packaged_task<Result()>>(std::move(task));
        if (!post([shared] { (*shared)(); })) {
            throw std::runtime_error("SerialExecutor has stopped");
        }
        return result.get();
    }

    bool isCurrent() const;

    void stop();

    const std::string& name() const { return name_; }

private:
    // Shared with the thread, so that an executor destroyed from one of its own jobs (its
    // owner released there) lets the thread finish without touching freed memory.
    struct Queue {
        std::mutex mutex;
        std::condition_variable available;
        std::deque<std::function<void()>> jobs;
        bool stopping = false;
    };
    static void loop(const std::shared_ptr<Queue>& queue);

    std::string name_;
    std::shared_ptr<Queue> queue_;
    std::thread thread_;
};

} // namespace flowkeep
