#pragma once

#include "credential_ext/viewmodels/ExtensionStorePort.h"
#include "shared/viewmodels/StoreBridge.h"
#include "shared/viewmodels/StoreLoginPort.h"

#include <utility>

namespace keyvane::ext::views {

// The extension views' port over a request's store. State needs `navigationState.alert` and
// `.loginPurpose` (a case enumeration of auth{selectedCred}, completeRegistration, justSync),
// `credentialListState`, `registrationState` and the free functions `passkeysForRequest(state)`
// and `loginFollowUp(state, serial)` (found where State is declared, and sent by the login
// port, as in the main program); Action needs the cases of the port's operations, under the
// same names.
template <class State, class Action>
class StoreExtensionPort final : public ExtensionStorePort {
public:
    explicit StoreExtensionPort(flowkeep::Store<State, Action>& store) : bridge_(store), login_(store) {}

    static ExtensionSlice select(const State& state) {
        ExtensionSlice slice;
        slice.alert = state.navigationState.alert;
        if (const auto& purpose = state.navigationState.loginPurpose) {
            using Purpose = std::decay_t<decltype(*purpose)>;
            if (purpose->template is<typename Purpose::auth>()) {
                slice.purpose = LoginPurposeKind::auth;
            } else if (purpose->template is<typename Purpose::completeRegistration>()) {
                slice.purpose = LoginPurposeKind::completeRegistration;
            } else {
                slice.purpose = LoginPurposeKind::justSync;
            }
        }
        slice.tokens = state.credentialListState.tokens;
        slice.credentials = passkeysForRequest(state);
        if (state.registrationState) {
            slice.hasRegistration = true;
            slice.registrationUserName = state.registrationState->username;
            slice.registrationRelyingParty = state.registrationState->relyingPartyId;
        }
        return slice;
    }

    ExtensionSlice slice() const override { return select(bridge_.state()); }
    flowkeep::Subscription observe(std::function<void(const ExtensionSlice&)> onChange) override {
        return bridge_.template select<ExtensionSlice>(&StoreExtensionPort::select, std::move(onChange));
    }
    keyvane::views::LoginStorePort& loginPort() override { return login_; }

    void appLaunched() override { send(typename Action::appLaunched{}); }
    void cancelRequest() override { send(typename Action::cancelRequest{}); }
    void dismissLoginView() override { send(typename Action::dismissLoginView{}); }
    void hideAlert() override { send(typename Action::hideAlert{}); }
    void syncingButtonPressed() override { send(typename Action::syncingButtonPressed{}); }
    void credForAuthenticationSelected(const PasskeyCredentials& credential) override {
        send(typename Action::credForAuthenticationSelected{credential});
    }
    void completeRegistrationButtonIsPressed() override {
        send(typename Action::completeRegistrationButtonIsPressed{});
    }
    void loginSucceeded(const std::string& serial) override { login_.loginSucceeded(serial); }

private:
    void send(Action action) { bridge_.send(std::move(action)); }

    keyvane::views::StoreBridge<State, Action> bridge_;
    keyvane::views::StoreLoginPort<State, Action> login_;
};

} // namespace keyvane::ext::views
