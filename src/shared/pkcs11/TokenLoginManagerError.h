#pragma once

#include "shared/errors/DefaultableError.h"
#include "shared/errors/Error.h"

#include <cstdint>
#include <optional>
#include <string>

namespace keyvane {

namespace token_login_manager_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
struct incorrectPin {
    std::optional<std::uint64_t> attemptsLeft; // absent when the token does not tell
};
struct tokenNotFound {};
struct pinLocked {};
} // namespace token_login_manager_error

// The only error that leaves the token login service.
class TokenLoginManagerError final
    : public ErrorEnum<TokenLoginManagerError, token_login_manager_error::generalError,
                       token_login_manager_error::incorrectPin, token_login_manager_error::tokenNotFound,
                       token_login_manager_error::pinLocked>,
      public DefaultableError<TokenLoginManagerError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = token_login_manager_error::generalError;
    using incorrectPin = token_login_manager_error::incorrectPin;
    using tokenNotFound = token_login_manager_error::tokenNotFound;
    using pinLocked = token_login_manager_error::pinLocked;

    static TokenLoginManagerError makeDefaultError(const AnyError& error) {
        return general("makeDefaultError(_:)", error);
    }

    std::string description() const override {
        if (const auto* general = as<generalError>()) {
            return describeGeneralError("TokenLoginManagerError", general->function, general->line,
                                        general->error);
        }
        if (const auto* wrong = as<incorrectPin>()) {
            return wrong->attemptsLeft
                       ? "TokenLoginManagerError.incorrectPin(" + std::to_string(*wrong->attemptsLeft) + " left)"
                       : "TokenLoginManagerError.incorrectPin";
        }
        return is<tokenNotFound>() ? "TokenLoginManagerError.tokenNotFound" : "TokenLoginManagerError.pinLocked";
    }
};

} // namespace keyvane
