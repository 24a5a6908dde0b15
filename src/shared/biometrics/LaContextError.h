#pragma once

#include "shared/errors/Error.h"

#include <optional>
#include <string>

namespace keyvane {

namespace la_context_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
struct bioNotAvailable {};
struct userRejectedBiometry {};
struct bioNotEnrolled {};
} // namespace la_context_error

// The error of the biometric check.
class LaContextError final
    : public ErrorEnum<LaContextError, la_context_error::generalError, la_context_error::bioNotAvailable,
                       la_context_error::userRejectedBiometry, la_context_error::bioNotEnrolled> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = la_context_error::generalError;
    using bioNotAvailable = la_context_error::bioNotAvailable;
    using userRejectedBiometry = la_context_error::userRejectedBiometry;
    using bioNotEnrolled = la_context_error::bioNotEnrolled;

    std::string description() const override {
        if (const auto* general = as<generalError>()) {
            return describeGeneralError("LaContextError", general->function, general->line, general->error);
        }
        if (is<bioNotAvailable>()) {
            return "LaContextError.bioNotAvailable";
        }
        return is<userRejectedBiometry>() ? "LaContextError.userRejectedBiometry" : "LaContextError.bioNotEnrolled";
    }
};

} // namespace keyvane
