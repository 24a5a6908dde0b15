#pragma once

#include "shared/biometrics/StoredPinState.h"
#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"
#include "shared/storage/PinCodeStorageProtocol.h"

#include <memory>

namespace keyvane {

// Tells the login window whether a sealed PIN is kept for the token, so it can offer the
// master password or biometry instead of the PIN. Nothing is decrypted here. A PIN kept for
// another token that shares the serial (or saved before the full serial number was kept) is
// no PIN for this one.
template <class Action>
class OnCheckHasPinForToken final : public flowkeep::Middleware<Action> {
public:
    OnCheckHasPinForToken()
        : pinCodeStorage_(Dependencies::get(keyvane::pinCodeStorage)),
          pkcsManager_(Dependencies::get(keyvane::pkcs11Manager)) {}

    std::optional<flowkeep::ActionStream<Action>> process(const Action& action) override {
        const auto* check = action.template as<typename Action::checkHasPinForToken>();
        if (check == nullptr) {
            return std::nullopt;
        }
        return flowkeep::runTask<Action>(
            [storage = pinCodeStorage_, manager = pkcsManager_,
             serial = check->serial](const flowkeep::ActionSink<Action>& sink) {
                try {
                    const auto entry = storage->getPin(serial);
                    const auto token = entry ? manager->getToken(serial) : nullptr;
                    const bool found = token && entry->serialNumber == token->serialNumber();
                    sink.yield(typename Action::setPinExist{found ? StoredPinState::exist : StoredPinState::absent});
                } catch (...) {
                    yieldCurrentError<Action>(sink);
                }
            });
    }

private:
    std::shared_ptr<PinCodeStorageProtocol> pinCodeStorage_;
    std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager_;
};

} // namespace keyvane
