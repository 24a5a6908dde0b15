#include "shared/login/LoginReduction.h"
#include "shared/login/LoginStepRunner.h"
#include "shared/login/LoginSteps.h"

#include "flowkeep/Store.h"
#include "flowkeep/VirtualClockExecutor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace keyvane {
namespace {

using namespace std::chrono_literals;
using Display = LoginDisplayViewState;

TokenInfo token(std::string serial) {
    return TokenInfo{"Label " + serial, "Model", std::move(serial), "1.0.2.3", 64000, 1000, true};
}
const TokenInfo A = token("A");
const TokenInfo B = token("B");

// A store of the shared cases alone, reduced as a program's reducer hands them over.
struct TestState : LoginState {};
struct TestReducer {
    TestState reduce(TestState state, const LoginAction& action) const {
        std::optional<AppAlert> alert;
        std::visit(LoginReduction(state, alert, LoginContext{}), action.value);
        return state;
    }
};
using TestStore = flowkeep::Store<TestState, LoginAction>;

class Recorder final : public flowkeep::Middleware<LoginAction> {
public:
    std::optional<flowkeep::ActionStream<LoginAction>> process(const LoginAction& action) override {
        actions.push_back(action.description());
        return std::nullopt;
    }
    std::vector<std::string> actions;
};

std::string printed(const LoginAction& action) { return action.description(); }

// The login window on screen over a store whose middlewares only record: the runner's steps
// are what reaches the recorder.
class LoginStepsTest : public ::testing::Test {
protected:
    TestState stateWith(Display display, MasterPasswordState masterPassword = MasterPasswordState::disabled) {
        TestState state;
        state.loginViewState.loginDisplayViewState = std::move(display);
        state.masterPasswordState = masterPassword;
        return state;
    }
    void open(TestState initial, bool appear = true) {
        runner.reset();
        store = std::make_unique<TestStore>(std::move(initial), TestReducer{}, TestStore::MiddlewareList{recorder},
                                            executor);
        recorder->actions.clear();
        runner = std::make_unique<LoginStepRunner<TestState, LoginAction>>(*store);
        if (appear) {
            runner->appeared();
        }
    }
    // Changes the state as a middleware or the user would; the driving action is not counted.
    void drive(LoginAction action) {
        const auto before = recorder->actions.size();
        store->send(std::move(action));
        recorder->actions.erase(recorder->actions.begin() + static_cast<std::ptrdiff_t>(before));
        executor.runUntilIdle();
    }
    // What the runner sent since the last call.
    std::vector<std::string> sent() {
        executor.runUntilIdle();
        return std::exchange(recorder->actions, {});
    }

    flowkeep::VirtualClockExecutor executor;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::unique_ptr<TestStore> store;
    std::unique_ptr<LoginStepRunner<TestState, LoginAction>> runner; // declared last: goes first
};

// A pane for a token asks what it needs to know when it comes, on appearing as on a change of
// pane; an unlock or a verdict already in the state counts as new. Panes without a token ask
// nothing.
TEST_F(LoginStepsTest, EnteringAPaneAsksWhatItNeedsToKnow) {
    auto refused = stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabled);
    refused.loginViewState.verificationStatus = PinVerificationStatus::incorrect{3};
    auto unlocked = stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabled);
    unlocked.loginViewState.authStatus = LoginAuthStatus::passedByMasterPassword;
    unlocked.loginViewState.storedPinState = StoredPinState::exist;
    struct Case {
        const char* what;
        TestState state;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"biometry on: the finger first", stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabledWithBio),
         {"validateBio", "checkHasPinForToken(A)"}},
        {"biometry off", stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabled),
         {"checkHasPinForToken(A)"}},
        {"a wrong cached PIN already known", refused,
         {"checkHasPinForToken(A)", printed(login_action::switchToPinView{A})}},
        {"the password already passed", unlocked, {"checkHasPinForToken(A)", "performLoginOnToken(serial: A, pin: none)"}},
        {"the token awaited", stateWith(Display::waitForSpecificToken{A}), {"checkHasPinForToken(A)"}},
        {"the PIN pane", stateWith(Display::enterPin{A}), {}},
        {"the token list", stateWith(Display::tokenList{}), {}},
        {"no token yet", stateWith(Display::waitForAnyToken{}), {}},
        {"the touch pane", stateWith(Display::waitForTouch{30}), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open(c.state);
        EXPECT_TRUE(recorder->actions.empty()) << "never inside the change that decided them";
        EXPECT_EQ(sent(), c.expected);
    }

    // Another pane for another token is entered afresh.
    open(stateWith(Display::tokenList{}, MasterPasswordState::enabled));
    drive(login_action::selectConnectedToken{A});
    EXPECT_EQ(sent(), std::vector<std::string>{"checkHasPinForToken(A)"});
    drive(login_action::switchToPinView{A});
    EXPECT_TRUE(sent().empty());
    drive(login_action::selectConnectedToken{B});
    EXPECT_EQ(sent(), std::vector<std::string>{"checkHasPinForToken(B)"});
}

