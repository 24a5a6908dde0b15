#pragma once

#include "flowkeep/Store.h"
#include "keyvane/state/AppAction.h"
#include "keyvane/state/AppState.h"
#include "shared/viewmodels/SettingsStorePort.h"
#include "shared/viewmodels/StoreBridge.h"

#include <utility>

namespace keyvane::app {

// The master-password settings sheet's port over the main program's store: its actions are
// this program's own cases, named here directly.
class StoreSettingsPort final : public views::SettingsStorePort {
public:
    explicit StoreSettingsPort(flowkeep::Store<AppState, AppAction>& store) : bridge_(store) {}

    void setBiometry(bool enabled) override { bridge_.send(AppAction::setBiometry{enabled, false}); }
    void setupMasterPassword(SecretText password) override {
        bridge_.send(AppAction::setupMasterPassword{std::move(password)});
    }
    void changeMasterPassword(SecretText password) override {
        bridge_.send(AppAction::changeMasterPassword{std::move(password)});
    }
    void disableMasterPassword() override { bridge_.send(AppAction::disableMasterPassword{}); }
    void enterMasterPasswordSettings(SecretText password) override {
        bridge_.send(AppAction::enterMasterPasswordSettings{std::move(password)});
    }
    void updateMasterPasswordError(std::optional<MasterPassAuthError> error) override {
        bridge_.send(AppAction::updateMasterPasswordError{std::move(error)});
    }

private:
    views::StoreBridge<AppState, AppAction> bridge_;
};

} // namespace keyvane::app
