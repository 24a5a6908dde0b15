#include "keyvane/app/MainWindowModel.h"

#include "flowkeep/VirtualClockExecutor.h"
#include "keyvane/state/AppReducer.h"

#include <gtest/gtest.h>

namespace keyvane::app {
namespace {

class Recorder final : public flowkeep::Middleware<AppAction> {
public:
    std::optional<flowkeep::ActionStream<AppAction>> process(const AppAction& action) override {
        actions.push_back(action.description());
        return std::nullopt;
    }
    std::vector<std::string> actions;
};

TEST(MainWindowModelTest, TheLoginSheetFollowsThePurposeAndAVerifiedLoginActsOnIt) {
    flowkeep::VirtualClockExecutor executor;
    auto recorder = std::make_shared<Recorder>();
    AppStore store(AppState{}, AppReducer{}, {recorder}, executor);
    MainWindowModel window(store, executor);
    EXPECT_FALSE(window.loginSheetShown());

    window.synchronise();
    EXPECT_EQ(recorder->actions.back(), "syncingButtonPressed");
    store.send(AppAction::startSync{});
    ASSERT_TRUE(window.loginSheetShown());
    auto* first = window.loginSheet();
    ASSERT_NE(first, nullptr);

    const TokenInfo token{"", "Varnel 3", "A", "1.0.0.0", 64000, 1000, true};
    store.send(AppAction::switchToPinView{token});
    recorder->actions.clear();
    first->appeared();
    store.send(AppAction::updatePinVerificationStatus{PinVerificationStatus::success{}});
    executor.runUntilIdle();
    EXPECT_EQ(recorder->actions.back(), "enumerateCredentials(serial: A)");

    // Closing from inside ends the purpose; the next opening starts with a fresh sheet.
    emit first->dismissRequested();
    EXPECT_EQ(recorder->actions.back(), "dismissLoginView");
    EXPECT_FALSE(window.loginSheetShown());
    first->disappeared();
    store.send(AppAction::startSync{});
    EXPECT_TRUE(window.loginSheetShown());
    EXPECT_NE(window.loginSheet(), nullptr);
}

} // namespace
} // namespace keyvane::app
