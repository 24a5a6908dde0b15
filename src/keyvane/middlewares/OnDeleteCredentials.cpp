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
        // The token and then the records, as one step for other programs: a refresh of the
        // records from the token (a sign-in in the extension) comes wholly before or after.
        bool offToken = false;
        try {
            storage->withTokenRecordsLocked(request.tokenSerial, [&] {
                passkeys->deleteCredentials(request.credsIds, request.tokenSerial);
                offToken = true;
                storage->deleteCredentials(request.credsIds);
            });
        } catch (const PasskeyManagerError& error) {
            sink.yield(AppAction::setPassAuth{LoginAuthStatus::unknown});
            sink.yield(AppAction::updatePinVerificationStatus{PinVerificationStatus::notVerified{}});
            sink.yield(AppAction::handleError{AnyError(error)});
            return;
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
            if (!offToken) {
                return;
            }
            // The passkeys are gone from the token already: after the alert, list the token
            // again so that the records and the published identities stop offering them.
        }
        sink.yield(AppAction::enumerateCredentials{request.tokenSerial});
    });
}

} // namespace keyvane::app
