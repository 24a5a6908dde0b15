#pragma once

#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/redux/SecretText.h"

#include <optional>

namespace keyvane::views {

// What the master-password settings sheet sends beyond the login's actions. Only the main
// program has the sheet and these actions: it implements the port over its own store
// (keyvane::app::StoreSettingsPort). The sheet reads its state through LoginStorePort.
class SettingsStorePort {
public:
    virtual ~SettingsStorePort() = default;

    virtual void setBiometry(bool enabled) = 0;
    virtual void setupMasterPassword(SecretText password) = 0;
    virtual void changeMasterPassword(SecretText password) = 0;
    virtual void disableMasterPassword() = 0;
    // The password typed into the prompt that guards the sheet.
    virtual void enterMasterPasswordSettings(SecretText password) = 0;
    virtual void updateMasterPasswordError(std::optional<MasterPassAuthError> error) = 0;
};

} // namespace keyvane::views
