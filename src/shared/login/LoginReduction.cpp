#include "shared/login/LoginReduction.h"

#include "shared/login/LoginPaneMachine.h"

namespace keyvane {

using Pane = LoginDisplayViewState;

void LoginReduction::operator()(const login_action::handleError& action) {
    alert_ = AppAlert::reported(action.error);
    // A login that failed without a verdict on the PIN ends here.
    state_.loginViewState.isLoginInProgress = false;
}

void LoginReduction::operator()(const login_action::performLoginOnToken&) {
    state_.loginViewState.isLoginInProgress = true;
}

void LoginReduction::operator()(const login_action::receiveTokenEvents& action) {
    // A list of a run that has been stopped or replaced would bring its tokens back.
    if (action.monitoringRun != state_.loginViewState.tokenMonitoringRun) {
        return;
    }
    const LoginPaneContext context{state_.masterPasswordState, context_.awaitedSerial,
                                   &state_.credentialListState.tokens};
    LoginPaneMachine::receiveTokenEvents(state_.loginViewState, action.events, context);
}

void LoginReduction::operator()(const login_action::selectConnectedToken& action) {
    state_.loginViewState.loginDisplayViewState = LoginPaneMachine::unlockPane(state_.masterPasswordState, action.token);
}

void LoginReduction::operator()(const login_action::updateTokenList& action) {
    state_.credentialListState.tokens = action.tokens;
}

void LoginReduction::operator()(const login_action::updateCredentialsList& action) {
    state_.credentialListState.credentials = action.credentials;
}

void LoginReduction::operator()(const login_action::updatePinVerificationStatus& action) {
    state_.loginViewState.verificationStatus = action.status;
    state_.loginViewState.isLoginInProgress = false;
}

void LoginReduction::operator()(const login_action::updateMasterPasswordState& action) {
    state_.masterPasswordState = action.state;
    if (action.state == MasterPasswordState::disabled) {
        state_.pinCacheState.protection = DeviceKeyBackend::none;
    } else if (action.protection) {
        state_.pinCacheState.protection = *action.protection;
    }
    LoginPaneMachine::masterPasswordStateChanged(state_.loginViewState, action.state);
}

void LoginReduction::operator()(const login_action::setPassAuth& action) {
    state_.loginViewState.authStatus = action.status;
}

void LoginReduction::operator()(const login_action::setMasterPassAuthError& action) {
    state_.loginViewState.masterPassAuthError = action.error;
}

void LoginReduction::operator()(const login_action::setPinExist& action) {
    state_.loginViewState.storedPinState = action.state;
}

void LoginReduction::operator()(const login_action::setPinCacheHasPins& action) {
    state_.pinCacheState.hasPins = action.hasPins;
}

void LoginReduction::operator()(const login_action::switchToPinView& action) {
    state_.loginViewState.loginDisplayViewState = Pane::enterPin{action.token};
}

void LoginReduction::operator()(const login_action::startMonitoring&) {
    LoginPaneMachine::startMonitoring(state_.loginViewState);
}

void LoginReduction::operator()(const login_action::stopMonitoring&) {
    LoginPaneMachine::stopMonitoring(state_.loginViewState);
}

// A new login starts, or the sheet closes: either way the next one waits for any token.
void LoginReduction::operator()(const login_action::startSync&) {
    state_.loginViewState.loginDisplayViewState = Pane::waitForAnyToken{};
}

void LoginReduction::operator()(const login_action::dismissLoginView&) {
    state_.loginViewState.loginDisplayViewState = Pane::waitForAnyToken{};
}

void LoginReduction::operator()(const login_action::hideAlert&) { alert_.reset(); }

} // namespace keyvane
