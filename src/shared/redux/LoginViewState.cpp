#include "shared/redux/LoginViewState.h"

#include "shared/localization/LocalizedStrings.h"
#include "shared/redux/StateDescription.h"
#include "shared/redux/TokenMonitoringEvent.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace keyvane {

QString PinVerificationStatus::message() const {
    if (const auto* wrong = as<incorrect>()) {
        if (wrong->attemptsLeft) {
            return LocalizedStrings::counted(
                "EnterPinCode_InvalidPinMessage",
                static_cast<int>(std::min<std::uint64_t>(*wrong->attemptsLeft, std::numeric_limits<int>::max())));
        }
        return LocalizedStrings::text("EnterPinCode_InvalidPinMessage_Unknown");
    }
    return {};
}

std::ostream& operator<<(std::ostream& out, const LoginDisplayViewState& pane) {
    std::visit(Overloaded{
                   [&](const LoginDisplayViewState::waitForTouch& touch) {
                       out << "waitForTouch(seconds: " << touch.seconds << ")";
                   },
                   [&](const LoginDisplayViewState::waitForSpecificToken& wait) {
                       out << "waitForSpecificToken(" << describeToken(wait.token) << ")";
                   },
                   [&](const LoginDisplayViewState::enterPin& enter) {
                       out << "enterPin(" << describeToken(enter.token) << ")";
                   },
                   [&](const LoginDisplayViewState::enterMasterPassword& enter) {
                       out << "enterMasterPassword(" << describeToken(enter.token) << ")";
                   },
                   [&](const LoginDisplayViewState::waitForAnyToken&) { out << "waitForAnyToken"; },
                   [&](const LoginDisplayViewState::tokenList&) { out << "tokenList"; },
               },
               pane.value);
    return out;
}

std::ostream& operator<<(std::ostream& out, const PinVerificationStatus& status) {
    if (const auto* wrong = status.as<PinVerificationStatus::incorrect>()) {
        out << "incorrect(";
        if (wrong->attemptsLeft) {
            out << *wrong->attemptsLeft;
        } else {
            out << "unknown";
        }
        return out << ")";
    }
    return out << (status.is<PinVerificationStatus::success>() ? "success" : "notVerified");
}

std::ostream& operator<<(std::ostream& out, LoginAuthStatus status) {
    switch (status) {
    case LoginAuthStatus::unknown:
        return out << "unknown";
    case LoginAuthStatus::failed:
        return out << "failed";
    case LoginAuthStatus::passedByMasterPassword:
        return out << "passedByMasterPassword";
    case LoginAuthStatus::passedByBiometry:
        return out << "passedByBiometry";
    }
    return out << "LoginAuthStatus(" << static_cast<int>(status) << ")";
}

std::ostream& operator<<(std::ostream& out, const LoginViewState& state) {
    out << "{pane: " << state.loginDisplayViewState << ", connectedTokens: [";
    const char* separator = "";
    for (const auto& token : state.connectedTokens) {
        out << separator << describeToken(token);
        separator = ", ";
    }
    out << "], verificationStatus: " << state.verificationStatus << ", authStatus: " << state.authStatus
        << ", masterPassAuthError: ";
    if (state.masterPassAuthError) {
        out << *state.masterPassAuthError;
    } else {
        out << "none";
    }
    return out << ", storedPinState: " << state.storedPinState
               << ", autoSelection: " << (state.isTokenAutoSelectionActive ? "on" : "off")
               << ", monitoringRun: " << state.tokenMonitoringRun
               << (state.isLoginInProgress ? ", login in progress" : "") << "}";
}

std::ostream& operator<<(std::ostream& out, const TokenMonitoringEvent& event) {
    if (const auto* arrival = event.as<TokenMonitoringEvent::addConnectedToken>()) {
        return out << "addConnectedToken(" << describeToken(arrival->token) << ")";
    }
    return out << "removeToken(" << event.as<TokenMonitoringEvent::removeToken>()->serial << ")";
}

} // namespace keyvane
