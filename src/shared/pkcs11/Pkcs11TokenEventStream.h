#pragma once

#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11TokenEvent.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace keyvane {

// The token monitoring stream: an unbounded buffer that the monitoring producer fills from its
// own thread and one consumer drains with blocking calls, typically a middleware's work on a
// task-pool thread. The stream ends without error, or with the Pkcs11Error that ended
// monitoring; events buffered before the end are still handed out first.
//
// Copies share one stream, so a middleware can keep one copy to cancel a consumer that is
// blocked in next() on another thread.
class Pkcs11TokenEventStream {
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Pkcs11TokenEvent> buffer;
        bool ended = false;     // no more events are accepted
        bool cancelled = false; // the consumer stopped listening: next() answers the end at once
        std::optional<Pkcs11Error> failure;
    };

public:
    // The producer end; copies share it. When the last copy goes away the stream ends (without
    // error), so a producer that dies never leaves its consumer waiting for ever.
    class Continuation {
    public:
        // False when the stream already ended (finished or cancelled): the event is dropped.
        bool yield(Pkcs11TokenEvent event) const {
            auto& state = *producer_->state;
            {
                std::lock_guard lock(state.mutex);
                if (state.ended) {
                    return false;
                }
                state.buffer.push_back(std::move(event));
            }
            state.changed.notify_all();
            return true;
        }
        // Ends the stream; with an error, the consumer gets it after the buffered events.
        // Only the first end counts.
        void finish(std::optional<Pkcs11Error> error = std::nullopt) const {
            Pkcs11TokenEventStream::finish(*producer_->state, std::move(error));
        }
        bool isEnded() const {
            std::lock_guard lock(producer_->state->mutex);
            return producer_->state->ended;
        }

    private:
        friend class Pkcs11TokenEventStream;
        struct Producer {
            explicit Producer(std::shared_ptr<State> producerState) : state(std::move(producerState)) {}
            ~Producer() { Pkcs11TokenEventStream::finish(*state, std::nullopt); }
            Producer(const Producer&) = delete;
            Producer& operator=(const Producer&) = delete;
            std::shared_ptr<State> state;
        };
        explicit Continuation(std::shared_ptr<State> state)
            : producer_(std::make_shared<Producer>(std::move(state))) {}
        std::shared_ptr<Producer> producer_;
    };

    static std::pair<Pkcs11TokenEventStream, Continuation> make() {
        auto state = std::make_shared<State>();
        return {Pkcs11TokenEventStream(state), Continuation(state)};
    }

    // Blocks until the next event. Answers nothing at the end of the stream, or throws the
    // Pkcs11Error that ended it (again on every later call).
    std::optional<Pkcs11TokenEvent> next() const {
        std::unique_lock lock(state_->mutex);
        state_->changed.wait(lock, [&] { return readyLocked(); });
        return takeLocked();
    }

    // As next(), waiting at most the given time; answers nothing also when the time ran out
    // (isFinished() tells the two apart).
    std::optional<Pkcs11TokenEvent> next(std::chrono::milliseconds timeout) const {
        std::unique_lock lock(state_->mutex);
        state_->changed.wait_for(lock, timeout, [&] { return readyLocked(); });
        if (!readyLocked()) {
            return std::nullopt;
        }
        return takeLocked();
    }

    // True once the stream ended and every buffered event was taken (or it was cancelled).
    bool isFinished() const {
        std::lock_guard lock(state_->mutex);
        return state_->cancelled || (state_->ended && state_->buffer.empty());
    }

    // The consumer stops listening: a blocked next() returns the end, later yields are dropped.
    // Monitoring itself goes on until stopMonitoring().
    void cancel() const {
        {
            std::lock_guard lock(state_->mutex);
            state_->cancelled = true;
            state_->ended = true;
            state_->buffer.clear();
        }
        state_->changed.notify_all();
    }

private:
    explicit Pkcs11TokenEventStream(std::shared_ptr<State> state) : state_(std::move(state)) {}

    static void finish(State& state, std::optional<Pkcs11Error> error) {
        {
            std::lock_guard lock(state.mutex);
            if (state.ended) {
                return;
            }
            state.ended = true;
            state.failure = std::move(error);
        }
        state.changed.notify_all();
    }

    bool readyLocked() const { return state_->ended || !state_->buffer.empty(); }

    std::optional<Pkcs11TokenEvent> takeLocked() const {
        if (state_->cancelled) {
            return std::nullopt;
        }
        if (!state_->buffer.empty()) {
            auto event = std::move(state_->buffer.front());
            state_->buffer.pop_front();
            return event;
        }
        if (state_->failure) {
            throw *state_->failure;
        }
        return std::nullopt;
    }

    std::shared_ptr<State> state_;
};

} // namespace keyvane
