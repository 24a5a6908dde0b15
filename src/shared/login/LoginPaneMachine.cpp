#include "shared/login/LoginPaneMachine.h"

#include "shared/errors/CaseEnum.h"

#include <algorithm>
#include <variant>

namespace keyvane {

LoginPaneMachine::Pane LoginPaneMachine::unlockPane(MasterPasswordState masterPasswordState, const TokenInfo& token) {
    if (masterPasswordState == MasterPasswordState::disabled) {
        return Pane::enterPin{token};
    }
    return Pane::enterMasterPassword{token};
}

const TokenInfo* LoginPaneMachine::token(const Pane& pane) {
    if (const auto* wait = pane.as<Pane::waitForSpecificToken>()) {
        return &wait->token;
    }
    if (const auto* entry = pane.as<Pane::enterPin>()) {
        return &entry->token;
    }
    if (const auto* entry = pane.as<Pane::enterMasterPassword>()) {
        return &entry->token;
    }
    return nullptr;
}

bool LoginPaneMachine::isSamePane(const Pane& a, const Pane& b) {
    if (a.value.index() != b.value.index()) {
        return false;
    }
    const auto* first = token(a);
    const auto* second = token(b);
    return first == nullptr || second == nullptr ? first == second : first->serial == second->serial;
}

const TokenInfo* LoginPaneMachine::storedToken(const std::vector<TokenInfo>& tokens, const std::string& serial) {
    auto token =
        std::find_if(tokens.begin(), tokens.end(), [&](const TokenInfo& stored) { return stored.serial == serial; });
    return token == tokens.end() ? nullptr : &*token;
}

namespace {

// The token being logged in to went away: back to waiting for it when the login must happen on
// that token, otherwise to the list (or to waiting when nothing is connected).
void leaveIfRemoved(LoginViewState& login, const TokenInfo& token, bool& autoSelect, const LoginPaneContext& context) {
    using Pane = LoginDisplayViewState;
    if (login.connectedTokens.contains(token.serial)) {
        return;
    }
    autoSelect = false;
    login.verificationStatus = PinVerificationStatus::notVerified{};
    if (context.awaitedSerial) {
        login.loginDisplayViewState = Pane::waitForSpecificToken{token};
    } else if (!login.connectedTokens.empty()) {
        login.loginDisplayViewState = Pane::tokenList{};
    } else {
        login.loginDisplayViewState = Pane::waitForAnyToken{};
    }
}

} // namespace

void LoginPaneMachine::receiveTokenEvents(LoginViewState& login, const std::vector<TokenMonitoringEvent>& events,
                                          const LoginPaneContext& context) {
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
    const auto enter = [&](const TokenInfo& token) { return unlockPane(context.masterPasswordState, token); };

    auto& pane = login.loginDisplayViewState;
    const Pane before = pane;
    std::visit(Overloaded{
                   [](const Pane::waitForTouch&) {},
                   [&](const Pane::waitForSpecificToken& wait) {
                       // The pane's own value: it is the token the user asked for.
                       if (connected.contains(wait.token.serial)) {
                           pane = enter(wait.token);
                       }
                   },
                   [&](const Pane::enterPin& entry) { leaveIfRemoved(login, entry.token, autoSelect, context); },
                   [&](const Pane::enterMasterPassword& entry) {
                       leaveIfRemoved(login, entry.token, autoSelect, context);
                   },
                   [&](const Pane::waitForAnyToken&) {
                       if (autoSelect) {
                           if (count == 1) {
                               const auto& only = *connected.begin();
                               pane = only.isSupported ? enter(only) : Pane(Pane::tokenList{});
                           }
                       } else if (count >= 1) {
                           pane = Pane::tokenList{};
                       }
                   },
                   [&](const Pane::tokenList&) {
                       if (count == 0) {
                           if (!context.awaitedSerial) {
                               pane = Pane::waitForAnyToken{};
                           } else if (const auto* token = context.storedTokens
                                                              ? storedToken(*context.storedTokens, *context.awaitedSerial)
                                                              : nullptr) {
                               pane = Pane::waitForSpecificToken{*token};
                           }
                       } else if (count == 1) {
                           const auto& only = *connected.begin();
                           if (autoSelect && only.isSupported) {
                               pane = enter(only);
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
                               pane = enter(*supported);
                           }
                       }
                   },
               },
               before.value);
    login.isTokenAutoSelectionActive = autoSelect;
}

void LoginPaneMachine::masterPasswordStateChanged(LoginViewState& login, MasterPasswordState state) {
    auto& pane = login.loginDisplayViewState;
    if (state == MasterPasswordState::disabled) {
        if (const auto* entry = pane.as<Pane::enterMasterPassword>()) {
            pane = Pane::enterPin{entry->token};
        }
    }
}

void LoginPaneMachine::startMonitoring(LoginViewState& login) {
    login.isTokenAutoSelectionActive = true;
    login.tokenMonitoringRun = nextTokenMonitoringRun(login.tokenMonitoringRun);
}

void LoginPaneMachine::stopMonitoring(LoginViewState& login) {
    login.tokenMonitoringRun = nextTokenMonitoringRun(login.tokenMonitoringRun);
    login.connectedTokens.clear();
    login.verificationStatus = PinVerificationStatus::notVerified{};
}

} // namespace keyvane
