#pragma once

#include "credential_ext/middlewares/ExtMiddleware.h"
#include "credential_ext/platform/AuthenticationServices.h"

#include <memory>

namespace keyvane::ext {

// The one place where a request ends: hands the registration, the assertion or the user's
// cancellation to the extension context, at once, inside the store's send. Answers no stream.
class OnCompletePasskeyRequest final : public ExtMiddleware {
public:
    explicit OnCompletePasskeyRequest(std::shared_ptr<ASCredentialProviderExtensionContext> extensionContext)
        : extensionContext_(std::move(extensionContext)) {}

    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<ASCredentialProviderExtensionContext> extensionContext_;
};

} // namespace keyvane::ext