// The login's steps belong to the window on screen: none before it appears nor once it is gone.
TEST_F(LoginStepsTest, NothingIsTakenWhileTheWindowIsNotShown) {
    open(stateWith(Display::tokenList{}, MasterPasswordState::enabledWithBio), false);
    drive(login_action::selectConnectedToken{A});
    EXPECT_TRUE(sent().empty());

    runner->appeared();
    EXPECT_EQ(sent(), (std::vector<std::string>{"validateBio", "checkHasPinForToken(A)"}));
    runner->appeared();
    EXPECT_TRUE(sent().empty()) << "appearing twice asks once";

    runner->disappeared();
    drive(login_action::setPinExist{StoredPinState::exist});
    drive(login_action::setPassAuth{LoginAuthStatus::passedByMasterPassword});
    drive(login_action::updatePinVerificationStatus{PinVerificationStatus::incorrect{2}});
    EXPECT_TRUE(sent().empty());
}

TEST_F(LoginStepsTest, APassUsesTheCachedPinOrFallsBackToThePin) {
    struct Case {
        LoginAuthStatus status;
        StoredPinState stored;
        std::chrono::milliseconds wait;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {LoginAuthStatus::passedByMasterPassword, StoredPinState::exist, 0ms, "performLoginOnToken(serial: A, pin: none)"},
        {LoginAuthStatus::passedByBiometry, StoredPinState::exist, 1000ms, "performLoginOnToken(serial: A, pin: none)"},
        {LoginAuthStatus::passedByMasterPassword, StoredPinState::absent, 0ms, "switchToPinView"},
        {LoginAuthStatus::passedByBiometry, StoredPinState::notChecked, 1000ms, "switchToPinView"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected + " after " + std::to_string(c.wait.count()));
        open(stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabled));
        drive(login_action::setPinExist{c.stored});
        sent();
        drive(login_action::setPassAuth{c.status});
        if (c.wait > 0ms) {
            EXPECT_TRUE(sent().empty()) << "not before the dots have shown";
            executor.advance(c.wait);
        }
        const auto actions = sent();
        ASSERT_EQ(actions.size(), 1U);
        EXPECT_EQ(actions[0].substr(0, c.expected.size()), c.expected);
    }

    // A failed check and a reset lead nowhere.
    open(stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabledWithBio));
    sent();
    drive(login_action::setPassAuth{LoginAuthStatus::failed});
    drive(login_action::setPassAuth{LoginAuthStatus::unknown});
    executor.advance(2s);
    EXPECT_TRUE(sent().empty());
}

