#pragma once

#include "keyvane/middlewares/ApplicationActivity.h"
#include "keyvane/middlewares/StateRefresh.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
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
    // refresh never land after those of a newer one.
    struct Turns {
        std::mutex mutex;
        std::condition_variable changed;
        std::uint64_t issued = 0;
        std::uint64_t serving = 0;
    };
    std::shared_ptr<Turns> turns_ = std::make_shared<Turns>();
    std::vector<flowkeep::Subscription> cancellable_;
};

} // namespace keyvane::app
