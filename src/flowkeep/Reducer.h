#pragma once

#include <concepts>

namespace flowkeep {

// A reducer answers the new state for a state and an action. It must be pure and synchronous:
// no service calls, no waiting, no shared mutable data.
template <class R, class State, class Action>
concept Reducer = std::copy_constructible<R> && requires(const R& reducer, State state, const Action& action) {
    { reducer.reduce(std::move(state), action) } -> std::convertible_to<State>;
};

} // namespace flowkeep
