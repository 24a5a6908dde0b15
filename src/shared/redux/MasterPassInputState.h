#pragma once

#include "shared/biometrics/MasterPassAuthError.h"

#include <optional>

namespace keyvane {

// The master-password prompt that guards the settings sheet.
struct MasterPassInputState {
    bool isShown = false;
    std::optional<MasterPassAuthError> error; // the outcome of the last wrong entry
    bool operator==(const MasterPassInputState&) const = default;
};

} // namespace keyvane
