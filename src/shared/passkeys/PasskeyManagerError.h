#pragma once

#include "shared/errors/DefaultableError.h"
#include "shared/errors/Error.h"

#include <optional>
#include <string>

namespace keyvane {

namespace passkey_manager_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
struct tokenNotFound {};
struct credsNotFound {};
struct touchTimeExpired {};
} // namespace passkey_manager_error

// The only error that leaves the passkey service.
class PasskeyManagerError final
    : public ErrorEnum<PasskeyManagerError, passkey_manager_error::generalError, passkey_manager_error::tokenNotFound,
                       passkey_manager_error::credsNotFound, passkey_manager_error::touchTimeExpired>,
      public DefaultableError<PasskeyManagerError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = passkey_manager_error::generalError;
    using tokenNotFound = passkey_manager_error::tokenNotFound;
    using credsNotFound = passkey_manager_error::credsNotFound;
    using touchTimeExpired = passkey_manager_error::touchTimeExpired;

    static PasskeyManagerError makeDefaultError(const AnyError& error) {
        return general("makeDefaultError(_:)", error);
    }

    std::string description() const override {
        if (const auto* general = as<generalError>()) {
            return describeGeneralError("PasskeyManagerError", general->function, general->line, general->error);
        }
        if (is<tokenNotFound>()) {
            return "PasskeyManagerError.tokenNotFound";
        }
        return is<credsNotFound>() ? "PasskeyManagerError.credsNotFound" : "PasskeyManagerError.touchTimeExpired";
    }
};

} // namespace keyvane
