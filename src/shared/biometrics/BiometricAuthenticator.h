#pragma once

#include "shared/biometrics/BiometryType.h"

#include <optional>
#include <string>

namespace keyvane {

// The codes of the platform's biometric framework that the wrapper recognises.
enum BiometricErrorCode : int {
    biometricUserCancel = -2,
    biometryNotAvailable = -6,
    biometryNotEnrolled = -7,
};

// What the biometric backend reports instead of success.
struct BiometricFailure {
    int code = 0;
    std::string message;
};

// Whether the owner-with-biometrics policy can be evaluated; when it cannot, the backend may
// say why.
struct BiometricPolicyCheck {
    bool canEvaluate = false;
    std::optional<BiometricFailure> error;
};

// The biometric backend (the stand-in for the platform's authentication context).
class BiometricAuthenticatorProtocol {
public:
    virtual ~BiometricAuthenticatorProtocol() = default;
    virtual BiometricPolicyCheck canEvaluatePolicy() = 0;
    // Shows the prompt with the reason and no fallback button when fallbackTitle is empty;
    // waits for the user. Nothing on success.
    virtual std::optional<BiometricFailure> evaluatePolicy(const std::string& localizedReason,
                                                           const std::string& fallbackTitle) = 0;
    virtual BiometryType biometryType() = 0;
};

// Linux has no biometric backend yet: no biometry, the check is never available.
class NoBiometryAuthenticator final : public BiometricAuthenticatorProtocol {
public:
    BiometricPolicyCheck canEvaluatePolicy() override {
        return {false, BiometricFailure{biometryNotAvailable, "No biometric sensor is available"}};
    }
    std::optional<BiometricFailure> evaluatePolicy(const std::string&, const std::string&) override {
        return BiometricFailure{biometryNotAvailable, "No biometric sensor is available"};
    }
    BiometryType biometryType() override { return BiometryType::none; }
};

} // namespace keyvane
