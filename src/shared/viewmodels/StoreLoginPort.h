#pragma once

#include "shared/viewmodels/LoginStorePort.h"
#include "shared/viewmodels/StoreBridge.h"

#include <utility>

namespace keyvane::views {

// The login views' port over a deliverable's store. State needs `loginViewState`,
// `navigationState.alert`, `navigationState.masterPassInputState` and `masterPasswordState`;
// Action needs the cases of the port's operations, under the same names.
template <class State, class Action>
class StoreLoginPort final : public LoginStorePort {
public:
    explicit StoreLoginPort(flowkeep::Store<State, Action>& store) : bridge_(store) {}

    static LoginSlice select(const State& state) {
        return LoginSlice{state.loginViewState, state.navigationState.alert, state.masterPasswordState,
                          state.navigationState.masterPassInputState, state.pinCacheState.protection};
    }

    LoginSlice slice() const override { return select(bridge_.state()); }
    flowkeep::Subscription observe(std::function<void(const LoginSlice&)> onChange) override {
        return bridge_.template select<LoginSlice>(&StoreLoginPort::select, std::move(onChange));
    }

    void startMonitoring() override { send(typename Action::startMonitoring{}); }
    void stopMonitoring() override { send(typename Action::stopMonitoring{}); }
    void setPassAuth(LoginAuthStatus status) override { send(typename Action::setPassAuth{status}); }
    void setPinExist(StoredPinState state) override { send(typename Action::setPinExist{state}); }
    void selectConnectedToken(const TokenInfo& token) override { send(typename Action::selectConnectedToken{token}); }
    void performLoginOnToken(const std::string& serial, std::optional<SecretText> pin) override {
        send(typename Action::performLoginOnToken{serial, std::move(pin)});
    }
    void checkHasPinForToken(const std::string& serial) override { send(typename Action::checkHasPinForToken{serial}); }
    void validateBio() override { send(typename Action::validateBio{}); }
    void validateMasterPassword(SecretText password) override {
        send(typename Action::validateMasterPassword{std::move(password)});
    }
    void setMasterPassAuthError(std::optional<MasterPassAuthError> error) override {
        send(typename Action::setMasterPassAuthError{std::move(error)});
    }
    void switchToPinView(const TokenInfo& token) override { send(typename Action::switchToPinView{token}); }
    void hideAlert() override { send(typename Action::hideAlert{}); }

    // The master-password settings sheet exists only where the deliverable's actions have its
    // cases (the main program); elsewhere nothing calls these, and they send nothing.
    void setBiometry(bool enabled) override {
        if constexpr (requires { typename Action::setBiometry; }) {
            send(typename Action::setBiometry{enabled, false});
        }
    }
    void setupMasterPassword(SecretText password) override {
        if constexpr (requires { typename Action::setupMasterPassword; }) {
            send(typename Action::setupMasterPassword{std::move(password)});
        }
    }
    void changeMasterPassword(SecretText password) override {
        if constexpr (requires { typename Action::changeMasterPassword; }) {
            send(typename Action::changeMasterPassword{std::move(password)});
        }
    }
    void disableMasterPassword() override {
        if constexpr (requires { typename Action::disableMasterPassword; }) {
            send(typename Action::disableMasterPassword{});
        }
    }
    void enterMasterPasswordSettings(SecretText password) override {
        if constexpr (requires { typename Action::enterMasterPasswordSettings; }) {
            send(typename Action::enterMasterPasswordSettings{std::move(password)});
        }
    }
    void updateMasterPasswordError(std::optional<MasterPassAuthError> error) override {
        if constexpr (requires { typename Action::updateMasterPasswordError; }) {
            send(typename Action::updateMasterPasswordError{std::move(error)});
        }
    }

private:
    void send(Action action) { bridge_.send(std::move(action)); }

    StoreBridge<State, Action> bridge_;
};

} // namespace keyvane::views
