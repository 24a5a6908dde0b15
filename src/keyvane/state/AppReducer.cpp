#include "keyvane/state/AppReducer.h"

#include "shared/redux/LoginPaneMachine.h"

#include <variant>

namespace keyvane::app {

namespace {

using Pane = LoginDisplayViewState;

Pane enter(const AppState& state, const TokenInfo& token) {
    return LoginPaneMachine::unlockPane(state.masterPasswordState, token);
}

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
    void operator()(const AppAction::updateOnboardingStatus& action) {
        state_.navigationState.onboardingState.onboardingStatus = action.status;
    }
    void operator()(const AppAction::updateMasterPasswordError& action) {
        state_.navigationState.masterPassInputState.error = action.error;
    }
    void operator()(const AppAction::setMasterPassAuthError& action) {
        state_.loginViewState.masterPassAuthError = action.error;
    }
    void operator()(const AppAction::updateBiometryType& action) { state_.biometryType = action.type; }
    void operator()(const AppAction::updateMasterPasswordState& action) {
        state_.masterPasswordState = action.state;
        if (action.state == MasterPasswordState::disabled) {
            state_.pinCacheState.protection = DeviceKeyBackend::none;
        } else if (action.protection) {
            state_.pinCacheState.protection = *action.protection;
        }
        LoginPaneMachine::masterPasswordStateChanged(state_.loginViewState, action.state);
    }
    void operator()(const AppAction::receiveTokenEvents& action) {
        // A list of a run that has been stopped or replaced would bring its tokens back.
        if (action.monitoringRun == state_.loginViewState.tokenMonitoringRun) {
            LoginPaneContext context{state_.masterPasswordState, deletionSerial(), &state_.credentialListState.tokens};
            LoginPaneMachine::receiveTokenEvents(state_.loginViewState, action.events, context);
        }
    }
    void operator()(const AppAction::selectConnectedToken& action) {
        state_.loginViewState.loginDisplayViewState = enter(state_, action.token);
    }
    void operator()(const AppAction::updatePinVerificationStatus& action) {
        state_.loginViewState.verificationStatus = action.status;
        state_.loginViewState.isLoginInProgress = false;
    }
    void operator()(const AppAction::updateTokenList& action) { state_.credentialListState.tokens = action.tokens; }
    void operator()(const AppAction::updateCredentialsList& action) {
        state_.credentialListState.credentials = action.credentials;
    }
    void operator()(const AppAction::deleteButtonPressed& action) {
        state_.navigationState.loginPurpose = LoginPuprose::deleteCredentials{action.request};
        if (const auto* token = storedToken(action.request.tokenSerial)) {
            state_.loginViewState.loginDisplayViewState = Pane::waitForSpecificToken{*token};
        }
    }
    void operator()(const AppAction::setPassAuth& action) { state_.loginViewState.authStatus = action.status; }
    void operator()(const AppAction::setPinExist& action) { state_.loginViewState.storedPinState = action.state; }
    void operator()(const AppAction::setPinCacheHasPins& action) { state_.pinCacheState.hasPins = action.hasPins; }
    void operator()(const AppAction::performLoginOnToken&) { state_.loginViewState.isLoginInProgress = true; }
    void operator()(const AppAction::switchToPinView& action) {
        state_.loginViewState.loginDisplayViewState = Pane::enterPin{action.token};
    }

    // Work that only middlewares carry out.
    void operator()(const AppAction::enableExtension&) {}
    void operator()(const AppAction::enterMasterPasswordSettings&) {}
    void operator()(const AppAction::setBiometry&) {}
    void operator()(const AppAction::enumerateCredentials&) {}
    void operator()(const AppAction::deleteToken&) {}
    void operator()(const AppAction::deleteCredentials&) {}
    void operator()(const AppAction::setupMasterPassword&) {}
    void operator()(const AppAction::changeMasterPassword&) {}
    void operator()(const AppAction::validateMasterPassword&) {}
    void operator()(const AppAction::checkHasPinForToken&) {}

    void operator()(const AppAction::hideAlert&) { state_.navigationState.alert.reset(); }
    void operator()(const AppAction::hideOnboarding&) {
        state_.navigationState.onboardingState.isOnboardingShown = false;
    }
    void operator()(const AppAction::quitMasterPasswordSettings&) {
        state_.navigationState.showSettings = false;
        state_.navigationState.masterPassInputState.error.reset();
    }
    void operator()(const AppAction::hideMasterPasswordInput&) {
        state_.navigationState.masterPassInputState.isShown = false;
        state_.navigationState.masterPassInputState.error.reset();
    }
    void operator()(const AppAction::startEnteringMasterPasswordSettings&) {
        state_.navigationState.showSettings = true;
        if (state_.masterPasswordState != MasterPasswordState::disabled) {
            state_.navigationState.masterPassInputState.isShown = true;
        }
    }
    void operator()(const AppAction::firstLaunch&) { state_.navigationState.onboardingState.isOnboardingShown = true; }
    void operator()(const AppAction::startMonitoring&) {
        LoginPaneMachine::startMonitoring(state_.loginViewState);
    }
    void operator()(const AppAction::stopMonitoring&) {
        LoginPaneMachine::stopMonitoring(state_.loginViewState);
    }
    void operator()(const AppAction::startSync&) {
        state_.navigationState.loginPurpose = LoginPuprose::justSync{};
        state_.loginViewState.loginDisplayViewState = Pane::waitForAnyToken{};
    }
    void operator()(const AppAction::dismissLoginView&) {
        state_.navigationState.loginPurpose.reset();
        state_.loginViewState.loginDisplayViewState = Pane::waitForAnyToken{};
    }
    void operator()(const AppAction::finishEnterMasterPasswordSettings&) {}
    void operator()(const AppAction::appLaunched&) {}
    void operator()(const AppAction::syncingButtonPressed&) {}
    void operator()(const AppAction::disableMasterPassword&) {}
    void operator()(const AppAction::validateBio&) {}
    void operator()(const AppAction::resetPersistentData&) {}

private:
    const TokenInfo* storedToken(const std::string& serial) const {
        return LoginPaneMachine::storedToken(state_.credentialListState.tokens, serial);
    }

    // The token whose passkeys are to be deleted: the login must happen on that one.
    std::optional<std::string> deletionSerial() const {
        const auto& purpose = state_.navigationState.loginPurpose;
        if (const auto* deletion = purpose ? purpose->as<LoginPuprose::deleteCredentials>() : nullptr) {
            return deletion->request.tokenSerial;
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

} // namespace keyvane::app
