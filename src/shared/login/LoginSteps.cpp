#include "shared/login/LoginSteps.h"

#include "shared/login/LoginPaneMachine.h"

namespace keyvane {

namespace {

using Pane = LoginDisplayViewState;

// The master-password pane's unlock: the cached PIN at once after the password, a second later
// after a finger (the dots show first). Other outcomes wait for the user.
void unlocked(const LoginViewState& view, LoginSteps::Plan& plan) {
    const auto* entry = view.loginDisplayViewState.as<Pane::enterMasterPassword>();
    if (entry == nullptr) {
        return;
    }
    switch (view.authStatus) {
    case LoginAuthStatus::passedByMasterPassword:
        plan.next.emplace_back(LoginSteps::UseCachedPin{entry->token});
        break;
    case LoginAuthStatus::passedByBiometry:
        plan.afterBiometryPause = LoginSteps::UseCachedPin{entry->token};
        break;
    case LoginAuthStatus::unknown:
    case LoginAuthStatus::failed:
        break;
    }
}

// A refused PIN in the master-password pane was the cached one: the user types it instead.
void verdict(const LoginViewState& view, LoginSteps::Plan& plan) {
    const auto* entry = view.loginDisplayViewState.as<Pane::enterMasterPassword>();
    if (entry != nullptr && view.verificationStatus.is<PinVerificationStatus::incorrect>()) {
        plan.next.emplace_back(LoginAction(login_action::switchToPinView{entry->token}));
    }
}

} // namespace

LoginSteps::Plan LoginSteps::entered(const LoginViewState& view, MasterPasswordState masterPassword) {
    Plan plan;
    const auto& pane = view.loginDisplayViewState;
    if (const auto* wait = pane.as<Pane::waitForSpecificToken>()) {
        // Known before the token arrives, so its unlock pane can offer the cache at once.
        plan.next.emplace_back(LoginAction(login_action::checkHasPinForToken{wait->token.serial}));
    } else if (const auto* entry = pane.as<Pane::enterMasterPassword>()) {
        if (masterPassword == MasterPasswordState::enabledWithBio) {
            plan.next.emplace_back(LoginAction(login_action::validateBio{}));
        }
        plan.next.emplace_back(LoginAction(login_action::checkHasPinForToken{entry->token.serial}));
        // An unlock or a verdict already in the state counts as if it came now.
        unlocked(view, plan);
        verdict(view, plan);
    }
    return plan;
}

LoginSteps::Plan LoginSteps::changed(const LoginViewState& before, const LoginViewState& after,
                                     MasterPasswordState masterPassword) {
    if (!LoginPaneMachine::isSamePane(before.loginDisplayViewState, after.loginDisplayViewState)) {
        return entered(after, masterPassword);
    }
    Plan plan;
    if (after.verificationStatus != before.verificationStatus) {
        verdict(after, plan);
    }
    if (after.authStatus != before.authStatus) {
        unlocked(after, plan);
    }
    return plan;
}

std::optional<LoginAction> LoginSteps::cachedPinOrPinPane(const LoginViewState& view, const TokenInfo& token) {
    if (view.storedPinState != StoredPinState::exist) {
        return LoginAction(login_action::switchToPinView{token});
    }
    if (view.isLoginInProgress) {
        return std::nullopt;
    }
    return LoginAction(login_action::performLoginOnToken{token.serial, std::nullopt});
}

} // namespace keyvane
