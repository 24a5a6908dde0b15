#include "credential_ext/state/AppReducer.h"

#include "credential_ext/state/CanonicalText.h"
#include "credential_ext/state/LoginFollowUp.h"
#include "shared/redux/StateDescription.h"
#include "shared/redux/ExtensionError.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace keyvane::ext {
namespace {

using Pane = LoginDisplayViewState;
using Status = PinVerificationStatus;
using Event = TokenMonitoringEvent;

TokenInfo token(std::string serial, bool supported = true, std::uint64_t freeMemory = 1000) {
    return TokenInfo{"Label " + serial, "Model", std::move(serial), "1.0.2.3", 64000, freeMemory, supported};
}
const TokenInfo A = token("A");
const TokenInfo B = token("B");
// The stored record of A, older than what the token reports now.
const TokenInfo storedA = token("A", true, 9000);

PasskeyCredentials passkey(std::string rp, Bytes keyId, std::string serial = "A") {
    return PasskeyCredentials{std::move(keyId), std::move(rp), "alice", Bytes{7, 7}, std::move(serial)};
}
const PasskeyCredentials onA = passkey("example.com", {1});

Event add(const TokenInfo& info) { return Event::addConnectedToken{info}; }
Event remove(const std::string& serial) { return Event::removeToken{serial}; }
AppAction events(std::vector<Event> list) { return AppAction::receiveTokenEvents{std::move(list)}; }

template <class T>
std::string printed(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

AppState reduceAll(AppState state, const std::vector<AppAction>& actions) {
    for (const auto& action : actions) {
        state = AppReducer{}.reduce(std::move(state), action);
    }
    return state;
}

// The moves that differ from the main program's: a sign-in waits for its passkey's token,
// registration and refresh take any token.
struct PaneCase {
    std::string name;
    Pane pane;
    std::optional<LoginPuprose> purpose;
    MasterPasswordState masterPassword;
    std::vector<TokenInfo> stored;
    std::vector<TokenInfo> connected;
    AppAction action;
    Pane expectedPane;
    bool expectedAutoSelection;
};

TEST(ExtensionReducerTest, LoginPaneByPurpose) {
    const auto off = MasterPasswordState::disabled;
    const auto on = MasterPasswordState::enabled;
    const LoginPuprose signIn = LoginPuprose::auth{onA};
    const LoginPuprose registering = LoginPuprose::completeRegistration{};
    const std::vector<PaneCase> cases = {
        {"the awaited token arrives: unlock the token the pane holds", Pane::waitForSpecificToken{storedA}, signIn, off,
         {storedA}, {}, events({add(A)}), Pane::enterPin{storedA}, true},
        {"the awaited token arrives with a master password", Pane::waitForSpecificToken{storedA}, signIn, on, {storedA},
         {}, events({add(A)}), Pane::enterMasterPassword{storedA}, true},
        {"another token arriving keeps waiting", Pane::waitForSpecificToken{storedA}, signIn, off, {storedA}, {},
         events({add(B)}), Pane::waitForSpecificToken{storedA}, true},
        {"a sign-in's token pulled out: wait for it again", Pane::enterPin{A}, signIn, off, {storedA}, {A, B},
         events({remove("A")}), Pane::waitForSpecificToken{A}, false},
        {"a registration's token pulled out with another left: the list", Pane::enterPin{A}, registering, off,
         {storedA}, {A, B}, events({remove("A")}), Pane::tokenList{}, false},
        {"a registration's only token pulled out: wait for any", Pane::enterPin{A}, registering, off, {}, {A},
         events({remove("A")}), Pane::waitForAnyToken{}, false},
        {"the list empties during a sign-in: wait for the stored token", Pane::tokenList{}, signIn, off, {storedA},
         {A}, events({remove("A")}), Pane::waitForSpecificToken{storedA}, true},
        {"the list empties during a registration: wait for any", Pane::tokenList{}, registering, off, {storedA}, {A},
         events({remove("A")}), Pane::waitForAnyToken{}, true},
        {"the touch pane stays whatever comes", Pane::waitForTouch{30}, signIn, off, {storedA}, {A},
         events({remove("A")}), Pane::waitForTouch{30}, true},
        {"choosing a passkey waits for its stored token", Pane::tokenList{}, std::nullopt, off, {storedA}, {A},
         AppAction::credForAuthenticationSelected{onA}, Pane::waitForSpecificToken{storedA}, true},
        {"choosing a passkey without a stored token keeps the pane", Pane::tokenList{}, std::nullopt, off, {}, {A},
         AppAction::credForAuthenticationSelected{onA}, Pane::tokenList{}, true},
        {"confirming a registration resets the pane", Pane::enterPin{A}, std::nullopt, off, {}, {A},
         AppAction::completeRegistrationButtonIsPressed{}, Pane::waitForAnyToken{}, true},
        {"the sync button's start resets the pane", Pane::enterPin{A}, std::nullopt, off, {}, {A},
         AppAction::startSync{}, Pane::waitForAnyToken{}, true},
        {"closing the sheet resets the pane", Pane::waitForSpecificToken{storedA}, signIn, off, {storedA}, {},
         AppAction::dismissLoginView{}, Pane::waitForAnyToken{}, true},
        {"touch wait shows the countdown", Pane::enterPin{A}, signIn, off, {}, {A}, AppAction::waitForTouch{30},
         Pane::waitForTouch{30}, true},
        {"the master password turned off: PIN for the same token", Pane::enterMasterPassword{A}, signIn, on, {}, {A},
         AppAction::updateMasterPasswordState{off}, Pane::enterPin{A}, true},
        {"a master password set never leaves PIN entry", Pane::enterPin{A}, signIn, off, {}, {A},
         AppAction::updateMasterPasswordState{on}, Pane::enterPin{A}, true},
        {"switching to the PIN whatever the master password", Pane::enterMasterPassword{A}, signIn,
         MasterPasswordState::enabledWithBio, {}, {A}, AppAction::switchToPinView{A}, Pane::enterPin{A}, true},
    };
    for (const auto& c : cases) {
        AppState state;
        state.loginViewState.loginDisplayViewState = c.pane;
        state.navigationState.loginPurpose = c.purpose;
        state.masterPasswordState = c.masterPassword;
        state.credentialListState.tokens = c.stored;
        for (const auto& connected : c.connected) {
            state.loginViewState.connectedTokens.insert(connected);
        }
        const auto after = AppReducer{}.reduce(state, c.action);
        EXPECT_EQ(after.loginViewState.loginDisplayViewState, c.expectedPane)
            << c.name << ": " << printed(after.loginViewState.loginDisplayViewState);
        EXPECT_EQ(after.loginViewState.isTokenAutoSelectionActive, c.expectedAutoSelection) << c.name;
    }
}

TEST(ExtensionReducerTest, PurposesAreSetAndCleared) {
    AppState state;
    state = AppReducer{}.reduce(state, AppAction::completeRegistrationButtonIsPressed{});
    EXPECT_EQ(state.navigationState.loginPurpose, LoginPuprose(LoginPuprose::completeRegistration{}));
    state = AppReducer{}.reduce(state, AppAction::credForAuthenticationSelected{onA});
    EXPECT_EQ(state.navigationState.loginPurpose, LoginPuprose(LoginPuprose::auth{onA}));
    state = AppReducer{}.reduce(state, AppAction::startSync{});
    EXPECT_EQ(state.navigationState.loginPurpose, LoginPuprose(LoginPuprose::justSync{}));
    state = AppReducer{}.reduce(state, AppAction::dismissLoginView{});
    EXPECT_FALSE(state.navigationState.loginPurpose.has_value());
}

TEST(ExtensionReducerTest, ChosenPasskeysTokenConnectingLaterOpensItsUnlockPane) {
    AppState state;
    state.credentialListState.tokens = {storedA};
    state = reduceAll(state, {AppAction::startMonitoring{}});
    auto run = state.loginViewState.tokenMonitoringRun;
    state = reduceAll(state, {AppAction::credForAuthenticationSelected{onA},
                              AppAction::receiveTokenEvents{{add(B)}, run},
                              AppAction::receiveTokenEvents{{add(A)}, run}});
    EXPECT_EQ(state.loginViewState.loginDisplayViewState, Pane(Pane::enterPin{storedA}));
    // A list of an ended run changes nothing.
    state = reduceAll(state, {AppAction::stopMonitoring{}, AppAction::receiveTokenEvents{{add(A)}, run}});
    EXPECT_TRUE(state.loginViewState.connectedTokens.empty());
}

TEST(ExtensionReducerTest, FieldUpdatesAndAlerts) {
    AppState state;
    state = reduceAll(state, {
                                 AppAction::updateTokenList{{A}},
                                 AppAction::updateCredentialsList{{onA}},
                                 AppAction::setPassAuth{LoginAuthStatus::passedByMasterPassword},
                                 AppAction::setMasterPassAuthError{MasterPassAuthError::invalidPass{2}},
                                 AppAction::setPinExist{StoredPinState::exist},
                                 AppAction::setPinCacheHasPins{true},
                                 AppAction::performLoginOnToken{"A", SecretText("1234")},
                             });
    EXPECT_EQ(state.credentialListState.tokens, std::vector<TokenInfo>{A});
    EXPECT_EQ(state.credentialListState.credentials, std::vector<PasskeyCredentials>{onA});
    EXPECT_EQ(state.loginViewState.authStatus, LoginAuthStatus::passedByMasterPassword);
    EXPECT_TRUE(state.loginViewState.masterPassAuthError.has_value());
    EXPECT_EQ(state.loginViewState.storedPinState, StoredPinState::exist);
    EXPECT_TRUE(state.pinCacheState.hasPins);
    EXPECT_TRUE(state.loginViewState.isLoginInProgress);

    state = AppReducer{}.reduce(state, AppAction::handleError{AnyError(ExtensionError(ExtensionError::credsNotFound{}))});
    ASSERT_TRUE(state.navigationState.alert.has_value());
    EXPECT_FALSE(state.loginViewState.isLoginInProgress);
    state = AppReducer{}.reduce(state, AppAction::hideAlert{});
    EXPECT_FALSE(state.navigationState.alert.has_value());

    state = reduceAll(state, {AppAction::performLoginOnToken{"A", std::nullopt},
                              AppAction::updatePinVerificationStatus{Status::incorrect{1}}});
    EXPECT_EQ(state.loginViewState.verificationStatus, Status(Status::incorrect{1}));
    EXPECT_FALSE(state.loginViewState.isLoginInProgress);
    state = AppReducer{}.reduce(state, AppAction::stopMonitoring{});
    EXPECT_EQ(state.loginViewState.verificationStatus, Status(Status::notVerified{}));
}

TEST(ExtensionReducerTest, RequestAndWorkActionsLeaveTheStateAlone) {
    AppState state;
    state.registrationState = RegistrationState{"alice", Bytes(32, 1), {9}, "example.com"};
    state.credentialListState.tokens = {A};
    state.loginViewState.loginDisplayViewState = Pane::enterPin{A};
    const std::vector<AppAction> unchanged = {
        AppAction::completeRegistrationRequest{},
        AppAction::finishRegistration{"A", *state.registrationState},
        AppAction::startProvidingPasskey{{7, 7}, "example.com"},
        AppAction::completeAuthenticationRequest{},
        AppAction::finishAuthentication{onA, Bytes(32, 2)},
        AppAction::enumerateCredentials{"A"},
        AppAction::setMasterPassStateUpdated{true},
        AppAction::validateMasterPassword{SecretText("secret")},
        AppAction::checkHasPinForToken{"A"},
        AppAction::appLaunched{},
        AppAction::cancelRequest{},
        AppAction::syncingButtonPressed{},
        AppAction::validateBio{},
    };
    const auto before = printed(state);
    for (const auto& action : unchanged) {
        EXPECT_EQ(printed(AppReducer{}.reduce(state, action)), before) << action;
    }
}

TEST(ExtensionReducerTest, PrintedActionsHideSecrets) {
    EXPECT_EQ(printed(AppAction(AppAction::performLoginOnToken{"A", SecretText("12345678")})),
              "performLoginOnToken(serial: A, pin: <redacted>)");
    EXPECT_EQ(printed(AppAction(AppAction::validateMasterPassword{SecretText("hunter2")})).find("hunter2"),
              std::string::npos);
}

// "é" composed, and "e" followed by a combining acute accent.
const std::string composed = "caf\xC3\xA9.example";
const std::string decomposed = "cafe\xCC\x81.example";

TEST(ExtensionReducerTest, CanonicalTextComparesComposedAndDecomposedAlike) {
    EXPECT_TRUE(canonicallyEqual(composed, decomposed));
    EXPECT_EQ(canonicalText(decomposed), composed);
    EXPECT_FALSE(canonicallyEqual("Example.com", "example.com")) << "no case folding";
    EXPECT_FALSE(canonicallyEqual("example.com", "example.org"));
}

TEST(ExtensionReducerTest, OnlyPasskeysOfTheRequestAreOffered) {
    struct Case {
        std::string name;
        std::string requestRp;
        std::vector<Bytes> allowed;
        std::vector<Bytes> expectedKeys;
    };
    AppState state;
    state.credentialListState.credentials = {passkey("example.com", {1}), passkey("other.org", {2}),
                                             passkey("example.com", {3}, "B"), passkey(composed, {4})};
    const std::vector<Case> cases = {
        {"only the request's relying party", "example.com", {}, {{1}, {3}}},
        {"allowed credentials narrow the choice", "example.com", {{3}, {2}}, {{3}}},
        {"an allowed credential of another site stays out", "other.org", {{1}}, {}},
        {"relying party compared in normal form", decomposed, {}, {{4}}},
        {"an unknown relying party finds nothing", "nowhere.example", {}, {}},
    };
    for (const auto& c : cases) {
        state.authState.relyingPartyId = c.requestRp;
        state.authState.allowedCredentials = c.allowed;
        std::vector<Bytes> keys;
        for (const auto& offered : passkeysForRequest(state)) {
            keys.push_back(offered.keyId);
        }
        EXPECT_EQ(keys, c.expectedKeys) << c.name;
    }
}

} // namespace
} // namespace keyvane::ext

