#include "keyvane/state/AppReducer.h"

#include "shared/login/LoginPaneMachine.h"
#include "shared/login/LoginReduction.h"

#include <variant>

namespace keyvane::app {

namespace {

using Pane = LoginDisplayViewState;

// Applies one action to the state. One handler per case: a case without a handler does not
// compile. The cases shared with the extension go to LoginReduction, after what they mean to
// this program alone.
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

    void operator()(const AppAction::updateOnboardingStatus& action) {
        state_.navigationState.onboardingState.onboardingStatus = action.status;
    }
    void operator()(const AppAction::updateMasterPasswordError& action) {
        state_.navigationState.masterPassInputState.error = action.error;
    }
    void operator()(const AppAction::updateBiometryType& action) { state_.biometryType = action.type; }
    void operator()(const AppAction::deleteButtonPressed& action) {
        state_.navigationState.loginPurpose = LoginPuprose::deleteCredentials{action.request};
        if (const auto* token =
                LoginPaneMachine::storedToken(state_.credentialListState.tokens, action.request.tokenSerial)) {
            state_.loginViewState.loginDisplayViewState = Pane::waitForSpecificToken{*token};
        }
    }
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

    // Work that only middlewares carry out.
    void operator()(const AppAction::enableExtension&) {}
    void operator()(const AppAction::enterMasterPasswordSettings&) {}
    void operator()(const AppAction::setBiometry&) {}
    void operator()(const AppAction::deleteToken&) {}
    void operator()(const AppAction::deleteCredentials&) {}
    void operator()(const AppAction::setupMasterPassword&) {}
    void operator()(const AppAction::changeMasterPassword&) {}
    void operator()(const AppAction::finishEnterMasterPasswordSettings&) {}
    void operator()(const AppAction::disableMasterPassword&) {}
    void operator()(const AppAction::resetPersistentData&) {}

private:
    template <LoginCase Case>
    void login(const Case& action) {
        LoginReduction(state_, state_.navigationState.alert, LoginContext{deletionSerial()})(action);
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
