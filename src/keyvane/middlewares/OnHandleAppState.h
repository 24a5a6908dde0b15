#pragma once

#include "keyvane/middlewares/ApplicationActivity.h"
#include "keyvane/middlewares/StateRefresh.h"

#include "flowkeep/SerialExecutor.h"

#include <memory>
#include <vector>

namespace keyvane::app {

// Reloads the state each time the application becomes active again. The first notification
// after appLaunched is the start itself, which OnAppLaunched loads, and is dropped.
class OnHandleAppState final : public AppMiddleware {
public:
    explicit OnHandleAppState(ApplicationActivity& activity = ApplicationActivity::shared());
    MaybeStream process(const AppAction& action) override;

private:
    ApplicationActivity& activity_;
    StateRefresh refresh_;
    // One refresh at a time, in the order of the activations, so that the lists of an older
    // refresh never land after those of a newer one. Activations that come while a refresh
    // runs wait in its queue, not on a pool thread each.
    std::shared_ptr<flowkeep::SerialExecutor> refreshes_ = std::make_shared<flowkeep::SerialExecutor>("app-state-refresh");
    std::vector<flowkeep::Subscription> cancellable_;
};

} // namespace keyvane::app
