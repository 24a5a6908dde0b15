#pragma once

#include "flowkeep/MainExecutor.h"

#include <QObject>

#include <map>
#include <memory>
#include <mutex>

namespace flowkeep {

// The main executor of the programs: jobs run on the thread of the Qt event loop that
// owns the executor (the GUI thread), each as an event of its own.
class QtMainExecutor final : public MainExecutor {
public:
    QtMainExecutor();
    ~QtMainExecutor() override;

    QtMainExecutor(const QtMainExecutor&) = delete;
    QtMainExecutor& operator=(const QtMainExecutor&) = delete;

    void post(Job job) override;
    TimerId postAfter(std::chrono::milliseconds delay, Job job) override;
    void cancel(TimerId timer) override;
    bool isMainThread() const override;

private:
    void startTimer(TimerId id, std::chrono::milliseconds delay);
    void fire(TimerId id);

    // Context object living on the main thread; queued calls to it run there and are
    // dropped by Qt once it is gone.
    std::unique_ptr<QObject> context_;
    std::mutex mutex_;
    std::map<TimerId, Job> pending_;
    TimerId nextTimer_ = 1;
};

} // namespace flowkeep
