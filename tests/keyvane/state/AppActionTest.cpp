#include "keyvane/state/AppAction.h"
#include "keyvane/state/AppReducer.h"
#include "keyvane/state/AppState.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace keyvane::app {
namespace {

constexpr const char* secret = "S3cr3t-246810";

TEST(AppActionTest, PinsAndPasswordsNeverAppearInPrintedActions) {
    const std::vector<AppAction> actions = {
        AppAction::performLoginOnToken{"0042", SecretText(secret)},
        AppAction::enterMasterPasswordSettings{SecretText(secret)},
        AppAction::setupMasterPassword{SecretText(secret)},
        AppAction::changeMasterPassword{SecretText(secret)},
        AppAction::validateMasterPassword{SecretText(secret)},
    };
    for (const auto& action : actions) {
        std::ostringstream streamed;
        streamed << action;
        // Also the form that a failing test assertion would print.
        for (const std::string& text : {action.description(), streamed.str(), ::testing::PrintToString(action)}) {
            EXPECT_EQ(text.find(secret), std::string::npos) << text;
            EXPECT_NE(text.find("<redacted>"), std::string::npos) << text;
        }
    }
    EXPECT_EQ(AppAction(AppAction::performLoginOnToken{"0042", std::nullopt}).description(),
              "performLoginOnToken(serial: 0042, pin: none)");
}

TEST(AppActionTest, StateAfterSecretActionsPrintsNoSecret) {
    AppState state;
    AppReducer reducer;
    state = reducer.reduce(state, AppAction::performLoginOnToken{"0042", SecretText(secret)});
    state = reducer.reduce(state, AppAction::validateMasterPassword{SecretText(secret)});
    state = reducer.reduce(state, AppAction::setMasterPassAuthError{MasterPassAuthError::invalidPass{4}});
    std::ostringstream out;
    out << state;
    EXPECT_EQ(out.str().find(secret), std::string::npos);
    EXPECT_EQ(::testing::PrintToString(state).find(secret), std::string::npos);
}

TEST(AppActionTest, DescriptionsNameTheCaseAndPayload) {
    const TokenInfo token{"Мой токен", "Model", "0042", "1.0.2.3", 64000, 1000, true};
    EXPECT_EQ(AppAction(AppAction::hideAlert{}).description(), "hideAlert");
    EXPECT_EQ(AppAction(AppAction::receiveTokenEvents{{TokenMonitoringEvent::removeToken{"0042"}}}).description(),
              "receiveTokenEvents([removeToken(0042)])");
    EXPECT_NE(AppAction(AppAction::selectConnectedToken{token}).description().find("0042"), std::string::npos);
    EXPECT_EQ(AppAction(AppAction::handleError{TextError("Token not found")}).description(),
              "handleError(Token not found)");
}

} // namespace
} // namespace keyvane::app
