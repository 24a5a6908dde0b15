#pragma once

#include "flowkeep/MainExecutor.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace flowkeep {

// A stream of values with an unbounded buffer: producers yield from any thread, one
// consumer forwards the values onto the main executor, one value per step.
//
// Ending a stream: the producer finishes it (explicitly, or when the last copy of its
// continuation is destroyed), or the consumer cancels it. Either way later yields are
// discarded, while values already buffered are still forwarded, oldest first.
template <class T>
class AsyncStream {
    struct State {
        std::mutex mutex;
        std::deque<T> buffer;
        bool ended = false; // no more values are accepted
        std::optional<MainExecutor::Reference> executor; // weak: a producer may outlive it
        std::function<void(T)> deliver; // set while a consumer forwards
        bool drainPosted = false;
    };

    // Posts the next forwarding step unless one is already on its way. Called with the lock held.
    static void scheduleDrain(const std::shared_ptr<State>& state) {
        if (!state->deliver || state->drainPosted || state->buffer.empty()) {
            return;
        }
        state->drainPosted = true;
        state->executor->post([state] { drainOne(state); });
    }

    static void drainOne(const std::shared_ptr<State>& state) {
        std::function<void(T)> deliver;
        std::optional<T> value;
        {
            std::lock_guard lock(state->mutex);
            state->drainPosted = false;
            if (state->buffer.empty() || !state->deliver) {
                return;
            }
            value.emplace(std::move(state->buffer.front()));
            state->buffer.pop_front();
            deliver = state->deliver;
            scheduleDrain(state);
            if (state->ended && state->buffer.empty()) {
                state->deliver = nullptr; // the stream is over: let go of the consumer
            }
        }
        deliver(std::move(*value));
    }

    // Finishes the stream when the last copy of a continuation goes away.
    struct Producer {
        explicit Producer(std::shared_ptr<State> producerState) : state(std::move(producerState)) {}
        ~Producer() { finish(state); }
        Producer(const Producer&) = delete;
        Producer& operator=(const Producer&) = delete;
        std::shared_ptr<State> state;
    };

    static void finish(const std::shared_ptr<State>& state) {
        std::lock_guard lock(state->mutex);
        state->ended = true;
        if (state->buffer.empty() && !state->drainPosted) {
            state->deliver = nullptr;
        }
    }

public:
    enum class YieldResult { enqueued, terminated };

    // The producer end. Copies share one producer; thread-safe.
    class Continuation {
    public:
        YieldResult yield(T value) const {
            const auto& state = producer_->state;
            std::lock_guard lock(state->mutex);
            if (state->ended) {
                return YieldResult::terminated;
            }
            state->buffer.push_back(std::move(value));
            scheduleDrain(state);
            return YieldResult::enqueued;
        }

        void finish() const { AsyncStream::finish(producer_->state); }

    private:
        friend class AsyncStream;
        explicit Continuation(std::shared_ptr<State> state)
            : producer_(std::make_shared<Producer>(std::move(state))) {}
        std::shared_ptr<Producer> producer_;
    };

    // Handle of a running forwarding; cancelling never blocks and is idempotent.
    class Forwarding {
    public:
        Forwarding() = default;
        void cancel() const {
            if (state_) {
                AsyncStream::finish(state_);
            }
        }
        // True while values may still be forwarded.
        bool isActive() const {
            if (!state_) {
                return false;
            }
            std::lock_guard lock(state_->mutex);
            return static_cast<bool>(state_->deliver);
        }

    private:
        friend class AsyncStream;
        explicit Forwarding(std::shared_ptr<State> state) : state_(std::move(state)) {}
        std::shared_ptr<State> state_;
    };

    static std::pair<AsyncStream, Continuation> make() {
        auto state = std::make_shared<State>();
        return {AsyncStream(state), Continuation(state)};
    }

    // Starts forwarding: each value, buffered or yielded later, is handed to deliver on the
    // executor, each in a step of its own, never from inside this call.
    Forwarding forward(MainExecutor& executor, std::function<void(T)> deliver) && {
        {
            std::lock_guard lock(state_->mutex);
            state_->executor = executor.reference();
            if (state_->ended && state_->buffer.empty()) {
                return Forwarding(state_);
            }
            state_->deliver = std::move(deliver);
            scheduleDrain(state_);
        }
        return Forwarding(std::move(state_));
    }

private:
    explicit AsyncStream(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

} // namespace flowkeep
