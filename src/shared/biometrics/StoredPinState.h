#pragma once

#include <cstdint>
#include <ostream>

namespace keyvane {

// Whether a cached PIN exists for the token being logged in to.
enum class StoredPinState : std::uint8_t { notChecked, exist, absent };

inline std::ostream& operator<<(std::ostream& out, StoredPinState state) {
    switch (state) {
    case StoredPinState::notChecked:
        return out << "notChecked";
    case StoredPinState::exist:
        return out << "exist";
    case StoredPinState::absent:
        return out << "absent";
    }
    return out << "StoredPinState(" << static_cast<int>(state) << ")";
}

} // namespace keyvane
