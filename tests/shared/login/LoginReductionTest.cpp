#include "shared/login/LoginReduction.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

namespace keyvane {
namespace {

using Pane = LoginDisplayViewState;
using Status = PinVerificationStatus;
using Event = TokenMonitoringEvent;

TokenInfo token(std::string serial) {
    return TokenInfo{"Label " + serial, "Model", std::move(serial), "1.0.2.3", 64000, 1000, true};
}
const TokenInfo A = token("A");

Event add(const TokenInfo& info) { return Event::addConnectedToken{info}; }

// One shared case applied to a login state alone, as a program's reducer hands it over.
LoginState reduced(LoginState state, const LoginAction& action) {
    std::optional<AppAlert> alert;
    std::visit(LoginReduction(state, alert, LoginContext{}), action.value);
    return state;
}

// Each startMonitoring and stopMonitoring ends the run before it: only lists of the run in
// progress change the connected tokens.
TEST(LoginReductionTest, TokenListsOfAnEndedMonitoringRunAreDropped) {
    struct Step {
        LoginAction action;
        std::size_t expectedConnected;
    };
    const auto list = [](TokenMonitoringRun run) { return login_action::receiveTokenEvents{{add(A)}, run}; };
    const Step steps[] = {
        {list(0), 1u}, // before any start: the state's own run
        {login_action::startMonitoring{}, 1u},
        {login_action::receiveTokenEvents{{Event::removeToken{"A"}}, 0}, 1u},
        {login_action::receiveTokenEvents{{Event::removeToken{"A"}}, 1}, 0u},
        {list(1), 1u},
        {login_action::stopMonitoring{}, 0u},
        {list(1), 0u}, // gathered before the stop, delivered after it
        {login_action::startMonitoring{}, 0u},
        {list(2), 0u},
        {login_action::startMonitoring{}, 0u},
        {list(3), 0u}, // a run replaced by a newer start
        {list(4), 1u},
    };
    LoginState state;
    for (const auto& step : steps) {
        state = reduced(state, step.action);
        EXPECT_EQ(state.loginViewState.connectedTokens.size(), step.expectedConnected) << step.action;
    }
    EXPECT_EQ(state.loginViewState.tokenMonitoringRun, 4u);
}

// The settings show what protects the cache: set with the master-password state when the
// sender read it, kept when it did not, and gone with the master password.
TEST(LoginReductionTest, TheCachesProtectionFollowsTheMasterPassword) {
    LoginState state =
        reduced(LoginState{}, login_action::updateMasterPasswordState{MasterPasswordState::enabled, DeviceKeyBackend::file});
    EXPECT_EQ(state.pinCacheState.protection, DeviceKeyBackend::file);
    state = reduced(state, login_action::updateMasterPasswordState{MasterPasswordState::enabledWithBio});
    EXPECT_EQ(state.pinCacheState.protection, DeviceKeyBackend::file);
    state = reduced(state, login_action::updateMasterPasswordState{MasterPasswordState::disabled});
    EXPECT_EQ(state.pinCacheState.protection, DeviceKeyBackend::none);
}

// A login in flight is marked until its verdict or a failure arrives, so no view sends a
// second one that would spend another of the token's retries.
TEST(LoginReductionTest, ALoginIsInProgressUntilItsVerdictOrAFailure) {
    LoginState state;
    state.loginViewState.loginDisplayViewState = Pane::enterPin{A};
    state = reduced(state, login_action::performLoginOnToken{"A", SecretText("1234")});
    EXPECT_TRUE(state.loginViewState.isLoginInProgress);
    for (const auto& outcome : std::vector<LoginAction>{
             login_action::updatePinVerificationStatus{Status::incorrect{2}},
             login_action::updatePinVerificationStatus{Status::notVerified{}},
             login_action::handleError{AnyError(TextError("gone"))},
         }) {
        auto after = reduced(state, outcome);
        EXPECT_FALSE(after.loginViewState.isLoginInProgress) << outcome;
        EXPECT_EQ(after.loginViewState.loginDisplayViewState, state.loginViewState.loginDisplayViewState);
    }
}

} // namespace
} // namespace keyvane