// The choice is made on the state of the moment: a PIN that became known during the pause is
// used, and a login already in flight is never doubled (it would spend another retry).
TEST_F(LoginStepsTest, TheCachedPinIsUsedOnlyWhenKeptAndNoLoginIsInFlight) {
    struct Case {
        StoredPinState stored;
        bool inFlight;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {StoredPinState::exist, false, "performLoginOnToken(serial: A, pin: none)"},
        {StoredPinState::exist, true, std::nullopt},
        {StoredPinState::absent, false, printed(login_action::switchToPinView{A})},
        {StoredPinState::notChecked, true, printed(login_action::switchToPinView{A})},
    };
    for (const auto& c : cases) {
        LoginViewState view;
        view.storedPinState = c.stored;
        view.isLoginInProgress = c.inFlight;
        const auto action = LoginSteps::cachedPinOrPinPane(view, A);
        EXPECT_EQ(action ? std::optional(action->description()) : std::nullopt, c.expected)
            << static_cast<int>(c.stored) << (c.inFlight ? " in flight" : "");
    }

    open(stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabledWithBio));
    sent();
    drive(login_action::setPassAuth{LoginAuthStatus::passedByBiometry});
    drive(login_action::setPinExist{StoredPinState::exist});
    executor.advance(LoginSteps::biometryPause);
    EXPECT_EQ(sent(), std::vector<std::string>{"performLoginOnToken(serial: A, pin: none)"});
}

// Only the master-password pane's refused PIN was the cached one; the PIN pane shows the
// attempts left, and a verified login is the host's to act on.
TEST_F(LoginStepsTest, ARefusedCachedPinAsksForThePin) {
    struct Case {
        Display pane;
        PinVerificationStatus verdict;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {Display::enterMasterPassword{A}, PinVerificationStatus::incorrect{2}, {printed(login_action::switchToPinView{A})}},
        {Display::enterMasterPassword{A}, PinVerificationStatus::incorrect{}, {printed(login_action::switchToPinView{A})}},
        {Display::enterMasterPassword{A}, PinVerificationStatus::success{}, {}},
        {Display::enterPin{A}, PinVerificationStatus::incorrect{2}, {}},
        {Display::enterPin{A}, PinVerificationStatus::success{}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.pane) + " " + ::testing::PrintToString(c.verdict));
        open(stateWith(c.pane, MasterPasswordState::enabled));
        sent();
        drive(login_action::updatePinVerificationStatus{c.verdict});
        EXPECT_EQ(sent(), c.expected);
    }
}

// The pause runs on the executor's clock: a new pass starts it again, and the window going
// away or the runner's end drops it.
TEST_F(LoginStepsTest, TheBiometricPauseRestartsWithEachPassAndEndsWithTheWindow) {
    const std::vector<std::string> login = {"performLoginOnToken(serial: A, pin: none)"};
    auto cached = stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabledWithBio);
    cached.loginViewState.storedPinState = StoredPinState::exist;

    open(cached);
    sent();
    drive(login_action::setPassAuth{LoginAuthStatus::passedByBiometry});
    executor.advance(LoginSteps::biometryPause - 1ms);
    EXPECT_TRUE(sent().empty());
    drive(login_action::setPassAuth{LoginAuthStatus::unknown});
    drive(login_action::setPassAuth{LoginAuthStatus::passedByBiometry});
    executor.advance(LoginSteps::biometryPause - 1ms);
    EXPECT_TRUE(sent().empty()) << "the second pass waits its own second";
    executor.advance(1ms);
    EXPECT_EQ(sent(), login);
    executor.advance(5s);
    EXPECT_TRUE(sent().empty()) << "one login for the two passes";

    open(cached);
    sent();
    drive(login_action::setPassAuth{LoginAuthStatus::passedByBiometry});
    runner->disappeared();
    executor.advance(5s);
    EXPECT_TRUE(sent().empty()) << "the window went away";

    open(cached);
    runner.reset();
    EXPECT_TRUE(sent().empty()) << "the runner is gone, with the steps it had posted";
    open(cached);
    sent();
    drive(login_action::setPassAuth{LoginAuthStatus::passedByBiometry});
    runner.reset();
    executor.advance(5s);
    EXPECT_TRUE(sent().empty()) << "the runner is gone, with its pause";
}

} // namespace
} // namespace keyvane