namespace keyvane::ext {
namespace {

TEST(ExtensionLoginFollowUpTest, TheUnlockedTokenLeadsToThePurposesAction) {
    const RegistrationState registration{"alice", Bytes(32, 1), {9}, "example.com"};
    struct Case {
        std::string name;
        std::optional<LoginPuprose> purpose;
        bool isRegistration;
        std::string unlocked;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"no login pending", std::nullopt, false, "A", std::nullopt},
        {"registration on the unlocked token", LoginPuprose::completeRegistration{}, true, "B",
         "finishRegistration(serial: B, rp: example.com, user: alice)"},
        {"sign-in with the chosen passkey", LoginPuprose::auth{onA}, false, "A",
         "finishAuthentication(" + describeCredential(onA) + ", hash: 32 bytes)"},
        {"another token than the passkey's", LoginPuprose::auth{onA}, false, "B", std::nullopt},
        {"a refresh reads the unlocked token", LoginPuprose::justSync{}, false, "B", "enumerateCredentials(serial: B)"},
    };
    for (const auto& c : cases) {
        AppState state;
        state.navigationState.loginPurpose = c.purpose;
        if (c.isRegistration) {
            state.registrationState = registration;
        }
        state.authState.clientDataHash = Bytes(32, 2);
        const auto action = loginFollowUp(state, c.unlocked);
        EXPECT_EQ(action ? std::optional(action->description()) : std::nullopt, c.expected) << c.name;
    }
}

} // namespace
} // namespace keyvane::ext
