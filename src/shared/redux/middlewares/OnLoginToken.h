#pragma once

#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/pkcs11/TokenLoginManagerProtocol.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"
#include "shared/redux/middlewares/TokenInfoReading.h"
#include "shared/storage/TokenStorageProtocol.h"

#include <memory>

namespace keyvane {

// Logs in to a token with the PIN typed or the cached one, keeps the PIN cache in step (a PIN
// the token refused is forgotten; one that worked is cached while a master password is set),
// records the token and hands over the refreshed token list.
template <class Action>
class OnLoginToken final : public flowkeep::Middleware<Action> {
public:
    OnLoginToken()
        : pkcsManager_(Dependencies::get(keyvane::pkcs11Manager)),
          tokenLoginManager_(Dependencies::get(keyvane::tokenLoginManager)),
          pinCodeCacheManager_(Dependencies::get(keyvane::pinCodeCacheManager)),
          tokenStorage_(Dependencies::get(keyvane::tokenStorage)) {}

    std::optional<flowkeep::ActionStream<Action>> process(const Action& action) override {
        const auto* login = action.template as<typename Action::performLoginOnToken>();
        if (login == nullptr) {
            return std::nullopt;
        }
        return flowkeep::runTask<Action>([manager = pkcsManager_, loginManager = tokenLoginManager_,
                                          cache = pinCodeCacheManager_, storage = tokenStorage_, serial = login->serial,
                                          given = login->pin](const flowkeep::ActionSink<Action>& sink) {
            const bool fromCache = !given.has_value();
            try {
                // The cached PIN is tied to the token's full serial number, which the serial
                // shown does not carry.
                const auto token = manager->getToken(serial);
                const std::string serialNumber = token ? token->serialNumber() : std::string();
                const SecretText pin = given ? *given : SecretText(cache->getPin(serial, serialNumber));
                loginManager->login(serial, pin.reveal());
                if (cache->isMasterPasswordSet()) {
                    cache->savePin(serial, pin.reveal(), serialNumber);
                    sink.yield(typename Action::setPinCacheHasPins{true});
                }
                if (!token) {
                    throw TextError("pkcsManager.getToken returned nil during token appearance");
                }
                storage->syncToken(readTokenInfo(*token));
                sink.yield(typename Action::updatePinVerificationStatus{PinVerificationStatus::success{}});
                sink.yield(typename Action::updateTokenList{storage->listTokens()});
            } catch (const TokenLoginManagerError& error) {
                const auto forgetRefusedPin = [&] {
                    if (fromCache) {
                        try {
                            cache->deletePin(serial);
                        } catch (...) {
                            // The refusal is what the user needs to see.
                        }
                    }
                };
                if (const auto* wrong = error.as<TokenLoginManagerError::incorrectPin>()) {
                    sink.yield(typename Action::updatePinVerificationStatus{
                        PinVerificationStatus::incorrect{wrong->attemptsLeft}});
                    forgetRefusedPin();
                } else if (error.is<TokenLoginManagerError::pinLocked>()) {
                    sink.yield(typename Action::handleError{AnyError(error)});
                    sink.yield(typename Action::updatePinVerificationStatus{PinVerificationStatus::incorrect{0}});
                    forgetRefusedPin();
                } else {
                    sink.yield(typename Action::updatePinVerificationStatus{PinVerificationStatus::notVerified{}});
                }
            } catch (...) {
                yieldCurrentError<Action>(sink);
            }
        });
    }

private:
    std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager_;
    std::shared_ptr<TokenLoginManagerProtocol> tokenLoginManager_;
    std::shared_ptr<PinCodeCacheManagerProtocol> pinCodeCacheManager_;
    std::shared_ptr<TokenStorageProtocol> tokenStorage_;
};

} // namespace keyvane
