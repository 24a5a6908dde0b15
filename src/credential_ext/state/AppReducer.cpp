#include "credential_ext/state/AppReducer.h"

#include "shared/redux/LoginPaneMachine.h"

#include <variant>

namespace keyvane::ext {

namespace {

using Pane = LoginDisplayViewState;

// Applies one action to the state. One handler per case: a case without a handler does not
// compile.
class Reduction {
public:
    explicit Reduction(AppState& state) : state_(state) {}

    void operator()(const AppAction::handleError& action) {
        state_.navigationState.alert = AppAlert::reported(action.error);
        // A login that failed without a verdict on the PIN ends here.
        state_.loginViewState.isLoginInProgress = false;
    }
    void operator()(const AppAction::performLoginOnToken&) { state_.loginViewState.isLoginInProgress = true; }
    void operator()(const AppAction::receiveTokenEvents& action) {
        // A list of a run that has been stopped or replaced would bring its tokens back.
        if (action.monitoringRun != state_.loginViewState.tokenMonitoringRun) {
            return;
        }
        const LoginPaneContext context{state_.masterPasswordState, awaitedSerial(), &state_.credentialListState.tokens};
        LoginPaneMachine::receiveTokenEvents(state_.loginViewState, action.events, context);
    }
    void operator()(const AppAction::selectConnectedToken& action) {
        state_.loginViewState.loginDisplayViewState =
            LoginPaneMachine::unlockPane(state_.masterPasswordState, action.token);
    }
    void operator()(const AppAction::updateTokenList& action) { state_.credentialListState.tokens = action.tokens; }
    void operator()(const AppAction::updateCredentialsList& action) {
        state_.credentialListState.credentials = action.credentials;
    }
    void operator()(const AppAction::updatePinVerificationStatus& action) {
        state_.loginViewState.verificationStatus = action.status;
        state_.loginViewState.isLoginInProgress = false;
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
    void operator()(const AppAction::updateMasterPasswordState& action) {
        LoginPaneMachine::masterPasswordStateChanged(state_.loginViewState, action.state);
        state_.masterPasswordState = action.state;
    }
    void operator()(const AppAction::setPassAuth& action) { state_.loginViewState.authStatus = action.status; }
    void operator()(const AppAction::setMasterPassAuthError& action) {
        state_.loginViewState.masterPassAuthError = action.error;
    }
    void operator()(const AppAction::setPinExist& action) { state_.loginViewState.storedPinState = action.state; }
    void operator()(const AppAction::setPinCacheHasPins& action) { state_.pinCacheState.hasPins = action.hasPins; }
    void operator()(const AppAction::switchToPinView& action) {
        state_.loginViewState.loginDisplayViewState = Pane::enterPin{action.token};
    }
    void operator()(const AppAction::hideAlert&) { state_.navigationState.alert.reset(); }
    void operator()(const AppAction::startMonitoring&) { LoginPaneMachine::startMonitoring(state_.loginViewState); }
    void operator()(const AppAction::stopMonitoring&) { LoginPaneMachine::stopMonitoring(state_.loginViewState); }
    void operator()(const AppAction::dismissLoginView&) { setPurpose(std::nullopt); }
    void operator()(const AppAction::completeRegistrationButtonIsPressed&) {
        setPurpose(LoginPuprose::completeRegistration{});
    }
    void operator()(const AppAction::startSync&) { setPurpose(LoginPuprose::justSync{}); }

    // Requests, ceremonies and work that only middlewares carry out.
    void operator()(const AppAction::completeRegistrationRequest&) {}
    void operator()(const AppAction::finishRegistration&) {}
    void operator()(const AppAction::startProvidingPasskey&) {}
    void operator()(const AppAction::completeAuthenticationRequest&) {}
    void operator()(const AppAction::finishAuthentication&) {}
    void operator()(const AppAction::enumerateCredentials&) {}
    void operator()(const AppAction::setMasterPassStateUpdated&) {}
    void operator()(const AppAction::validateMasterPassword&) {}
    void operator()(const AppAction::checkHasPinForToken&) {}
    void operator()(const AppAction::appLaunched&) {}
    void operator()(const AppAction::cancelRequest&) {}
    void operator()(const AppAction::syncingButtonPressed&) {}
    void operator()(const AppAction::validateBio&) {}

private:
    void setPurpose(std::optional<LoginPuprose> purpose) {
        state_.navigationState.loginPurpose = std::move(purpose);
        state_.loginViewState.loginDisplayViewState = Pane::waitForAnyToken{};
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
