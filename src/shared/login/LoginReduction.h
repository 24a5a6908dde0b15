#pragma once

#include "shared/login/LoginAction.h"
#include "shared/login/LoginState.h"
#include "shared/redux/AppAlert.h"

#include <optional>
#include <string>
#include <utility>

namespace keyvane {

// What the shared cases need of a program's state beyond LoginState, which each program
// derives from its own login purposes.
struct LoginContext {
    // The serial of the token the pending login must happen on (passkeys on it are to be
    // deleted, or one of its passkeys is to sign); none when any token will do.
    std::optional<std::string> awaitedSerial;
};

// Applies one shared case in place to the login state and the program's alert (which the
// login sheet shows): each program's reducer hands its shared cases over with its own state
// (a LoginState), its alert and its context. One handler per case, so a case added to
// LoginAction without one does not compile. What a case means to the program alone (the
// purpose a sync or a dismissal sets) its own reducer does before it hands the case over.
class LoginReduction {
public:
    LoginReduction(LoginState& state, std::optional<AppAlert>& alert, LoginContext context)
        : state_(state), alert_(alert), context_(std::move(context)) {}

    void operator()(const login_action::handleError& action);
    void operator()(const login_action::performLoginOnToken& action);
    void operator()(const login_action::receiveTokenEvents& action);
    void operator()(const login_action::selectConnectedToken& action);
    void operator()(const login_action::updateTokenList& action);
    void operator()(const login_action::updateCredentialsList& action);
    void operator()(const login_action::updatePinVerificationStatus& action);
    void operator()(const login_action::updateMasterPasswordState& action);
    void operator()(const login_action::setPassAuth& action);
    void operator()(const login_action::setMasterPassAuthError& action);
    void operator()(const login_action::setPinExist& action);
    void operator()(const login_action::setPinCacheHasPins& action);
    void operator()(const login_action::switchToPinView& action);
    void operator()(const login_action::startMonitoring& action);
    void operator()(const login_action::stopMonitoring& action);
    void operator()(const login_action::startSync& action);
    void operator()(const login_action::dismissLoginView& action);
    void operator()(const login_action::hideAlert& action);

    // Work that only middlewares carry out.
    void operator()(const login_action::enumerateCredentials&) {}
    void operator()(const login_action::validateMasterPassword&) {}
    void operator()(const login_action::checkHasPinForToken&) {}
    void operator()(const login_action::appLaunched&) {}
    void operator()(const login_action::syncingButtonPressed&) {}
    void operator()(const login_action::validateBio&) {}

private:
    LoginState& state_;
    std::optional<AppAlert>& alert_;
    LoginContext context_;
};

} // namespace keyvane
