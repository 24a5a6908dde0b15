#include "keyvane/state/AppReducer.h"

#include "keyvane/state/LoginFollowUp.h"
#include "shared/pkcs11/TokenLoginManagerError.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace keyvane::app {
namespace {

using Pane = LoginDisplayViewState;
using Status = PinVerificationStatus;
using Event = TokenMonitoringEvent;

TokenInfo token(std::string serial, bool supported = true, std::uint64_t freeMemory = 1000) {
    return TokenInfo{"Label " + serial, "Model", std::move(serial), "1.0.2.3", 64000, freeMemory, supported};
}
const TokenInfo A = token("A");
const TokenInfo B = token("B");
const TokenInfo U = token("U", false);
const TokenInfo V = token("V", false);
// Token A announced again with other free memory.
const TokenInfo A2 = token("A", true, 500);
// The stored record of A, older than what the token reports now.
const TokenInfo storedA = token("A", true, 9000);

Event add(const TokenInfo& info) { return Event::addConnectedToken{info}; }
Event remove(const std::string& serial) { return Event::removeToken{serial}; }
AppAction events(std::vector<Event> list) { return AppAction::receiveTokenEvents{std::move(list)}; }
LoginPuprose deleting(const std::string& serial) {
    return LoginPuprose::deleteCredentials{CredentialsDeleteRequest{{{1, 2, 3}}, serial}};
}

std::string printed(const auto& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

struct PaneCase {
    std::string name;
    // Before.
    Pane pane;
    bool autoSelection;
    MasterPasswordState masterPassword;
    std::optional<LoginPuprose> purpose;
    std::vector<TokenInfo> stored;
    std::vector<TokenInfo> connected;
    AppAction action;
    // After.
    Pane expectedPane;
    bool expectedAutoSelection;
    Status expectedVerification;
    std::size_t expectedConnected;
};

constexpr auto off = MasterPasswordState::disabled;
constexpr auto on = MasterPasswordState::enabled;
constexpr auto withBio = MasterPasswordState::enabledWithBio;
const Status wrong = Status::incorrect{2};
const Status notVerified = Status::notVerified{};

TEST(AppReducerTest, LoginPaneMachine) {
    const std::vector<PaneCase> cases = {
        // Waiting for any token.
        {"two arrivals turn auto-selection off and list them", Pane::waitForAnyToken{}, true, off, {}, {}, {},
         events({add(A), add(B)}), Pane::tokenList{}, false, wrong, 2},
        {"one supported arrival opens PIN entry", Pane::waitForAnyToken{}, true, off, {}, {}, {}, events({add(A)}),
         Pane::enterPin{A}, true, wrong, 1},
        {"one supported arrival opens master-password entry", Pane::waitForAnyToken{}, true, on, {}, {}, {},
         events({add(A)}), Pane::enterMasterPassword{A}, true, wrong, 1},
        {"biometry counts as a master password", Pane::waitForAnyToken{}, true, withBio, {}, {}, {}, events({add(A)}),
         Pane::enterMasterPassword{A}, true, wrong, 1},
        {"one unsupported arrival shows the list", Pane::waitForAnyToken{}, true, off, {}, {}, {}, events({add(U)}),
         Pane::tokenList{}, true, wrong, 1},
        {"an arrival with auto-selection off shows the list", Pane::waitForAnyToken{}, false, off, {}, {}, {},
         events({add(A)}), Pane::tokenList{}, false, wrong, 1},
        {"a removal with nothing connected keeps waiting", Pane::waitForAnyToken{}, true, off, {}, {}, {},
         events({remove("A")}), Pane::waitForAnyToken{}, true, wrong, 0},
        // A token re-announced must not count twice (nor linger after its removal).
        {"a re-announced token is still one token", Pane::waitForAnyToken{}, true, off, {}, {}, {A},
         events({add(A2)}), Pane::enterPin{A2}, true, wrong, 1},
        {"a re-announced token leaves with its removal", Pane::enterPin{A}, true, off, {}, {}, {A},
         events({add(A2), remove("A")}), Pane::waitForAnyToken{}, false, notVerified, 0},

        // The token list.
        {"the single supported token opens and auto-selection ends", Pane::tokenList{}, true, off, {}, {}, {},
         events({add(A)}), Pane::enterPin{A}, false, wrong, 1},
        {"a single token with auto-selection off stays listed", Pane::tokenList{}, false, off, {}, {}, {},
         events({add(A)}), Pane::tokenList{}, false, wrong, 1},
        {"a single unsupported token stays listed", Pane::tokenList{}, true, off, {}, {}, {}, events({add(U)}),
         Pane::tokenList{}, true, wrong, 1},
        {"of three, the only supported one opens", Pane::tokenList{}, false, on, {}, {}, {A, U}, events({add(V)}),
         Pane::enterMasterPassword{A}, false, wrong, 3},
        {"of three with two supported, the list stays", Pane::tokenList{}, false, off, {}, {}, {A, B},
         events({add(U)}), Pane::tokenList{}, false, wrong, 3},
        {"a removal of an unknown serial changes nothing", Pane::tokenList{}, false, off, {}, {}, {A, B},
         events({remove("Z")}), Pane::tokenList{}, false, wrong, 2},
        {"the last token leaves: wait for any", Pane::tokenList{}, false, off, LoginPuprose::justSync{}, {}, {A},
         events({remove("A")}), Pane::waitForAnyToken{}, false, wrong, 0},
        {"the last token leaves while deleting: wait for the stored token", Pane::tokenList{}, false, off,
         deleting("A"), {B, storedA}, {A}, events({remove("A")}), Pane::waitForSpecificToken{storedA}, false,
         wrong, 0},
        {"the last token leaves while deleting from an unknown token: list stays", Pane::tokenList{}, false, off,
         deleting("Q"), {A}, {A}, events({remove("A")}), Pane::tokenList{}, false, wrong, 0},

        // Entering the PIN or the master password.
        {"the token in use leaves, another stays", Pane::enterPin{A}, true, off, {}, {}, {A, B}, events({remove("A")}),
         Pane::tokenList{}, false, notVerified, 1},
        {"the token in use leaves while deleting", Pane::enterPin{A}, true, off, deleting("A"), {}, {A, B},
         events({remove("A")}), Pane::waitForSpecificToken{A}, false, notVerified, 1},
        {"the token in use leaves, nothing stays", Pane::enterMasterPassword{A}, true, on, LoginPuprose::justSync{},
         {}, {A}, events({remove("A")}), Pane::waitForAnyToken{}, false, notVerified, 0},
        {"another token arriving leaves the entry alone", Pane::enterPin{A}, false, off, {}, {}, {A},
         events({add(B)}), Pane::enterPin{A}, false, wrong, 2},

        // Waiting for one token.
        {"the awaited token arrives: the pane keeps its own value", Pane::waitForSpecificToken{storedA}, false, off,
         deleting("A"), {storedA}, {}, events({add(A2)}), Pane::enterPin{storedA}, false, wrong, 1},
        {"another token arriving keeps waiting", Pane::waitForSpecificToken{A}, false, on, deleting("A"), {}, {},
         events({add(B)}), Pane::waitForSpecificToken{A}, false, wrong, 1},
        {"the touch countdown ignores token events", Pane::waitForTouch{20}, true, off, {}, {}, {A},
         events({remove("A"), add(B)}), Pane::waitForTouch{20}, true, wrong, 1},

        // Transitions by the user and the middlewares.
        {"choosing a token with a master password", Pane::tokenList{}, false, on, {}, {}, {A, B},
         AppAction::selectConnectedToken{B}, Pane::enterMasterPassword{B}, false, wrong, 2},
        {"switching to the PIN ignores the master password", Pane::enterMasterPassword{A}, false, withBio, {}, {},
         {A}, AppAction::switchToPinView{A}, Pane::enterPin{A}, false, wrong, 1},
        {"disabling the master password switches to the PIN", Pane::enterMasterPassword{A}, false, on, {}, {}, {A},
         AppAction::updateMasterPasswordState{off}, Pane::enterPin{A}, false, wrong, 1},
        {"enabling it never switches back", Pane::enterPin{A}, false, off, {}, {}, {A},
         AppAction::updateMasterPasswordState{on}, Pane::enterPin{A}, false, wrong, 1},
        {"delete for a stored token waits for it", Pane::tokenList{}, false, off, {}, {B, storedA, token("A", true, 1)},
         {}, AppAction::deleteButtonPressed{{{{7}}, "A"}}, Pane::waitForSpecificToken{storedA}, false, wrong,
         0},
        {"delete for an unknown token leaves the pane", Pane::tokenList{}, false, off, {}, {B}, {},
         AppAction::deleteButtonPressed{{{{7}}, "A"}}, Pane::tokenList{}, false, wrong, 0},
        {"sync waits for any token", Pane::enterPin{A}, false, off, deleting("A"), {}, {A}, AppAction::startSync{},
         Pane::waitForAnyToken{}, false, wrong, 1},
        {"dismissing waits for any token", Pane::tokenList{}, false, off, LoginPuprose::justSync{}, {}, {A},
         AppAction::dismissLoginView{}, Pane::waitForAnyToken{}, false, wrong, 1},
        {"monitoring turns auto-selection on", Pane::tokenList{}, false, off, {}, {}, {}, AppAction::startMonitoring{},
         Pane::tokenList{}, true, wrong, 0},
        {"stopping forgets tokens and the outcome, not the pane", Pane::enterPin{A}, false, off, {}, {}, {A, B},
         AppAction::stopMonitoring{}, Pane::enterPin{A}, false, notVerified, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppState state;
        state.loginViewState.loginDisplayViewState = c.pane;
        state.loginViewState.isTokenAutoSelectionActive = c.autoSelection;
        // A wrong PIN was typed before: only a token leaving (or monitoring ending) forgets it.
        state.loginViewState.verificationStatus = wrong;
        state.masterPasswordState = c.masterPassword;
        state.navigationState.loginPurpose = c.purpose;
        state.credentialListState.tokens = c.stored;
        for (const auto& connected : c.connected) {
            state.loginViewState.connectedTokens.insert(connected);
        }
        const AppState after = AppReducer{}.reduce(state, c.action);

        EXPECT_EQ(after.loginViewState.loginDisplayViewState, c.expectedPane)
            << "got " << after.loginViewState.loginDisplayViewState;
        EXPECT_EQ(after.loginViewState.isTokenAutoSelectionActive, c.expectedAutoSelection);
        EXPECT_EQ(after.loginViewState.verificationStatus, c.expectedVerification);
        EXPECT_EQ(after.loginViewState.connectedTokens.size(), c.expectedConnected);
    }
}

TEST(AppReducerTest, FreshStateWaitsForAnyTokenWithAutoSelection) {
    const AppState state;
    EXPECT_EQ(state.loginViewState.loginDisplayViewState, Pane(Pane::waitForAnyToken{}));
    EXPECT_TRUE(state.loginViewState.isTokenAutoSelectionActive);
    EXPECT_EQ(state.loginViewState.verificationStatus, notVerified);
    EXPECT_EQ(state.loginViewState.storedPinState, StoredPinState::notChecked);
    EXPECT_FALSE(state.navigationState.alert.has_value());
    EXPECT_FALSE(state.navigationState.loginPurpose.has_value());
    EXPECT_FALSE(state.navigationState.onboardingState.onboardingStatus.has_value());
    EXPECT_EQ(state.masterPasswordState, MasterPasswordState::disabled);
    EXPECT_EQ(state.biometryType, BiometryType::none);
}

TEST(AppReducerTest, AlertsAreSetReplacedAndHidden) {
    AppReducer reducer;
    AppState state = reducer.reduce(AppState{}, AppAction::handleError{
                                                    TokenLoginManagerError(TokenLoginManagerError::tokenNotFound{})});
    EXPECT_EQ(state.navigationState.alert, AppAlert::connectionLost);
    state = reducer.reduce(state, AppAction::handleError{TextError("boom")});
    EXPECT_EQ(state.navigationState.alert, AppAlert::unknownError);
    state = reducer.reduce(state, AppAction::hideAlert{});
    EXPECT_FALSE(state.navigationState.alert.has_value());
}

TEST(AppReducerTest, MasterPasswordSettingsAndPrompt) {
    AppReducer reducer;
    const MasterPassAuthError wrongPassword = MasterPassAuthError::invalidPass{4};

    // Without a master password the sheet opens without the prompt.
    AppState state = reducer.reduce(AppState{}, AppAction::startEnteringMasterPasswordSettings{});
    EXPECT_TRUE(state.navigationState.showSettings);
    EXPECT_FALSE(state.navigationState.masterPassInputState.isShown);

    state = AppState{};
    state.masterPasswordState = MasterPasswordState::enabled;
    state = reducer.reduce(state, AppAction::startEnteringMasterPasswordSettings{});
    EXPECT_TRUE(state.navigationState.showSettings);
    EXPECT_TRUE(state.navigationState.masterPassInputState.isShown);

    state = reducer.reduce(state, AppAction::updateMasterPasswordError{wrongPassword});
    EXPECT_EQ(state.navigationState.masterPassInputState.error, wrongPassword);
    // Closing the sheet clears the error but leaves the prompt as it was.
    state = reducer.reduce(state, AppAction::quitMasterPasswordSettings{});
    EXPECT_FALSE(state.navigationState.showSettings);
    EXPECT_FALSE(state.navigationState.masterPassInputState.error.has_value());
    EXPECT_TRUE(state.navigationState.masterPassInputState.isShown);

    state = reducer.reduce(state, AppAction::updateMasterPasswordError{wrongPassword});
    state = reducer.reduce(state, AppAction::hideMasterPasswordInput{});
    EXPECT_FALSE(state.navigationState.masterPassInputState.isShown);
    EXPECT_FALSE(state.navigationState.masterPassInputState.error.has_value());
}

TEST(AppReducerTest, OnboardingSteps) {
    AppReducer reducer;
    AppState state = reducer.reduce(AppState{}, AppAction::firstLaunch{});
    EXPECT_TRUE(state.navigationState.onboardingState.isOnboardingShown);
    state = reducer.reduce(state, AppAction::updateOnboardingStatus{OnboardingStatus::biometry});
    EXPECT_EQ(state.navigationState.onboardingState.onboardingStatus, OnboardingStatus::biometry);
    state = reducer.reduce(state, AppAction::hideOnboarding{});
    EXPECT_FALSE(state.navigationState.onboardingState.isOnboardingShown);
    EXPECT_EQ(state.navigationState.onboardingState.onboardingStatus, OnboardingStatus::biometry);
}

TEST(AppReducerTest, WorkActionsLeaveTheStateAlone) {
    AppState state;
    state.loginViewState.loginDisplayViewState = Pane::enterPin{A};
    state.loginViewState.connectedTokens.insert(A);
    state.loginViewState.isTokenAutoSelectionActive = false;
    state.navigationState.loginPurpose = deleting("A");
    state.credentialListState.tokens = {storedA};
    const std::string before = printed(state);
    const CredentialsDeleteRequest request{{{1}}, "A"};
    const std::vector<AppAction> actions = {
        AppAction::enableExtension{true},
        AppAction::enterMasterPasswordSettings{SecretText("pw")},
        AppAction::setBiometry{true, true},
        AppAction::enumerateCredentials{"A"},
        AppAction::deleteToken{"A"},
        AppAction::deleteCredentials{request},
        AppAction::setupMasterPassword{SecretText("pw")},
        AppAction::changeMasterPassword{SecretText("pw")},
        AppAction::validateMasterPassword{SecretText("pw")},
        AppAction::checkHasPinForToken{"A"},
        AppAction::finishEnterMasterPasswordSettings{},
        AppAction::appLaunched{},
        AppAction::syncingButtonPressed{},
        AppAction::disableMasterPassword{},
        AppAction::validateBio{},
        AppAction::resetPersistentData{},
    };
    for (const auto& action : actions) {
        EXPECT_EQ(printed(AppReducer{}.reduce(state, action)), before) << action;
    }
}

TEST(AppLoginFollowUpTest, TheUnlockedTokenLeadsToThePurposesAction) {
    struct Case {
        std::string name;
        std::optional<LoginPuprose> purpose;
        std::string unlocked;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"no login pending", std::nullopt, "A", std::nullopt},
        {"a refresh reads the unlocked token", LoginPuprose::justSync{}, "B", "enumerateCredentials(serial: B)"},
        {"a deletion sends the confirmed request", deleting("A"), "A",
         "deleteCredentials(request: {token: A, keys: 1})"},
    };
    for (const auto& c : cases) {
        AppState state;
        state.navigationState.loginPurpose = c.purpose;
        const auto action = loginFollowUp(state, c.unlocked);
        EXPECT_EQ(action ? std::optional(action->description()) : std::nullopt, c.expected) << c.name;
    }
}

} // namespace
} // namespace keyvane::app
