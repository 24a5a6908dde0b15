#pragma once

#include "shared/errors/DefaultableError.h"
#include "shared/errors/Error.h"

#include <optional>
#include <string>

namespace keyvane {

namespace credentials_storage_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
} // namespace credentials_storage_error

// The only error that leaves the passkey record store.
class CredentialsStorageError final
    : public ErrorEnum<CredentialsStorageError, credentials_storage_error::generalError>,
      public DefaultableError<CredentialsStorageError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = credentials_storage_error::generalError;

    static CredentialsStorageError makeDefaultError(const AnyError& error) {
        return general("makeDefaultError(_:)", error);
    }

    std::string description() const override {
        const auto& general = *as<generalError>();
        return describeGeneralError("CredentialsStorageError", general.function, general.line, general.error);
    }
};

} // namespace keyvane
