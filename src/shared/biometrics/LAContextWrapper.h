#pragma once

#include "shared/biometrics/BiometricAuthenticator.h"
#include "shared/biometrics/LAContextWrapperProtocol.h"

#include <memory>

namespace keyvane {

// The biometric check on a backend; the preference through the registry's
// userDefaultsManager at each use. Holds no state of its own, so calls may overlap.
class LAContextWrapper final : public LAContextWrapperProtocol {
public:
    explicit LAContextWrapper(std::shared_ptr<BiometricAuthenticatorProtocol> backend);

    void performBiometricAuthentication() override;
    void setBioEnabled(bool enabled) override;
    BiometryType biometryType() override;
    std::optional<bool> isBioEnabled() override;

    static constexpr const char* localizedReason = "пройти аутентификацию для доступа к конфиденциальным данным";

private:
    std::shared_ptr<BiometricAuthenticatorProtocol> backend_;
};

} // namespace keyvane
