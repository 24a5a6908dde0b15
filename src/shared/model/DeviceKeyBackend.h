#pragma once

#include <ostream>

namespace keyvane {

// What holds the device key that protects the PIN cache: nothing (no cache), a TPM (the key
// cannot leave it), or a file that any process of the user can read.
enum class DeviceKeyBackend { none, tpm, file };

inline std::ostream& operator<<(std::ostream& out, DeviceKeyBackend backend) {
    switch (backend) {
    case DeviceKeyBackend::none:
        return out << "none";
    case DeviceKeyBackend::tpm:
        return out << "tpm";
    case DeviceKeyBackend::file:
        return out << "file";
    }
    return out << "DeviceKeyBackend(" << static_cast<int>(backend) << ")";
}

} // namespace keyvane
