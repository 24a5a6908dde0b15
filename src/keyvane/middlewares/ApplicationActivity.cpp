#include "keyvane/middlewares/ApplicationActivity.h"

#include <vector>

namespace keyvane::app {

ApplicationActivity& ApplicationActivity::shared() {
    static ApplicationActivity activity;
    return activity;
}

flowkeep::Subscription ApplicationActivity::subscribe(std::function<void()> observer) {
    std::lock_guard lock(observers_->mutex);
    const auto id = observers_->next++;
    observers_->observers.emplace(id, std::move(observer));
    std::weak_ptr<Observers> weak = observers_;
    return flowkeep::Subscription([weak, id] {
        if (auto observers = weak.lock()) {
            std::lock_guard lock(observers->mutex);
            observers->observers.erase(id);
        }
    });
}

void ApplicationActivity::postBecameActive() {
    std::vector<std::function<void()>> toCall;
    {
        std::lock_guard lock(observers_->mutex);
        for (const auto& [id, observer] : observers_->observers) {
            toCall.push_back(observer);
        }
    }
    for (const auto& observer : toCall) {
        observer();
    }
}

} // namespace keyvane::app
