#include "credential_ext/middlewares/OnStartProvidingPasskey.h"

#include "credential_ext/state/CanonicalText.h"
#include "shared/redux/ExtensionError.h"

#include <algorithm>

namespace keyvane::ext {

OnStartProvidingPasskey::OnStartProvidingPasskey()
    : credentialsStorage_(Dependencies::get(keyvane::credentialsStorage)),
      tokenStorage_(Dependencies::get(keyvane::tokenStorage)) {}

MaybeStream OnStartProvidingPasskey::process(const AppAction& action) {
    const auto* start = action.as<AppAction::startProvidingPasskey>();
    if (start == nullptr) {
        return std::nullopt;
    }
    return flowkeep::runTask<AppAction>([credentials = credentialsStorage_, tokens = tokenStorage_,
                                         request = *start](const ExtActionSink& sink) {
        try {
            auto all = credentials->fetchAllCredentials();
            sink.yield(AppAction::updateCredentialsList{all});
            const auto found = std::find_if(all.begin(), all.end(), [&](const PasskeyCredentials& passkey) {
                return passkey.userHandle == request.userHandle &&
                       canonicallyEqual(passkey.relyingPartyId, request.relyingPartyId);
            });
            if (found == all.end()) {
                sink.yield(AppAction::handleError{AnyError(ExtensionError(ExtensionError::credsNotFound{}))});
                return;
            }
            sink.yield(AppAction::updateTokenList{tokens->listTokens()});
            sink.yield(AppAction::credForAuthenticationSelected{*found});
        } catch (...) {
            yieldCurrentError<AppAction>(sink);
        }
    });
}

} // namespace keyvane::ext
