#include "keyvane/middlewares/OnHandleAppState.h"

#include "flowkeep/TaskPool.h"

namespace keyvane::app {

OnHandleAppState::OnHandleAppState(ApplicationActivity& activity)
    : activity_(activity), refresh_(StateRefresh::fromDependencies()) {}

MaybeStream OnHandleAppState::process(const AppAction& action) {
    if (!action.is<AppAction::appLaunched>()) {
        return std::nullopt;
    }
    auto [stream, sink] = AppActionStream::make();
    auto dropped = std::make_shared<bool>(false);
    cancellable_.push_back(activity_.subscribe(
        [refresh = refresh_, turns = turns_, sink = std::move(sink), dropped]() {
            if (!*dropped) {
                *dropped = true;
                return;
            }
            // The order of the activations is kept: a ticket is taken here, on the posting
            // thread, and the refreshes run in ticket order.
            std::uint64_t ticket = 0;
            {
                std::lock_guard lock(turns->mutex);
                ticket = turns->issued++;
            }
            flowkeep::TaskPool::shared().spawn([refresh, turns, sink, ticket] {
                {
                    std::unique_lock lock(turns->mutex);
                    turns->changed.wait(lock, [&] { return turns->serving == ticket; });
                }
                try {
                    refresh.run(sink);
                } catch (...) {
                    // An activation that cannot load keeps the last loaded values; no alert.
                }
                {
                    std::lock_guard lock(turns->mutex);
                    ++turns->serving;
                }
                turns->changed.notify_all();
            });
        }));
    return std::move(stream);
}

} // namespace keyvane::app
