#include "shared/viewmodels/BiometricPromptModel.h"

#include "flowkeep/VirtualClockExecutor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

namespace keyvane::views {
namespace {

// A check as the fingerprint backend runs it on a pool thread: it shows the prompt, waits
// until it is cancelled or told to end, and hides the prompt on its way out.
class PoolCheck {
public:
    PoolCheck(BiometricPromptProtocol& prompt, std::string reason) {
        result_ = std::async(std::launch::async, [this, &prompt, reason = std::move(reason)] {
            prompt.show(reason, [this] { finish(true); });
            std::unique_lock lock(mutex_);
            ended_.wait(lock, [this] { return done_; });
            lock.unlock();
            prompt.hide();
            return cancelled_.load();
        });
    }
    ~PoolCheck() { finish(false); }
    // The finger came (or the time ran out): the check ends without a cancel.
    void end() { finish(false); }
    // Whether the prompt's cancel stopped it; waits for the check's thread.
    bool cancelled() { return result_.get(); }
    int cancels() const { return cancels_.load(); }

private:
    void finish(bool cancelled) {
        std::lock_guard lock(mutex_);
        if (cancelled) {
            ++cancels_;
            if (!done_) {
                cancelled_ = true;
            }
        }
        done_ = true;
        ended_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::atomic<bool> cancelled_ = false;
    std::atomic<int> cancels_ = 0;
    std::future<bool> result_;
};

TEST(BiometricPromptModelTest, APoolCheckShowsThePromptUntilItEnds) {
    flowkeep::VirtualClockExecutor executor;
    BiometricPromptModel prompt(executor);
    EXPECT_FALSE(prompt.shown());

    PoolCheck check(prompt, "unlock the saved PINs");
    ASSERT_TRUE(executor.runUntil([&] { return prompt.shown(); }));
    EXPECT_EQ(prompt.reason(), QStringLiteral("unlock the saved PINs"));

    check.end();
    EXPECT_FALSE(check.cancelled());
    ASSERT_TRUE(executor.runUntil([&] { return !prompt.shown(); }));
    EXPECT_EQ(prompt.reason(), QString());
    // Cancel after the check has ended reaches nothing.
    prompt.cancel();
    EXPECT_EQ(check.cancels(), 0);
}

TEST(BiometricPromptModelTest, CancelStopsTheCheckAndHidesAtOnce) {
    flowkeep::VirtualClockExecutor executor;
    BiometricPromptModel prompt(executor);
    PoolCheck check(prompt, "reason");
    ASSERT_TRUE(executor.runUntil([&] { return prompt.shown(); }));

    prompt.cancel();
    EXPECT_FALSE(prompt.shown()) << "the prompt goes at the press, before the check has wound down";
    EXPECT_TRUE(check.cancelled());
    // The check's own hide arrives later and changes nothing; a second press does nothing.
    executor.runUntilIdle();
    prompt.cancel();
    EXPECT_FALSE(prompt.shown());
    EXPECT_EQ(check.cancels(), 1);
}

// Two checks that overlap (one per thread): each one's hide ends its own prompt only.
TEST(BiometricPromptModelTest, OverlappingChecksKeepTheirOwnPrompts) {
    flowkeep::VirtualClockExecutor executor;
    BiometricPromptModel prompt(executor);
    PoolCheck first(prompt, "first");
    ASSERT_TRUE(executor.runUntil([&] { return prompt.reason() == QStringLiteral("first"); }));
    PoolCheck second(prompt, "second");
    ASSERT_TRUE(executor.runUntil([&] { return prompt.reason() == QStringLiteral("second"); }));

    first.end();
    EXPECT_FALSE(first.cancelled());
    executor.runUntilIdle();
    EXPECT_TRUE(prompt.shown());
    EXPECT_EQ(prompt.reason(), QStringLiteral("second"));

    prompt.cancel();
    EXPECT_TRUE(second.cancelled());
    EXPECT_EQ(first.cancels(), 0);
}

// A hide posted by a check that has ended reaches the main thread after the prompt is gone
// (the window closed at exit): the step finds nothing and does nothing.
TEST(BiometricPromptModelTest, AStepPostedBeforeThePromptWentIsDropped) {
    flowkeep::VirtualClockExecutor executor;
    auto prompt = std::make_unique<BiometricPromptModel>(executor);
    {
        PoolCheck check(*prompt, "reason");
        ASSERT_TRUE(executor.runUntil([&] { return prompt->shown(); }));
        check.end();
        EXPECT_FALSE(check.cancelled());
    }
    prompt.reset();
    EXPECT_GT(executor.runUntilIdle(), 0U) << "the check's hide was still waiting to run";
}

} // namespace
} // namespace keyvane::views
