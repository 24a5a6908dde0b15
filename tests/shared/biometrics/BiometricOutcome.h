#pragma once

#include "shared/biometrics/LaContextError.h"

#include <functional>
#include <string>

namespace keyvane::test_support {

// Which case a biometric operation failed with ("none" when it passed); a general error with
// the description of its underlying error.
inline std::string biometricOutcome(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const LaContextError& error) {
        if (const auto* general = error.as<LaContextError::generalError>()) {
            return "general:" + general->error->description();
        }
        if (error.is<LaContextError::bioNotAvailable>()) {
            return "bioNotAvailable";
        }
        return error.is<LaContextError::userRejectedBiometry>() ? "userRejectedBiometry" : "bioNotEnrolled";
    }
    return "none";
}

} // namespace keyvane::test_support
