#pragma once

#include "shared/login/LoginAction.h"
#include "shared/login/LoginState.h"
#include "shared/viewmodels/LoginStorePort.h"
#include "shared/viewmodels/StoreBridge.h"

#include <concepts>
#include <utility>

namespace keyvane::views {

// The login views' port over a deliverable's store. State is a LoginState with
// `navigationState.alert` and `navigationState.masterPassInputState`; Action holds the shared
// cases of shared/login, which is what the port sends.
template <class State, class Action>
    requires std::derived_from<State, LoginState> && CarriesLoginCases<Action>
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

    void startMonitoring() override { send(login_action::startMonitoring{}); }
    void stopMonitoring() override { send(login_action::stopMonitoring{}); }
    void setPassAuth(LoginAuthStatus status) override { send(login_action::setPassAuth{status}); }
    void setPinExist(StoredPinState state) override { send(login_action::setPinExist{state}); }
    void selectConnectedToken(const TokenInfo& token) override { send(login_action::selectConnectedToken{token}); }
    void performLoginOnToken(const std::string& serial, std::optional<SecretText> pin) override {
        send(login_action::performLoginOnToken{serial, std::move(pin)});
    }
    void checkHasPinForToken(const std::string& serial) override { send(login_action::checkHasPinForToken{serial}); }
    void validateBio() override { send(login_action::validateBio{}); }
    void validateMasterPassword(SecretText password) override {
        send(login_action::validateMasterPassword{std::move(password)});
    }
    void setMasterPassAuthError(std::optional<MasterPassAuthError> error) override {
        send(login_action::setMasterPassAuthError{std::move(error)});
    }
    void switchToPinView(const TokenInfo& token) override { send(login_action::switchToPinView{token}); }
    void hideAlert() override { send(login_action::hideAlert{}); }

private:
    void send(Action action) { bridge_.send(std::move(action)); }

    StoreBridge<State, Action> bridge_;
};

} // namespace keyvane::views
