#pragma once

#include "shared/biometrics/StoredPinState.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"
#include "shared/storage/PinCodeStorageProtocol.h"

#include <memory>

namespace keyvane {

// Tells the login window whether a sealed PIN is kept for the token, so it can offer the
// master password or biometry instead of the PIN. Nothing is decrypted here.
template <class Action>
class OnCheckHasPinForToken final : public flowkeep::Middleware<Action> {
public:
    OnCheckHasPinForToken() : pinCodeStorage_(Dependencies::get(keyvane::pinCodeStorage)) {}

    std::optional<flowkeep::ActionStream<Action>> process(const Action& action) override {
        const auto* check = action.template as<typename Action::checkHasPinForToken>();
        if (check == nullptr) {
            return std::nullopt;
        }
        return flowkeep::runTask<Action>(
            [storage = pinCodeStorage_, serial = check->serial](const flowkeep::ActionSink<Action>& sink) {
                try {
                    const bool found = storage->getPin(serial).has_value();
                    sink.yield(typename Action::setPinExist{found ? StoredPinState::exist : StoredPinState::absent});
                } catch (...) {
                    yieldCurrentError<Action>(sink);
                }
            });
    }

private:
    std::shared_ptr<PinCodeStorageProtocol> pinCodeStorage_;
};

} // namespace keyvane
