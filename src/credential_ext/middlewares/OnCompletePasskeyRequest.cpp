#include "credential_ext/middlewares/OnCompletePasskeyRequest.h"

namespace keyvane::ext {

MaybeStream OnCompletePasskeyRequest::process(const AppAction& action) {
    if (const auto* registration = action.as<AppAction::completeRegistrationRequest>()) {
        extensionContext_->completeRegistrationRequest(registration->credential);
    } else if (const auto* assertion = action.as<AppAction::completeAuthenticationRequest>()) {
        extensionContext_->completeAssertionRequest(assertion->credential);
    } else if (action.is<AppAction::cancelRequest>()) {
        extensionContext_->cancelRequest(ASExtensionErrorCode::userCanceled);
    }
    return std::nullopt;
}

} // namespace keyvane::ext
