#pragma once

#include <ostream>

namespace keyvane {

// Whether a master password guards the PIN cache, and whether biometry may stand in for it.
enum class MasterPasswordState { disabled, enabled, enabledWithBio };

inline std::ostream& operator<<(std::ostream& out, MasterPasswordState state) {
    switch (state) {
    case MasterPasswordState::disabled:
        return out << "disabled";
    case MasterPasswordState::enabled:
        return out << "enabled";
    case MasterPasswordState::enabledWithBio:
        return out << "enabledWithBio";
    }
    return out << "MasterPasswordState(" << static_cast<int>(state) << ")";
}

} // namespace keyvane
