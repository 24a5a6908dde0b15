#pragma once

#include "flowkeep/AsyncStream.h"
#include "flowkeep/MainExecutor.h"
#include "flowkeep/Middleware.h"
#include "flowkeep/Reducer.h"
#include "flowkeep/Subscription.h"

#include <cassert>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace flowkeep {

// Holds the state of a program, runs the reducer for every action and then offers the action
// to each middleware in list order. Everything here runs on the main executor's thread, so
// the store holds no lock.
//
// Forwarding: each middleware has one slot for the forwarding of its latest stream. A new
// stream from the same middleware cancels the previous forwarding: actions the middleware
// yields after that are dropped, while actions already buffered in the old stream are still
// sent. Every forwarded action enters through send() as a step of its own on the main
// executor, never nested inside the send() that started the stream. Forwarding holds the
// store weakly; once the store is destroyed nothing more is delivered.
template <class State, class Action>
class Store {
public:
    using MiddlewareList = std::vector<std::shared_ptr<Middleware<Action>>>;

    template <class R>
        requires Reducer<R, State, Action>
    Store(State initialState, R reducer, MiddlewareList middlewares, MainExecutor& executor)
        : core_(std::make_shared<Core>(std::move(initialState),
                                       [reducer = std::move(reducer)](State state, const Action& action) {
                                           return reducer.reduce(std::move(state), action);
                                       },
                                       std::move(middlewares), executor)) {}

    ~Store() {
        for (auto& task : core_->tasks) {
            if (task) {
                task->cancel();
            }
        }
    }

    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const State& state() const { return core_->state; }

    // The main executor the store runs on: what reacts to the store posts and times its own
    // steps there.
    MainExecutor& executor() const { return core_->executor; }

    void send(Action action) { core_->send(std::move(action)); }

    // Called with the new state after each send, and once at once with the current state.
    Subscription observe(std::function<void(const State&)> observer) {
        observer(core_->state);
        return core_->addObserver(core_->stateObservers, std::move(observer));
    }

    // Called before each change of the state (every send, also when the state stays equal).
    Subscription observeWillChange(std::function<void()> observer) {
        return core_->addObserver(core_->willChangeObservers, std::move(observer));
    }

    // Whether middleware i has a forwarding that may still deliver actions (for tests).
    bool isForwarding(std::size_t middlewareIndex) const {
        const auto& task = core_->tasks.at(middlewareIndex);
        return task && task->isActive();
    }

    std::size_t middlewareCount() const { return core_->middlewares.size(); }

private:
    using Forwarding = typename AsyncStream<Action>::Forwarding;

    struct Core : std::enable_shared_from_this<Core> {
        State state;
        std::function<State(State, const Action&)> reduce;
        MiddlewareList middlewares;
        std::vector<std::optional<Forwarding>> tasks;
        MainExecutor& executor;
        std::map<std::uint64_t, std::function<void(const State&)>> stateObservers;
        std::map<std::uint64_t, std::function<void()>> willChangeObservers;
        std::uint64_t nextObserver = 0;

        Core(State initial, std::function<State(State, const Action&)> reducer, MiddlewareList list,
             MainExecutor& mainExecutor)
            : state(std::move(initial)), reduce(std::move(reducer)), middlewares(std::move(list)),
              tasks(middlewares.size()), executor(mainExecutor) {}

        void send(Action action) {
            assert(executor.isMainThread() && "Store::send runs on the main thread only");
            // Keeps the core alive through this send even if an observer drops the store.
            auto self = this->shared_from_this();

            State next = reduce(state, action);
            notifyAll(willChangeObservers);
            state = std::move(next);
            notifyAll(stateObservers, state);

            for (std::size_t i = 0; i < middlewares.size(); ++i) {
                auto stream = middlewares[i]->process(action);
                if (!stream) {
                    continue;
                }
                if (tasks[i]) {
                    tasks[i]->cancel();
                }
                std::weak_ptr<Core> weakCore = self;
                tasks[i] = std::move(*stream).forward(executor, [weakCore](Action forwarded) {
                    if (auto core = weakCore.lock()) {
                        core->send(std::move(forwarded));
                    }
                });
            }
        }

        template <class Observers, class... Args>
        static void notifyAll(const Observers& observers, const Args&... args) {
            // Observers may subscribe or unsubscribe while being told: walk a list of ids and
            // skip those that are gone by the time their turn comes.
            std::vector<std::uint64_t> ids;
            ids.reserve(observers.size());
            for (const auto& entry : observers) {
                ids.push_back(entry.first);
            }
            for (auto id : ids) {
                if (auto it = observers.find(id); it != observers.end()) {
                    auto observer = it->second;
                    observer(args...);
                }
            }
        }

        template <class Observers, class Observer>
        Subscription addObserver(Observers& observers, Observer observer) {
            const auto id = nextObserver++;
            observers.emplace(id, std::move(observer));
            std::weak_ptr<Core> weakCore = this->shared_from_this();
            return Subscription([weakCore, id, &observers] {
                if (auto core = weakCore.lock()) {
                    observers.erase(id);
                }
            });
        }
    };

    std::shared_ptr<Core> core_;
};

} // namespace flowkeep
