#pragma once

#include "flowkeep/AsyncStream.h"
#include "flowkeep/TaskPool.h"

#include <functional>
#include <optional>

namespace flowkeep {

template <class Action>
using ActionStream = AsyncStream<Action>;

template <class Action>
using ActionSink = typename AsyncStream<Action>::Continuation;

// A middleware carries out the side effects of the actions it handles. process() is called on
// the main thread inside Store::send, must return at once, and answers nothing for an action
// it does not handle or a stream of further actions for one it does.
template <class Action>
class Middleware {
public:
    virtual ~Middleware() = default;
    virtual std::optional<ActionStream<Action>> process(const Action& action) = 0;
};

// The common shape of a middleware's work: one task on the pool, which yields its actions in
// order through the sink. The stream is finished on every path, also when the work throws
// (the pool reports an uncaught exception; middlewares turn their failures into actions).
template <class Action, class Work>
    requires std::invocable<Work&, const ActionSink<Action>&>
ActionStream<Action> runTask(Work work, TaskPool& pool = TaskPool::shared()) {
    auto [stream, sink] = ActionStream<Action>::make();
    pool.spawn([work = std::move(work), sink = std::move(sink)]() mutable {
        work(std::as_const(sink));
        sink.finish();
    });
    return std::move(stream);
}

} // namespace flowkeep
