#include "keyvane/state/AppReducer.h"

#include <algorithm>
#include <variant>

namespace keyvane::app {

namespace {

using Pane = LoginDisplayViewState;

// The pane that logs in to a token: PIN entry, or master-password entry when a master
// password guards the cached PINs.
Pane enter(const AppState& state, const TokenInfo& token) {
    if (state.masterPasswordState == MasterPasswordState::disabled) {
        return Pane::enterPin{token};
    }
    return Pane::enterMasterPassword{token};
}

// Applies one action to the state. One handler per case: a case without a handler does not
// compile.
class Reduction {
public:
    explicit Reduction(AppState& state) : state_(state) {}

    void operator()(const AppAction::handleError& action) {
        state_.navigationState.alert = AppAlert(action.error);
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
        // Without a master password there is nothing to unlock: enter the PIN instead. The
        // reverse never happens by itself; the user chooses a token again.
        auto& pane = state_.loginViewState.loginDisplayViewState;
        if (action.state == MasterPasswordState::disabled) {
            if (const auto* entry = pane.as<Pane::enterMasterPassword>()) {
                pane = Pane::enterPin{entry->token};
            }
        }
    }
    void operator()(const AppAction::receiveTokenEvents& action) {
        // A list of a run that has been stopped or replaced would bring its tokens back.
        if (action.monitoringRun == state_.loginViewState.tokenMonitoringRun) {
            receiveTokenEvents(action.events);
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
        auto& login = state_.loginViewState;
        login.isTokenAutoSelectionActive = true;
        login.tokenMonitoringRun = nextTokenMonitoringRun(login.tokenMonitoringRun);
    }
    void operator()(const AppAction::stopMonitoring&) {
        state_.loginViewState.tokenMonitoringRun = nextTokenMonitoringRun(state_.loginViewState.tokenMonitoringRun);
        // The pane stays: the window that shows it is going away.
        state_.loginViewState.connectedTokens.clear();
        state_.loginViewState.verificationStatus = PinVerificationStatus::notVerified{};
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
        const auto& tokens = state_.credentialListState.tokens;
        auto token = std::find_if(tokens.begin(), tokens.end(),
                                  [&](const TokenInfo& stored) { return stored.serial == serial; });
        return token == tokens.end() ? nullptr : &*token;
    }

    bool deletingCredentials() const {
        return state_.navigationState.loginPurpose &&
               state_.navigationState.loginPurpose->is<LoginPuprose::deleteCredentials>();
    }

    void receiveTokenEvents(const std::vector<TokenMonitoringEvent>& events) {
        auto& login = state_.loginViewState;
        auto& connected = login.connectedTokens;
        // An arrival replaces the member with its serial and a removal takes every member with
        // its serial away, so a token announced twice never lingers as a second member.
        for (const auto& event : events) {
            if (const auto* arrival = event.as<TokenMonitoringEvent::addConnectedToken>()) {
                connected.insert(arrival->token);
            } else if (const auto* removal = event.as<TokenMonitoringEvent::removeToken>()) {
                connected.remove(removal->serial);
            }
        }

        bool autoSelect = login.isTokenAutoSelectionActive;
        const auto count = connected.size();
        if (count >= 2) {
            autoSelect = false;
        }

        auto& pane = login.loginDisplayViewState;
        const Pane before = pane;
        std::visit(Overloaded{
                       [](const Pane::waitForTouch&) {},
                       [&](const Pane::waitForSpecificToken& wait) {
                           // The pane's own value: it is the token the user asked for.
                           if (connected.contains(wait.token.serial)) {
                               pane = enter(state_, wait.token);
                           }
                       },
                       [&](const Pane::enterPin& entry) { leaveIfRemoved(entry.token, autoSelect); },
                       [&](const Pane::enterMasterPassword& entry) { leaveIfRemoved(entry.token, autoSelect); },
                       [&](const Pane::waitForAnyToken&) {
                           if (autoSelect) {
                               if (count == 1) {
                                   const auto& only = *connected.begin();
                                   pane = only.isSupported ? enter(state_, only) : Pane(Pane::tokenList{});
                               }
                           } else if (count >= 1) {
                               pane = Pane::tokenList{};
                           }
                       },
                       [&](const Pane::tokenList&) {
                           if (count == 0) {
                               if (!deletingCredentials()) {
                                   pane = Pane::waitForAnyToken{};
                               } else if (const auto* token = storedToken(
                                              state_.navigationState.loginPurpose->as<LoginPuprose::deleteCredentials>()
                                                  ->request.tokenSerial)) {
                                   pane = Pane::waitForSpecificToken{*token};
                               }
                           } else if (count == 1) {
                               const auto& only = *connected.begin();
                               if (autoSelect && only.isSupported) {
                                   pane = enter(state_, only);
                                   autoSelect = false;
                               }
                           } else {
                               const TokenInfo* supported = nullptr;
                               std::size_t supportedCount = 0;
                               for (const auto& token : connected) {
                                   if (token.isSupported) {
                                       supported = &token;
                                       ++supportedCount;
                                   }
                               }
                               if (supportedCount == 1) {
                                   pane = enter(state_, *supported);
                               }
                           }
                       },
                   },
                   before.value);
        login.isTokenAutoSelectionActive = autoSelect;
    }

    // The token being logged in to went away: back to waiting for it when passkeys on it are
    // to be deleted, otherwise to the list (or to waiting when nothing is connected).
    void leaveIfRemoved(const TokenInfo& token, bool& autoSelect) {
        auto& login = state_.loginViewState;
        if (login.connectedTokens.contains(token.serial)) {
            return;
        }
        autoSelect = false;
        login.verificationStatus = PinVerificationStatus::notVerified{};
        if (deletingCredentials()) {
            login.loginDisplayViewState = Pane::waitForSpecificToken{token};
        } else if (!login.connectedTokens.empty()) {
            login.loginDisplayViewState = Pane::tokenList{};
        } else {
            login.loginDisplayViewState = Pane::waitForAnyToken{};
        }
    }

    AppState& state_;
};

} // namespace

AppState AppReducer::reduce(AppState state, const AppAction& action) const {
    std::visit(Reduction(state), action.value);
    return state;
}

} // namespace keyvane::app
