#pragma once

#include "shared/errors/Error.h"

#include <optional>
#include <string>

namespace keyvane {

namespace credential_identity_store_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
} // namespace credential_identity_store_error

// The failure of publishing the passkey identities.
class CredentialIdentityStoreError final
    : public ErrorEnum<CredentialIdentityStoreError, credential_identity_store_error::generalError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = credential_identity_store_error::generalError;

    std::string description() const override {
        const auto& general = *as<generalError>();
        return describeGeneralError("CredentialIdentityStoreError", general.function, general.line, general.error);
    }
};

} // namespace keyvane
