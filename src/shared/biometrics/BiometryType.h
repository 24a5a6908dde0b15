#pragma once

namespace keyvane {

// The kind of biometric sensor the computer offers; none when biometry cannot be used. A
// fingerprint sensor is touchID.
enum class BiometryType { none, touchID, faceID, opticID };

} // namespace keyvane
