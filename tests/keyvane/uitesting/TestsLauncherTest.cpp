#include "keyvane/uitesting/TestsLauncher.h"

#include "flowkeep/VirtualClockExecutor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace keyvane::app {
namespace {

using namespace std::chrono_literals;

// Every action the store is offered, with the virtual time it was sent at.
struct Sent {
    std::chrono::milliseconds at;
    AppAction action;
};

class Recorder : public flowkeep::Middleware<AppAction> {
public:
    Recorder(std::vector<Sent>& sent, flowkeep::VirtualClockExecutor& clock) : sent_(sent), clock_(clock) {}
    std::optional<flowkeep::ActionStream<AppAction>> process(const AppAction& action) override {
        sent_.push_back({clock_.now(), action});
        return std::nullopt;
    }

private:
    std::vector<Sent>& sent_;
    flowkeep::VirtualClockExecutor& clock_;
};

// A store with the real reducer and no middleware but the recorder, so the state shows what
// the actions alone make of it.
struct Driven {
    flowkeep::VirtualClockExecutor clock;
    std::vector<Sent> sent;
    AppStore store{AppState{}, AppReducer{}, {std::make_shared<Recorder>(sent, clock)}, clock};

    void play(const std::optional<std::string>& testCase) {
        TestsLauncher::run(store, clock, testCase);
        clock.advance(10s);
    }
};

// "ms:case" per action; the onboarding status and master-password state with their value.
std::string steps(const std::vector<Sent>& sent) {
    std::string out;
    for (const auto& [at, action] : sent) {
        auto description = action.description();
        const bool keepValue = description.starts_with("updateOnboardingStatus") ||
                               description.starts_with("updateMasterPasswordState");
        if (!keepValue) {
            description = description.substr(0, description.find('('));
        }
        out += (out.empty() ? "" : " ") + std::to_string(at.count()) + ":" + description;
    }
    return out;
}

TEST(TestsLauncherTest, EachScenarioSendsItsScriptAtItsTimes) {
    const std::string base = "0:updateOnboardingStatus(completed) 0:disableMasterPassword";
    const std::string emptyLists = "0:updateTokenList 0:updateCredentialsList";
    const std::string mainWindow = "0:updateOnboardingStatus(completed) " + emptyLists;
    const auto onboarding = [&](const std::string& status) {
        return "0:updateOnboardingStatus(" + status + ") 0:firstLaunch " + emptyLists;
    };
    const std::map<std::string, std::string> expected{
        {"tokens-list", mainWindow},
        {"mac-empty-credentials-list", mainWindow},
        {"mac-credentials-list", mainWindow},
        {"mac-about-view", mainWindow},
        {"mac-onboarding-extension", onboarding("enableExtension")},
        {"mac-onboarding-attention", onboarding("payAttention")},
        {"mac-onboarding-master-password", onboarding("masterPassword")},
        {"mac-onboarding-biometry", onboarding("biometry")},
        {"mac-onboarding-completed", onboarding("completed")},
        {"mac-master-password-view-input", base + " " + emptyLists +
             " 1000:setupMasterPassword 1000:updateMasterPasswordState(enabled) 2000:startEnteringMasterPasswordSettings"},
        {"mac-master-password-view-enabled", base + " " + emptyLists +
             " 100:setupMasterPassword 100:updateMasterPasswordState(enabled) 100:startEnteringMasterPasswordSettings"
             " 300:enterMasterPasswordSettings"},
        {"mac-master-password-view-disabled", base + " " + emptyLists + " 1000:startEnteringMasterPasswordSettings"},
        {"mac-login-waiting-for-any", base + " 0:startSync"},
        {"mac-login-waiting-for-specific", base + " 0:updateTokenList 0:receiveTokenEvents 0:deleteButtonPressed"},
        {"mac-login-tokens-list", base + " 0:startSync 500:receiveTokenEvents"},
        {"mac-login-enter-pin", base + " 0:startSync 500:receiveTokenEvents"},
        {"mac-login-enter-master-password",
         base + " 300:setupMasterPassword 300:updateMasterPasswordState(enabled) 600:startSync 900:receiveTokenEvents"},
    };
    const auto names = TestsLauncher::scenarioNames();
    ASSERT_EQ(std::set<std::string>(names.begin(), names.end()).size(), expected.size());
    for (const auto& name : names) {
        ASSERT_TRUE(expected.contains(name)) << name;
        Driven driven;
        driven.play(name);
        EXPECT_EQ(steps(driven.sent), expected.at(name)) << name;
    }
}

TEST(TestsLauncherTest, AnyOtherNameStopsBeforeSendingAndNoNameSendsNothing) {
    for (const std::string name : {"", "mac-login-enter-PIN", "mac-login-enter-pin ", " tokens-list", "mac"}) {
        Driven driven;
        EXPECT_THROW(driven.play(name), TestNotImplemented) << '"' << name << '"';
        EXPECT_TRUE(driven.sent.empty()) << '"' << name << '"';
    }
    Driven driven;
    driven.play(std::nullopt);
    EXPECT_TRUE(driven.sent.empty());
    EXPECT_STREQ(TestNotImplemented().what(), "Test is not implemented");
}

TEST(TestsLauncherTest, TheFixtureTokensDifferOnlyInSerialAndFreshlyDrawnMemory) {
    const auto first = TestsLauncher::fixtureTokens();
    const auto second = TestsLauncher::fixtureTokens();
    ASSERT_EQ(first.size(), 4u);
    const std::vector<std::string> serials{"1152279501", "1152279502", "1152279503", "1152279504"};
    bool memoryDrawnAgain = false;
    for (std::size_t i = 0; i < first.size(); ++i) {
        const auto& token = first[i];
        EXPECT_EQ(token.serial, serials[i]);
        EXPECT_EQ(token.label, "Мой токен");
        EXPECT_EQ(token.model, "Варнел Сигма 3");
        EXPECT_EQ(token.version, "11.22.33.44");
        EXPECT_TRUE(token.isSupported);
        EXPECT_GE(token.totalMemory, 1'700'000'000u);
        EXPECT_LE(token.totalMemory, 2'000'000'000u);
        ASSERT_TRUE(token.availableMemory.has_value());
        EXPECT_GE(*token.availableMemory, 500'000u);
        EXPECT_LE(*token.availableMemory, 1'700'000'000u);
        memoryDrawnAgain = memoryDrawnAgain || token != second[i];
    }
    EXPECT_TRUE(memoryDrawnAgain);
}

bool isAlphanumeric(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isalnum(c) != 0 && c < 0x80; });
}

TEST(TestsLauncherTest, TheFixturePasskeysSitOnThreeOfTheFourTokens) {
    const auto passkeys = TestsLauncher::fixturePasskeys();
    ASSERT_EQ(passkeys.size(), 8u);
    std::map<std::string, int> perToken;
    std::set<Bytes> keyIds;
    for (const auto& passkey : passkeys) {
        ++perToken[passkey.tokenSerial];
        keyIds.insert(passkey.keyId);
        EXPECT_EQ(passkey.keyId.size(), 10u);
        EXPECT_TRUE(isAlphanumeric(std::string(passkey.keyId.begin(), passkey.keyId.end())));
        EXPECT_EQ(passkey.relyingPartyId, TestsLauncher::demoRelyingParty);
        EXPECT_TRUE(passkey.userHandle.empty());
        EXPECT_FALSE(passkey.username.empty());
    }
    EXPECT_EQ(perToken, (std::map<std::string, int>{{"1152279501", 3}, {"1152279502", 2}, {"1152279504", 3}}));
    EXPECT_EQ(keyIds.size(), 8u);
    // The first and the last passkey share a user name on token 4, as the list's duplicates do.
    EXPECT_EQ(passkeys[5].username, passkeys[0].username);
    EXPECT_EQ(passkeys[7].username, passkeys[0].username);

    const auto tokens = TestsLauncher::shortTokenList();
    std::vector<std::string> serials;
    for (const auto& token : tokens) {
        serials.push_back(token.serial);
    }
    EXPECT_EQ(serials, (std::vector<std::string>{"880055535", "1152279501", "845234789"}));
    const auto two = TestsLauncher::shortPasskeyList();
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].tokenSerial, "880055535");
    EXPECT_EQ(two[1].tokenSerial, "845234789");
    for (const auto& passkey : two) {
        const std::string keyId(passkey.keyId.begin(), passkey.keyId.end());
        EXPECT_EQ(keyId.size(), 36u) << keyId;
        EXPECT_EQ(keyId[8], '-') << keyId;
    }
    EXPECT_NE(two[0].keyId, two[1].keyId);
}

// The sheet starts a monitoring run when it appears; the scripted arrivals must belong to it,
// or the core drops them as a stale run's and the sheet waits for ever.
TEST(TestsLauncherTest, ScriptedArrivalsReachTheMonitoringRunThatTheSheetStarted) {
    Driven driven;
    TestsLauncher::run(driven.store, driven.clock, "mac-login-tokens-list");
    driven.store.send(AppAction::startMonitoring{});
    driven.clock.advance(499ms);
    EXPECT_TRUE(driven.store.state().loginViewState.connectedTokens.empty());
    driven.clock.advance(1ms);
    const auto& connected = driven.store.state().loginViewState.connectedTokens;
    ASSERT_EQ(connected.size(), 5u);
    std::set<std::string> copies;
    for (const auto& token : connected) {
        if (token.serial.starts_with("11522795")) {
            continue;
        }
        // The two copies of token 4: its descriptive fields, a serial of their own.
        EXPECT_EQ(token.serial.size(), 10u);
        EXPECT_TRUE(isAlphanumeric(token.serial)) << token.serial;
        EXPECT_EQ(token.label, "Мой токен");
        EXPECT_EQ(token.model, "Варнел Сигма 3");
        EXPECT_EQ(token.version, "11.22.33.44");
        EXPECT_TRUE(token.isSupported);
        copies.insert(token.serial);
    }
    EXPECT_EQ(copies.size(), 2u);
}

TEST(TestsLauncherTest, TheDeletionScenarioWaitsForToken1WhileToken2IsConnected) {
    Driven driven;
    driven.play("mac-login-waiting-for-specific");
    const auto& state = driven.store.state();
    const auto* purpose = state.navigationState.loginPurpose ? state.navigationState.loginPurpose->as<LoginPuprose::deleteCredentials>() : nullptr;
    ASSERT_NE(purpose, nullptr);
    EXPECT_EQ(purpose->request.tokenSerial, "1152279501");
    ASSERT_EQ(purpose->request.credsIds.size(), 1u);
    EXPECT_EQ(purpose->request.credsIds.begin()->size(), 10u);
    ASSERT_EQ(state.loginViewState.connectedTokens.size(), 1u);
    EXPECT_EQ(state.loginViewState.connectedTokens.begin()->serial, "1152279502");
}

} // namespace
} // namespace keyvane::app
