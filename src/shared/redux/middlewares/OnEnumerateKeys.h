#pragma once

#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/passkeys/PasskeyManagerError.h"
#include "shared/passkeys/PasskeyManagerProtocol.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"
#include "shared/storage/CredentialsStorageProtocol.h"

#include <memory>

namespace keyvane {

// Reads the passkeys of a logged-in token, makes its records equal to them, republishes every
// stored passkey for AutoFill and hands the full list to the state.
template <class Action>
class OnEnumerateKeys final : public flowkeep::Middleware<Action> {
public:
    OnEnumerateKeys()
        : passkeyManager_(Dependencies::get(keyvane::passkeyManager)),
          credentialsStorage_(Dependencies::get(keyvane::credentialsStorage)),
          credentialIdentityStore_(Dependencies::get(keyvane::credentialIdentityStore)) {}

    std::optional<flowkeep::ActionStream<Action>> process(const Action& action) override {
        const auto* enumerate = action.template as<typename Action::enumerateCredentials>();
        if (enumerate == nullptr) {
            return std::nullopt;
        }
        return flowkeep::runTask<Action>([passkeys = passkeyManager_, storage = credentialsStorage_,
                                          identities = credentialIdentityStore_,
                                          serial = enumerate->serial](const flowkeep::ActionSink<Action>& sink) {
            try {
                // The token is read and its records written as one step for other programs, so
                // a deletion made meanwhile is never written back.
                storage->withTokenRecordsLocked(serial, [&] {
                    const auto found = passkeys->getCredentials(serial);
                    sink.yield(typename Action::dismissLoginView{});
                    storage->updateCredentials(found, serial);
                });
                identities->update([&] { return storage->fetchAllCredentials(); });
                auto all = storage->fetchAllCredentials();
                sink.yield(typename Action::updateCredentialsList{std::move(all)});
            } catch (const PasskeyManagerError& error) {
                // The token could not be read: the login has to be done again.
                sink.yield(typename Action::updatePinVerificationStatus{PinVerificationStatus::notVerified{}});
                sink.yield(typename Action::setPassAuth{LoginAuthStatus::unknown});
                sink.yield(typename Action::handleError{AnyError(error)});
            } catch (...) {
                yieldCurrentError<Action>(sink);
            }
        });
    }

private:
    std::shared_ptr<PasskeyManagerProtocol> passkeyManager_;
    std::shared_ptr<CredentialsStorageProtocol> credentialsStorage_;
    std::shared_ptr<CredentialIdentityStoreProtocol> credentialIdentityStore_;
};

} // namespace keyvane
