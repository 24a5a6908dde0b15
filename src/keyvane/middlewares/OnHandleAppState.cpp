#include "keyvane/middlewares/OnHandleAppState.h"


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
        [refresh = refresh_, refreshes = refreshes_, sink = std::move(sink), dropped]() {
            if (!*dropped) {
                *dropped = true;
                return;
            }
            // Queued here, on the posting thread, so the refreshes run in activation order.
            refreshes->post([refresh, sink] {
                try {
                    refresh.run(sink);
                } catch (...) {
                    // An activation that cannot load keeps the last loaded values; no alert.
                }
            });
        }));
    return std::move(stream);
}

} // namespace keyvane::app
