#pragma once

#include "shared/errors/DefaultableError.h"
#include "shared/errors/Error.h"

#include <optional>
#include <string>

namespace keyvane {

namespace token_storage_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
struct tokenNotFound {};
struct multipleTokensWithSameSerial {};
} // namespace token_storage_error

// The only error that leaves the token record store.
class TokenStorageError final
    : public ErrorEnum<TokenStorageError, token_storage_error::generalError, token_storage_error::tokenNotFound,
                       token_storage_error::multipleTokensWithSameSerial>,
      public DefaultableError<TokenStorageError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = token_storage_error::generalError;
    using tokenNotFound = token_storage_error::tokenNotFound;
    using multipleTokensWithSameSerial = token_storage_error::multipleTokensWithSameSerial;

    static TokenStorageError makeDefaultError(const AnyError& error) {
        return general("makeDefaultError(_:)", error);
    }

    std::string description() const override {
        if (const auto* general = as<generalError>()) {
            return describeGeneralError("TokenStorageError", general->function, general->line, general->error);
        }
        return is<tokenNotFound>() ? "TokenStorageError.tokenNotFound"
                                   : "TokenStorageError.multipleTokensWithSameSerial";
    }
};

} // namespace keyvane
