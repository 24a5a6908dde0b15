#include "shared/viewmodels/BiometricPromptModel.h"

#include <algorithm>

namespace keyvane::views {

BiometricPromptModel::BiometricPromptModel(flowkeep::MainExecutor& executor, QObject* parent)
    : QObject(parent), executor_(executor.reference()) {}

BiometricPromptModel::~BiometricPromptModel() {
    *alive_ = false;
}

void BiometricPromptModel::onMain(std::function<void()> step) {
    executor_.post([alive = std::weak_ptr<bool>(alive_), step = std::move(step)] {
        if (auto flag = alive.lock(); flag && *flag) {
            step();
        }
    });
}

void BiometricPromptModel::show(const std::string& localizedReason, std::function<void()> cancel) {
    onMain([this, check = Check{std::this_thread::get_id(), QString::fromStdString(localizedReason), std::move(cancel)}] {
        checks_.push_back(check);
        emit changed();
    });
}

void BiometricPromptModel::hide() {
    onMain([this, thread = std::this_thread::get_id()] {
        const auto end = std::remove_if(checks_.begin(), checks_.end(),
                                        [thread](const Check& check) { return check.thread == thread; });
        if (end != checks_.end()) {
            checks_.erase(end, checks_.end());
            emit changed();
        }
    });
}

void BiometricPromptModel::cancel() {
    if (checks_.empty()) {
        return;
    }
    const auto stop = std::move(checks_.back().cancel);
    checks_.pop_back();
    emit changed();
    if (stop) {
        stop();
    }
}

} // namespace keyvane::views
