#pragma once

#include "shared/errors/Error.h"

#include <optional>
#include <string>

namespace keyvane {

namespace crypto_manager_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
} // namespace crypto_manager_error

// The only error of the crypto manager: the failing step's operation name, its line and the
// cause (a text, or the library's own error).
class CryptoManagerError final : public ErrorEnum<CryptoManagerError, crypto_manager_error::generalError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = crypto_manager_error::generalError;

    std::string description() const override {
        const auto& general = *as<generalError>();
        return describeGeneralError("CryptoManagerError", general.function, general.line, general.error);
    }
};

} // namespace keyvane
