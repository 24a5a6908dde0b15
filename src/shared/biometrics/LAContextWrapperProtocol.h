#pragma once

#include "shared/biometrics/BiometryType.h"
#include "shared/dependencies/DependencyRegistry.h"

#include <memory>
#include <optional>

namespace keyvane {

// The biometric check, the computer's biometry type, and the user's choice to allow
// biometric unlock.
class LAContextWrapperProtocol {
public:
    virtual ~LAContextWrapperProtocol() = default;
    // Waits for the user; fails with LaContextError.
    virtual void performBiometricAuthentication() = 0;
    // true asks for a successful check first; fails with LaContextError.
    virtual void setBioEnabled(bool enabled) = 0;
    virtual BiometryType biometryType() = 0;
    // Nothing when never set (or not stored as a Boolean).
    virtual std::optional<bool> isBioEnabled() = 0;
};

// On fprintd (the computer's fingerprint service).
std::shared_ptr<LAContextWrapperProtocol> makeLiveLAContextWrapper();
// Without biometry, so that no test reaches the computer's own fingerprint service.
std::shared_ptr<LAContextWrapperProtocol> makeTestLAContextWrapper();

inline const DependencyKey<LAContextWrapperProtocol> laContextWrapper{"laContextWrapper", makeLiveLAContextWrapper,
                                                                      makeTestLAContextWrapper};

} // namespace keyvane
