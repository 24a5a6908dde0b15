#pragma once

#include "flowkeep/MainExecutor.h"

#include <chrono>
#include <functional>
#include <optional>

namespace keyvane::views {

// One pending delayed step of a view model on the main executor. Starting it again drops the
// step still pending, and destroying it drops it too, so a step never runs on a view model
// that is gone nor twice over.
class ViewTimer {
public:
    explicit ViewTimer(flowkeep::MainExecutor& executor) : executor_(executor) {}
    ~ViewTimer() { stop(); }
    ViewTimer(const ViewTimer&) = delete;
    ViewTimer& operator=(const ViewTimer&) = delete;

    void start(std::chrono::milliseconds delay, std::function<void()> step) {
        stop();
        id_ = executor_.postAfter(delay, [this, step = std::move(step)] {
            id_.reset();
            step();
        });
    }
    void stop() {
        if (id_) {
            executor_.cancel(*id_);
            id_.reset();
        }
    }
    bool isPending() const { return id_.has_value(); }

private:
    flowkeep::MainExecutor& executor_;
    std::optional<flowkeep::MainExecutor::TimerId> id_;
};

} // namespace keyvane::views
