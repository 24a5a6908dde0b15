#include "keyvane/middlewares/OnDeleteCredentials.h"

#include "shared/passkeys/PasskeyManagerError.h"

namespace keyvane::app {

OnDeleteCredentials::OnDeleteCredentials()
    : passkeyManager_(Dependencies::get(keyvane::passkeyManager)),
      credentialsStorage_(Dependencies::get(keyvane::credentialsStorage)) {}

MaybeStream OnDeleteCredentials::process(const AppAction& action) {
    const auto* deletion = action.as<AppAction::deleteCredentials>();
    if (deletion == nullptr) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([passkeys = passkeyManager_, storage = credentialsStorage_,
                                         request = deletion->request](const AppActionSink& sink) {
        try {
            passkeys->deleteCredentials(request.credsIds, request.tokenSerial);
        } catch (const PasskeyManagerError& error) {
            sink.yield(AppAction::setPassAuth{LoginAuthStatus::unknown});
            sink.yield(AppAction::updatePinVerificationStatus{PinVerificationStatus::notVerified{}});
            sink.yield(AppAction::handleError{AnyError(error)});
            return;
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
            return;
        }
        try {
            storage->deleteCredentials(request.credsIds);
        } catch (...) {
            // The passkeys are gone from the token already: after the alert, list the token
            // again so that the records and the published identities stop offering them.
            yieldCurrentError<AppAction>(sink);
        }
        sink.yield(AppAction::enumerateCredentials{request.tokenSerial});
    });
}

} // namespace keyvane::app
