#pragma once

namespace keyvane {

// The kind of biometric sensor the computer offers; none when biometry cannot be used.
enum class BiometryType { none, touchID, faceID, opticID };

} // namespace keyvane
