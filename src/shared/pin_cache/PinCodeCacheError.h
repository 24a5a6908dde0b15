#pragma once

#include "shared/errors/Error.h"

#include <optional>
#include <string>

namespace keyvane {

namespace pin_code_cache_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
} // namespace pin_code_cache_error

// The only error that leaves the PIN cache: the operation, its line, and the cause (a crypto,
// storage or biometric error, or a text).
class PinCodeCacheError final : public ErrorEnum<PinCodeCacheError, pin_code_cache_error::generalError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = pin_code_cache_error::generalError;

    std::string description() const override {
        const auto& general = *as<generalError>();
        return describeGeneralError("PinCodeCacheError", general.function, general.line, general.error);
    }
};

} // namespace keyvane
