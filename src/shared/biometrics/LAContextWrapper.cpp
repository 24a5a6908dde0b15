#include "shared/biometrics/LAContextWrapper.h"

#include "shared/biometrics/FprintdAuthenticator.h"
#include "shared/biometrics/LaContextError.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"

namespace keyvane {

namespace {

LaContextError mapFailure(const BiometricFailure& failure, SourceLine line = __builtin_LINE()) {
    switch (failure.code) {
    case biometricUserCancel:
        return LaContextError::userRejectedBiometry{};
    case biometryNotAvailable:
        return LaContextError::bioNotAvailable{};
    case biometryNotEnrolled:
        return LaContextError::bioNotEnrolled{};
    default:
        return LaContextError::general(
            "performBiometricAuthentication()",
            failure.cause ? *failure.cause
                          : AnyError(TextError(failure.message + " (code " + std::to_string(failure.code) + ")")),
            line);
    }
}

} // namespace

std::shared_ptr<LAContextWrapperProtocol> makeLiveLAContextWrapper() {
    // fprintd is asked at every check: where it is missing (no bus, no service, no sensor) the
    // answers are those of a computer without biometry, and a service started later is found.
    return std::make_shared<LAContextWrapper>(std::make_shared<FprintdAuthenticator>());
}

std::shared_ptr<LAContextWrapperProtocol> makeTestLAContextWrapper() {
    return std::make_shared<LAContextWrapper>(std::make_shared<NoBiometryAuthenticator>());
}

LAContextWrapper::LAContextWrapper(std::shared_ptr<BiometricAuthenticatorProtocol> backend)
    : backend_(std::move(backend)) {}

void LAContextWrapper::performBiometricAuthentication() {
    const auto check = backend_->canEvaluatePolicy();
    if (!check.canEvaluate) {
        if (check.error) {
            throw mapFailure(*check.error);
        }
        throw LaContextError::general("performBiometricAuthentication()",
                                      "Unable to evaluate biometric authentication");
    }
    // An empty fallback title: the prompt offers no password fallback.
    if (const auto failure = backend_->evaluatePolicy(localizedReason, "")) {
        throw mapFailure(*failure);
    }
}

void LAContextWrapper::setBioEnabled(bool enabled) {
    if (enabled) {
        performBiometricAuthentication();
    }
    Dependencies::get(userDefaultsManager)->set(enabled, UserDefaultsKey::isBioEnabled);
}

BiometryType LAContextWrapper::biometryType() {
    return backend_->canEvaluatePolicy().canEvaluate ? backend_->biometryType() : BiometryType::none;
}

std::optional<bool> LAContextWrapper::isBioEnabled() {
    return Dependencies::get(userDefaultsManager)->value<bool>(UserDefaultsKey::isBioEnabled);
}

} // namespace keyvane
