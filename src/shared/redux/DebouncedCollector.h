#pragma once

#include "flowkeep/MainExecutor.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace keyvane {

// Gathers elements into lists: once dueTime passes on the main executor without a new
// element, the list of every element since the previous emission is handed over, oldest
// first, and the next element starts a new list. Nothing is emitted without an element.
//
// One collector is one subscription: elements may be received from any thread; they move
// onto the main executor, where the list is kept and emitted. Cancelling (or destroying the
// collector) drops a list that is still waiting and ignores later elements. The collector
// holds the executor weakly: once the executor is gone, it does nothing more.
template <class T>
class DebouncedCollector {
public:
    using Emit = std::function<void(std::vector<T>)>;

    DebouncedCollector(flowkeep::MainExecutor& executor, std::chrono::milliseconds dueTime, Emit onList)
        : state_(std::make_shared<State>(executor.reference(), dueTime, std::move(onList))) {}

    ~DebouncedCollector() { cancel(); }

    DebouncedCollector(const DebouncedCollector&) = delete;
    DebouncedCollector& operator=(const DebouncedCollector&) = delete;

    void receive(T element) {
        std::weak_ptr<State> weakState = state_;
        state_->executor.post([weakState, element = std::move(element)]() mutable {
            if (auto state = weakState.lock()) {
                state->accumulate(std::move(element));
            }
        });
    }

    // From any thread.
    void cancel() {
        std::lock_guard lock(state_->mutex);
        state_->cancelled = true;
        if (state_->timer) {
            state_->executor.cancel(*state_->timer);
            state_->timer.reset();
        }
        state_->list.clear();
    }

private:
    struct State : std::enable_shared_from_this<State> {
        State(flowkeep::MainExecutor::Reference mainExecutor, std::chrono::milliseconds due, Emit emitList)
            : executor(std::move(mainExecutor)), dueTime(due), deliver(std::move(emitList)) {}

        void accumulate(T element) {
            std::lock_guard lock(mutex);
            if (cancelled) {
                return;
            }
            if (startNewList) {
                list.clear();
            }
            list.push_back(std::move(element));
            startNewList = false;
            // A newer list replaces the waiting one and restarts the wait.
            if (timer) {
                executor.cancel(*timer);
            }
            std::weak_ptr<State> weakSelf = this->shared_from_this();
            timer = executor.postAfter(dueTime, [weakSelf] {
                if (auto self = weakSelf.lock()) {
                    self->fire();
                }
            });
        }

        void fire() {
            std::vector<T> ready;
            {
                std::lock_guard lock(mutex);
                if (cancelled) {
                    return;
                }
                timer.reset();
                ready = std::move(list);
                list.clear();
                startNewList = true;
            }
            deliver(std::move(ready));
        }

        flowkeep::MainExecutor::Reference executor;
        std::chrono::milliseconds dueTime;
        Emit deliver; // not "emit": Qt defines that word as a macro
        // Everything below is touched on the main thread; the lock makes cancel() from another
        // thread (the producer's, or a destructor's) safe.
        std::mutex mutex;
        std::vector<T> list;
        bool startNewList = false;
        bool cancelled = false;
        std::optional<flowkeep::MainExecutor::TimerId> timer;
    };

    std::shared_ptr<State> state_;
};

} // namespace keyvane
