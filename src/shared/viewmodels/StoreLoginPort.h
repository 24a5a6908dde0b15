#pragma once

#include "shared/login/LoginAction.h"
#include "shared/login/LoginState.h"
#include "shared/login/LoginStepRunner.h"
#include "shared/viewmodels/LoginStorePort.h"
#include "shared/viewmodels/StoreBridge.h"

#include <concepts>
#include <utility>

namespace keyvane::views {

// The login views' port over a deliverable's store. State is a LoginState with
// `navigationState.alert` and `navigationState.masterPassInputState`; Action holds the shared
// cases of shared/login, which is what the port sends.
//
// The window's appearance and disappearance (startMonitoring, stopMonitoring) also start and
// end the login's own steps (LoginStepRunner): the views send only what the user did.
// loginSucceeded() sends what a verified login leads to, by the program's own rule
// `loginFollowUp(state, serial)` (found where State is declared).
template <class State, class Action>
    requires std::derived_from<State, LoginState> && CarriesLoginCases<Action>
class StoreLoginPort final : public LoginStorePort {
public:
    explicit StoreLoginPort(flowkeep::Store<State, Action>& store) : bridge_(store), steps_(store) {}

    static LoginSlice select(const State& state) {
        return LoginSlice{state.loginViewState, state.navigationState.alert, state.masterPasswordState,
                          state.navigationState.masterPassInputState, state.pinCacheState.protection};
    }

    LoginSlice slice() const override { return select(bridge_.state()); }
    flowkeep::Subscription observe(std::function<void(const LoginSlice&)> onChange) override {
        return bridge_.template select<LoginSlice>(&StoreLoginPort::select, std::move(onChange));
    }

    void startMonitoring() override {
        send(login_action::startMonitoring{});
        steps_.appeared();
    }
    void stopMonitoring() override {
        steps_.disappeared();
        send(login_action::stopMonitoring{});
    }
    void setPassAuth(LoginAuthStatus status) override { send(login_action::setPassAuth{status}); }
    void setPinExist(StoredPinState state) override { send(login_action::setPinExist{state}); }
    void selectConnectedToken(const TokenInfo& token) override { send(login_action::selectConnectedToken{token}); }
    void performLoginOnToken(const std::string& serial, std::optional<SecretText> pin) override {
        send(login_action::performLoginOnToken{serial, std::move(pin)});
    }
    void validateMasterPassword(SecretText password) override {
        send(login_action::validateMasterPassword{std::move(password)});
    }
    void setMasterPassAuthError(std::optional<MasterPassAuthError> error) override {
        send(login_action::setMasterPassAuthError{std::move(error)});
    }
    void switchToPinView(const TokenInfo& token) override { send(login_action::switchToPinView{token}); }
    void hideAlert() override { send(login_action::hideAlert{}); }

    // The login sheet verified the PIN of the token with this serial: the store is sent what
    // the login was for, by the purpose its state records, or nothing.
    void loginSucceeded(const std::string& serial) {
        if (auto action = loginFollowUp(bridge_.state(), serial)) {
            send(std::move(*action));
        }
    }

private:
    void send(Action action) { bridge_.send(std::move(action)); }

    StoreBridge<State, Action> bridge_;
    LoginStepRunner<State, Action> steps_;
};

} // namespace keyvane::views
