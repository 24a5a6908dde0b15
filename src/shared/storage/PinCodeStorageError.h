#pragma once

#include "shared/errors/Error.h"

#include <optional>
#include <string>

namespace keyvane {

namespace pin_code_storage_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
} // namespace pin_code_storage_error

// The only error of the PIN entry store: the operation, its line and the object store's error.
class PinCodeStorageError final : public ErrorEnum<PinCodeStorageError, pin_code_storage_error::generalError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = pin_code_storage_error::generalError;

    std::string description() const override {
        const auto& general = *as<generalError>();
        return describeGeneralError("PinCodeStorageError", general.function, general.line, general.error);
    }
};

} // namespace keyvane
