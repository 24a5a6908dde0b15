#include "keyvane/uitesting/TestsLauncher.h"

#include "shared/utils/Random.h"

#include <QUuid>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <utility>

namespace keyvane::app {
namespace {

using namespace std::chrono_literals;

// Short account-like words, a short sentence, a long one with an ellipsis, another sentence.
const std::vector<std::string> fixtureUserNames{
    "alice",
    "bob.tester",
    "work account",
    "a rather long account name that does not fit on one line of the list…",
    "shared family login",
};

TokenInfo fixtureToken(std::string serial) {
    return TokenInfo{
        .label = "Мой токен",
        .model = "Варнел Сигма 3",
        .serial = std::move(serial),
        .version = "11.22.33.44",
        .totalMemory = 1'700'000'000 + randomUniform(300'000'001),
        .availableMemory = 500'000 + randomUniform(1'699'500'001),
        .isSupported = true,
    };
}

Bytes utf8(const std::string& text) { return Bytes(text.begin(), text.end()); }

PasskeyCredentials fixturePasskey(const std::string& username, std::string serial, Bytes keyId) {
    return PasskeyCredentials{
        .keyId = std::move(keyId),
        .relyingPartyId = TestsLauncher::demoRelyingParty,
        .username = username,
        .userHandle = {},
        .tokenSerial = std::move(serial),
    };
}

TokenInfo fixtureTokenNumber(int number) { return TestsLauncher::fixtureTokens().at(static_cast<std::size_t>(number - 1)); }

// Token arrivals as the monitoring would report them. They carry the monitoring run in force
// when they are sent: the core drops events of any other run, so that a stopped run's tokens
// never come back, and the login sheet starts a run of its own when it appears.
AppAction connected(const AppStore& store, std::vector<TokenInfo> tokens) {
    AppAction::receiveTokenEvents events;
    events.monitoringRun = store.state().loginViewState.tokenMonitoringRun;
    for (auto& token : tokens) {
        events.events.emplace_back(TokenMonitoringEvent::addConnectedToken{std::move(token)});
    }
    return events;
}

// One scenario's script: steps sent at once, and steps sent after a delay from the start.
class Script {
public:
    Script(AppStore& store, flowkeep::MainExecutor& executor) : store_(store), executor_(executor) {}

    using Step = std::function<std::vector<AppAction>(const AppStore&)>;

    const AppStore& store() const { return store_; }
    void now(const AppAction& action) { store_.send(action); }

    // The actions are made when the step runs, so tokens drawn for it are drawn then.
    void after(std::chrono::milliseconds delay, Step actions) {
        executor_.postAfter(delay, [&store = store_, actions = std::move(actions)] {
            for (const auto& action : actions(store)) {
                store.send(action);
            }
        });
    }

    // "base": the onboarding done and the PIN cache erased.
    void base() {
        now(AppAction::updateOnboardingStatus{OnboardingStatus::completed});
        now(AppAction::disableMasterPassword{});
    }

    void emptyLists() {
        now(AppAction::updateTokenList{});
        now(AppAction::updateCredentialsList{});
    }

    void mainWindow(std::vector<TokenInfo> tokens, std::vector<PasskeyCredentials> passkeys) {
        now(AppAction::updateOnboardingStatus{OnboardingStatus::completed});
        now(AppAction::updateTokenList{std::move(tokens)});
        now(AppAction::updateCredentialsList{std::move(passkeys)});
    }

