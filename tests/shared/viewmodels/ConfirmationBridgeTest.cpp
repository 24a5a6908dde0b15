#include "shared/viewmodels/ConfirmationBridge.h"

#include "flowkeep/VirtualClockExecutor.h"

#include <gtest/gtest.h>

#include <future>

namespace keyvane::views {
namespace {

// A pool task asks; the dialog (on the main thread) answers.
TEST(ConfirmationBridgeTest, APoolTaskWaitsForTheDialogsAnswer) {
    for (const bool agreed : {true, false}) {
        flowkeep::VirtualClockExecutor executor;
        ConfirmationBridge bridge(executor);
        auto answer = std::async(std::launch::async, [&] { return bridge.ask(); });
        ASSERT_TRUE(executor.runUntil([&] { return bridge.asking(); }));
        bridge.answer(agreed);
        EXPECT_EQ(answer.get(), agreed);
        EXPECT_FALSE(bridge.asking());
    }
}

TEST(ConfirmationBridgeTest, ClosingTheWindowAnswersNoNowAndLater) {
    flowkeep::VirtualClockExecutor executor;
    ConfirmationBridge bridge(executor);
    auto answer = std::async(std::launch::async, [&] { return bridge.ask(); });
    ASSERT_TRUE(executor.runUntil([&] { return bridge.asking(); }));
    bridge.close();
    EXPECT_FALSE(answer.get());
    EXPECT_FALSE(std::async(std::launch::async, [&] { return bridge.ask(); }).get());
}

TEST(ConfirmationBridgeTest, TheMainThreadIsNeverMadeToWaitForItsOwnDialog) {
    flowkeep::VirtualClockExecutor executor;
    ConfirmationBridge bridge(executor);
    EXPECT_FALSE(bridge.ask());
    EXPECT_FALSE(bridge.asking());
}

} // namespace
} // namespace keyvane::views
