#include "shared/viewmodels/ConfirmationBridge.h"

namespace keyvane::views {

ConfirmationBridge::ConfirmationBridge(flowkeep::MainExecutor& executor, QObject* parent)
    : QObject(parent), executor_(executor) {}

ConfirmationBridge::~ConfirmationBridge() {
    *alive_ = false;
    close();
}

bool ConfirmationBridge::ask() {
    if (executor_.isMainThread()) {
        return false;
    }
    auto shared = shared_;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->closed || shared->waiting) {
            return false;
        }
        shared->waiting = true;
        shared->answer.reset();
    }
    std::weak_ptr<bool> alive = alive_;
    executor_.post([this, alive] {
        if (auto flag = alive.lock(); flag && *flag) {
            setAsking(true);
        }
    });
    std::unique_lock lock(shared->mutex);
    shared->answered.wait(lock, [&] { return shared->answer.has_value() || shared->closed; });
    const bool agreed = shared->answer.value_or(false);
    shared->waiting = false;
    return agreed;
}

void ConfirmationBridge::answer(bool agreed) {
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->waiting) {
            return;
        }
        shared_->answer = agreed;
    }
    shared_->answered.notify_all();
    setAsking(false);
}

void ConfirmationBridge::close() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->closed = true;
    }
    shared_->answered.notify_all();
    if (*alive_) {
        setAsking(false);
    }
}

void ConfirmationBridge::setAsking(bool asking) {
    if (asking_ != asking) {
        asking_ = asking;
        emit askingChanged();
    }
}

} // namespace keyvane::views
