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

std::vector<AppAction> secretActions() {
    return {
        AppAction::performLoginOnToken{"0042", SecretText(secret)},
        AppAction::enterMasterPasswordSettings{SecretText(secret)},
        AppAction::setupMasterPassword{SecretText(secret)},
        AppAction::changeMasterPassword{SecretText(secret)},
        AppAction::validateMasterPassword{SecretText(secret)},
    };
}

std::string printed(const AppState& state) {
    std::ostringstream out;
    out << state;
    return out.str();
}

TEST(AppActionTest, PinsAndPasswordsNeverAppearInPrintedActions) {
    for (const auto& action : secretActions()) {
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

// The state has no field meant for a secret, so the danger is a reducer that keeps one where
// text is kept anyway (a pane, an error, a token). The state here has every such field filled,
// with markers the printer must show; each secret action must leave it as it was, but for the
// flag that a login is on its way.
TEST(AppActionTest, StateAfterSecretActionsPrintsNoSecret) {
    const TokenInfo token{"Label-Marker", "Model", "0042", "1.0.2.3", 64000, 1000, true};
    PasskeyCredentials passkey;
    passkey.keyId = Bytes{1, 2};
    passkey.relyingPartyId = "site.example";
    passkey.username = "User-Marker";
    passkey.tokenSerial = "0042";
    AppReducer reducer;
    AppState state;
    for (const AppAction& action : std::vector<AppAction>{
             AppAction::updateTokenList{{token}},
             AppAction::updateCredentialsList{{passkey}},
             AppAction::updateMasterPasswordState{MasterPasswordState::enabled},
             AppAction::startMonitoring{},
             AppAction::receiveTokenEvents{{TokenMonitoringEvent::addConnectedToken{token}}, 1},
             AppAction::deleteButtonPressed{CredentialsDeleteRequest{{Bytes{1, 2}}, "0042"}},
             AppAction::selectConnectedToken{token},
             AppAction::setMasterPassAuthError{MasterPassAuthError::text{"Login-Error-Marker"}},
             AppAction::updateMasterPasswordError{MasterPassAuthError::text{"Settings-Error-Marker"}},
             AppAction::handleError{TextError("failure")},
         }) {
        state = reducer.reduce(state, action);
    }
    const std::string before = printed(state);
    for (const char* marker : {"Label-Marker", "Login-Error-Marker", "Settings-Error-Marker", "enterMasterPassword"}) {
        ASSERT_NE(before.find(marker), std::string::npos) << marker << " is not printed: " << before;
    }

    for (const auto& action : secretActions()) {
        SCOPED_TRACE(action.description());
        const AppState after = reducer.reduce(state, action);
        AppState withoutLoginFlag = after;
        withoutLoginFlag.loginViewState.isLoginInProgress = false;
        EXPECT_EQ(printed(withoutLoginFlag), before);
        EXPECT_EQ(printed(after).find(secret), std::string::npos);
        EXPECT_EQ(::testing::PrintToString(after).find(secret), std::string::npos);
    }
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
