#pragma once

#include "shared/biometrics/BiometryType.h"
#include "shared/errors/Error.h"

#include <optional>
#include <string>

namespace keyvane {

// The codes of the platform's biometric framework that the wrapper recognises.
enum BiometricErrorCode : int {
    // The check itself failed: the sensor's service refused or went away.
    biometricFailed = -1,
    biometricUserCancel = -2,
    biometryNotAvailable = -6,
    biometryNotEnrolled = -7,
};

// What the biometric backend reports instead of success; the backend's own error, when it
// has one, travels as the cause.
struct BiometricFailure {
    int code = 0;
    std::string message;
    std::optional<AnyError> cause = std::nullopt;
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
    // waits for the user (so never on the GUI thread). Nothing on success.
    virtual std::optional<BiometricFailure> evaluatePolicy(const std::string& localizedReason,
                                                           const std::string& fallbackTitle) = 0;
    virtual BiometryType biometryType() = 0;
};

// No biometry: the check is never available (the test value of the registry, so that no test
// reaches the computer's fingerprint service).
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
