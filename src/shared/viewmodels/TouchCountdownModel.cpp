#include "shared/viewmodels/TouchCountdownModel.h"

#include "shared/localization/LocalizedStrings.h"

#include <chrono>

namespace keyvane::views {

TouchCountdownModel::TouchCountdownModel(flowkeep::MainExecutor& executor, QObject* parent)
    : QObject(parent), timer_(executor) {}

QString TouchCountdownModel::footnote() const {
    return LocalizedStrings::counted("VarnelTouchAuthorizationView_Footnote", static_cast<int>(seconds()));
}

void TouchCountdownModel::setInitialSeconds(std::uint64_t seconds) {
    timer_.stop();
    seconds_ = seconds;
    initial_ = seconds;
    emit secondsChanged();
}

void TouchCountdownModel::appeared() {
    // A count already at 0 has nothing to lower: no timer, so it can never wrap around.
    if (seconds_ == 0) {
        timer_.stop();
        emit secondsChanged();
        return;
    }
    scheduleTick();
    emit secondsChanged();
}

void TouchCountdownModel::disappeared() {
    timer_.stop();
    emit secondsChanged();
}

void TouchCountdownModel::scheduleTick() {
    timer_.start(std::chrono::seconds(1), [this] {
        if (seconds_ > 0) {
            --seconds_;
        }
        if (seconds_ > 0) {
            scheduleTick();
        }
        emit secondsChanged();
    });
}

} // namespace keyvane::views