    void onboarding(OnboardingStatus status) {
        now(AppAction::updateOnboardingStatus{status});
        now(AppAction::firstLaunch{});
        emptyLists();
    }

private:
    AppStore& store_;
    flowkeep::MainExecutor& executor_;
};

// A delayed step whose actions are known when it is scheduled.
Script::Step fixed(std::vector<AppAction> actions) {
    return [actions = std::move(actions)](const AppStore&) { return actions; };
}

SecretText masterPassword() { return SecretText(std::string(TestsLauncher::fixtureMasterPassword)); }

std::vector<AppAction> setUpMasterPassword(const AppStore&) {
    return {AppAction::setupMasterPassword{masterPassword()},
            AppAction::updateMasterPasswordState{MasterPasswordState::enabled}};
}

using Scenario = std::pair<std::string, std::function<void(Script&)>>;

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> table{
        {"tokens-list", [](Script& s) { s.mainWindow(TestsLauncher::shortTokenList(), TestsLauncher::shortPasskeyList()); }},
        {"mac-empty-credentials-list", [](Script& s) { s.mainWindow({}, {}); }},
        {"mac-credentials-list",
         [](Script& s) { s.mainWindow(TestsLauncher::fixtureTokens(), TestsLauncher::fixturePasskeys()); }},
        {"mac-about-view", [](Script& s) { s.mainWindow({}, {}); }},
        {"mac-onboarding-extension", [](Script& s) { s.onboarding(OnboardingStatus::enableExtension); }},
        {"mac-onboarding-attention", [](Script& s) { s.onboarding(OnboardingStatus::payAttention); }},
        {"mac-onboarding-master-password", [](Script& s) { s.onboarding(OnboardingStatus::masterPassword); }},
        {"mac-onboarding-biometry", [](Script& s) { s.onboarding(OnboardingStatus::biometry); }},
        {"mac-onboarding-completed", [](Script& s) { s.onboarding(OnboardingStatus::completed); }},
        {"mac-master-password-view-input",
         [](Script& s) {
             s.base();
             s.emptyLists();
             s.after(1000ms, setUpMasterPassword);
             s.after(2000ms, fixed({AppAction::startEnteringMasterPasswordSettings{}}));
         }},
        {"mac-master-password-view-enabled",
         [](Script& s) {
             s.base();
             s.emptyLists();
             s.after(100ms, [](const AppStore& store) {
                 auto actions = setUpMasterPassword(store);
                 actions.emplace_back(AppAction::startEnteringMasterPasswordSettings{});
                 return actions;
             });
             s.after(300ms, fixed({AppAction::enterMasterPasswordSettings{masterPassword()}}));
         }},
        {"mac-master-password-view-disabled",
         [](Script& s) {
             s.base();
             s.emptyLists();
             s.after(1000ms, fixed({AppAction::startEnteringMasterPasswordSettings{}}));
         }},
        {"mac-login-waiting-for-any",
         [](Script& s) {
             s.base();
             s.now(AppAction::startSync{});
         }},
        {"mac-login-waiting-for-specific",
         [](Script& s) {
             s.base();
             s.now(AppAction::updateTokenList{{fixtureTokenNumber(1)}});
             s.now(connected(s.store(), {fixtureTokenNumber(2)}));
             s.now(AppAction::deleteButtonPressed{CredentialsDeleteRequest{{randomBytes(10)}, "1152279501"}});
         }},
        {"mac-login-tokens-list",
         [](Script& s) {
             s.base();
             s.now(AppAction::startSync{});
             s.after(500ms, [](const AppStore& store) {
                 std::vector<TokenInfo> tokens{fixtureTokenNumber(1), fixtureTokenNumber(2), fixtureTokenNumber(3)};
                 for (int copy = 0; copy < 2; ++copy) {
                     auto token = fixtureTokenNumber(4);
                     token.serial = randomAlphanumericString(10);
                     tokens.push_back(std::move(token));
                 }
                 return std::vector<AppAction>{connected(store, std::move(tokens))};
             });
         }},
        {"mac-login-enter-pin",
         [](Script& s) {
             s.base();
             s.now(AppAction::startSync{});
             s.after(500ms, [](const AppStore& store) { return std::vector<AppAction>{connected(store, {fixtureTokenNumber(1)})}; });
         }},
        {"mac-login-enter-master-password",
         [](Script& s) {
             s.base();
             s.after(300ms, setUpMasterPassword);
             s.after(600ms, fixed({AppAction::startSync{}}));
             s.after(900ms, [](const AppStore& store) { return std::vector<AppAction>{connected(store, {fixtureTokenNumber(1)})}; });
         }},
    };
    return table;
}

} // namespace

std::vector<std::string> TestsLauncher::scenarioNames() {
    std::vector<std::string> names;
    for (const auto& [name, script] : scenarios()) {
        names.push_back(name);
    }
    return names;
}

void TestsLauncher::run(AppStore& store, flowkeep::MainExecutor& executor) {
    const char* testCase = std::getenv(testCaseVariable);
    run(store, executor, testCase == nullptr ? std::nullopt : std::optional<std::string>(testCase));
}

void TestsLauncher::run(AppStore& store, flowkeep::MainExecutor& executor, const std::optional<std::string>& testCase) {
    // The program's own preferences are not cleared here: under the test mode they live in the
    // run's own folder, made empty for it (UiTestSandbox).
    if (!testCase) {
        return;
    }
    for (const auto& [name, play] : scenarios()) {
        if (name == *testCase) {
            Script script(store, executor);
            play(script);
            return;
        }
    }
    throw TestNotImplemented();
}

std::vector<TokenInfo> TestsLauncher::fixtureTokens() {
    return {fixtureToken("1152279501"), fixtureToken("1152279502"), fixtureToken("1152279503"), fixtureToken("1152279504")};
}

std::vector<PasskeyCredentials> TestsLauncher::fixturePasskeys() {
    const auto tokens = fixtureTokens();
    const auto key = [] { return utf8(randomAlphanumericString(10)); };
    return {
        fixturePasskey(fixtureUserNames[0], tokens[0].serial, key()),
        fixturePasskey(fixtureUserNames[1], tokens[0].serial, key()),
        fixturePasskey(fixtureUserNames[2], tokens[0].serial, key()),
        fixturePasskey(fixtureUserNames[3], tokens[1].serial, key()),
        fixturePasskey(fixtureUserNames[4], tokens[1].serial, key()),
        fixturePasskey(fixtureUserNames[0], tokens[3].serial, key()),
        fixturePasskey(fixtureUserNames[1], tokens[3].serial, key()),
        fixturePasskey(fixtureUserNames[0], tokens[3].serial, key()),
    };
}

std::vector<TokenInfo> TestsLauncher::shortTokenList() {
    return {fixtureToken("880055535"), fixtureToken("1152279501"), fixtureToken("845234789")};
}

std::vector<PasskeyCredentials> TestsLauncher::shortPasskeyList() {
    const auto uuid = [] { return utf8(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString()); };
    return {
        fixturePasskey(fixtureUserNames[0], "880055535", uuid()),
        fixturePasskey(fixtureUserNames[2], "845234789", uuid()),
    };
}

} // namespace keyvane::app
