#include "credential_ext/state/AppReducer.h"

#include "shared/login/LoginPaneMachine.h"
#include "shared/login/LoginReduction.h"

#include <variant>

namespace keyvane::ext {

namespace {

using Pane = LoginDisplayViewState;

// Applies one action to the state. One handler per case: a case without a handler does not
// compile. The cases shared with the main program go to LoginReduction, after what they mean
// to the extension alone.
class Reduction {
public:
    explicit Reduction(AppState& state) : state_(state) {}

    template <LoginCase Case>
    void operator()(const Case& action) {
        login(action);
    }
    void operator()(const AppAction::startSync& action) {
        state_.navigationState.loginPurpose = LoginPuprose::justSync{};
        login(action);
    }
    void operator()(const AppAction::dismissLoginView& action) {
        state_.navigationState.loginPurpose.reset();
        login(action);
    }

    void operator()(const AppAction::waitForTouch& action) {
        state_.loginViewState.loginDisplayViewState = Pane::waitForTouch{action.seconds};
    }
    void operator()(const AppAction::credForAuthenticationSelected& action) {
        state_.navigationState.loginPurpose = LoginPuprose::auth{action.credential};
        // The stored record, not a connected token: the pane waits for it, and the token
        // events move on once it is connected. Without a record the pane stays.
        if (const auto* token =
                LoginPaneMachine::storedToken(state_.credentialListState.tokens, action.credential.tokenSerial)) {
            state_.loginViewState.loginDisplayViewState = Pane::waitForSpecificToken{*token};
        }
    }
    void operator()(const AppAction::completeRegistrationButtonIsPressed&) {
        state_.navigationState.loginPurpose = LoginPuprose::completeRegistration{};
        state_.loginViewState.loginDisplayViewState = Pane::waitForAnyToken{};
    }

    // Requests, ceremonies and work that only middlewares carry out.
    void operator()(const AppAction::completeRegistrationRequest&) {}
    void operator()(const AppAction::finishRegistration&) {}
    void operator()(const AppAction::startProvidingPasskey&) {}
    void operator()(const AppAction::completeAuthenticationRequest&) {}
    void operator()(const AppAction::finishAuthentication&) {}
    void operator()(const AppAction::setMasterPassStateUpdated&) {}
    void operator()(const AppAction::cancelRequest&) {}

private:
    template <LoginCase Case>
    void login(const Case& action) {
        LoginReduction(state_, state_.navigationState.alert, LoginContext{awaitedSerial()})(action);
    }

    // A sign-in must log in to the chosen passkey's token; registration and refresh take any.
    std::optional<std::string> awaitedSerial() const {
        const auto& purpose = state_.navigationState.loginPurpose;
        if (const auto* auth = purpose ? purpose->as<LoginPuprose::auth>() : nullptr) {
            return auth->selectedCred.tokenSerial;
        }
        return std::nullopt;
    }

    AppState& state_;
};

} // namespace

AppState AppReducer::reduce(AppState state, const AppAction& action) const {
    std::visit(Reduction(state), action.value);
    return state;
}

} // namespace keyvane::ext
