#pragma once

#include "flowkeep/Store.h"
#include "flowkeep/Subscription.h"

#include <functional>
#include <optional>
#include <utility>

namespace keyvane::views {

// The one link between a store and the view models: reads the state through selectors and
// sends actions. Generic over the deliverable's state and action, since both programs show
// the same views over their own stores. Main thread only, like the store.
template <class State, class Action>
class StoreBridge {
public:
    explicit StoreBridge(flowkeep::Store<State, Action>& store) : store_(store) {}

    const State& state() const { return store_.state(); }
    void send(Action action) { store_.send(std::move(action)); }

    // Calls onChange at once with the selected slice, then after each send that changes it;
    // sends that leave the slice equal call nothing, so a view re-renders only for its slice.
    template <class Slice>
    flowkeep::Subscription select(std::function<Slice(const State&)> selector,
                                  std::function<void(const Slice&)> onChange) {
        auto last = std::make_shared<std::optional<Slice>>();
        return store_.observe([selector = std::move(selector), onChange = std::move(onChange), last](const State& state) {
            Slice next = selector(state);
            if (*last && **last == next) {
                return;
            }
            *last = next;
            onChange(next);
        });
    }

private:
    flowkeep::Store<State, Action>& store_;
};

} // namespace keyvane::views
