#include "flowkeep/QtMainExecutor.h"
#include "flowkeep/VirtualClockExecutor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(VirtualClockExecutorTest, TimersRunAtTheirDueTimeInOrder) {
    flowkeep::VirtualClockExecutor executor;
    std::vector<std::string> ran;
    auto at = [&](std::string name) {
        return [&ran, &executor, name] { ran.push_back(name + "@" + std::to_string(executor.now().count())); };
    };
    executor.postAfter(300ms, at("c"));
    executor.postAfter(100ms, at("a"));
    const auto cancelled = executor.postAfter(200ms, at("cancelled"));
    executor.postAfter(100ms, at("b")); // same due time: after a
    executor.post(at("now"));
    executor.cancel(cancelled);

    executor.advance(99ms);
    EXPECT_EQ(ran, std::vector<std::string>{"now@0"});
    executor.advance(1ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"now@0", "a@100", "b@100"}));
    executor.advance(1000ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"now@0", "a@100", "b@100", "c@300"}));
    EXPECT_EQ(executor.now(), 1100ms);
}

TEST(VirtualClockExecutorTest, ATimerSetByATimerRunsWithinTheSameAdvance) {
    flowkeep::VirtualClockExecutor executor;
    std::vector<long> ran;
    executor.postAfter(100ms, [&] {
        ran.push_back(executor.now().count());
        executor.postAfter(100ms, [&] { ran.push_back(executor.now().count()); });
    });
    executor.advance(250ms);
    EXPECT_EQ(ran, (std::vector<long>{100, 200}));
}

// Spins the Qt event loop until the condition holds; the limit only stops a hanging test.
bool processEventsUntil(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

TEST(QtMainExecutorTest, JobsFromOtherThreadsRunOnTheMainThreadInOrder) {
    flowkeep::QtMainExecutor executor;
    EXPECT_TRUE(executor.isMainThread());
    std::vector<int> ran;
    std::atomic<bool> allOnMain{true};
    std::jthread producer([&] {
        EXPECT_FALSE(executor.isMainThread());
        for (int i = 0; i < 20; ++i) {
            executor.post([&, i] {
                allOnMain = allOnMain && executor.isMainThread();
                ran.push_back(i);
            });
        }
    });
    producer.join();
    ASSERT_TRUE(processEventsUntil([&] { return ran.size() == 20; }));
    EXPECT_TRUE(allOnMain);
    EXPECT_TRUE(std::is_sorted(ran.begin(), ran.end()));
}

TEST(QtMainExecutorTest, DelayedJobsRunUnlessCancelledAlsoWhenSetFromAnotherThread) {
    flowkeep::QtMainExecutor executor;
    std::vector<std::string> ran;
    const auto dropped = executor.postAfter(5ms, [&] { ran.push_back("dropped"); });
    executor.cancel(dropped);
    std::jthread([&] {
        const auto droppedToo = executor.postAfter(5ms, [&] { ran.push_back("dropped too"); });
        executor.cancel(droppedToo);
        executor.postAfter(10ms, [&] { ran.push_back("late"); });
    }).join();
    executor.postAfter(1ms, [&] { ran.push_back("early"); });
    ASSERT_TRUE(processEventsUntil([&] { return ran.size() == 2; }));
    // Give any wrongly kept job a chance to show itself.
    bool more = false;
    executor.postAfter(30ms, [&] { more = true; });
    ASSERT_TRUE(processEventsUntil([&] { return more; }));
    EXPECT_EQ(ran, (std::vector<std::string>{"early", "late"}));
}

} // namespace

namespace {

// Work on other threads holds references; it keeps posting while the executor goes away, and
// no call may reach the executor after that (the sanitizer builds see any that does).
TEST(MainExecutorReferenceTest, CallsAfterTheExecutorIsGoneAreDroppedAndNeverReachIt) {
    auto executor = std::make_unique<flowkeep::VirtualClockExecutor>();
    const auto reference = executor->reference();
    auto ran = std::make_shared<std::atomic<int>>(0);
    ASSERT_TRUE(reference.post([ran] { ++*ran; }));
    const auto timer = reference.postAfter(10ms, [ran] { ++*ran; });
    ASSERT_TRUE(timer.has_value());
    executor->advance(10ms);
    EXPECT_EQ(*ran, 2);

    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::thread poster([&] {
        while (!stop) {
            if (!reference.post([ran] { ++*ran; })) {
                ++refused;
            }
            reference.cancel(reference.postAfter(1ms, [] {}).value_or(0));
        }
    });
    while (ran.use_count() < 3) {
        std::this_thread::yield(); // until the poster has jobs queued
    }
    executor.reset();
    const int refusedAtEnd = refused.load();
    while (refused.load() == refusedAtEnd) {
        std::this_thread::yield(); // until a post has been refused after the destruction
    }
    stop = true;
    poster.join();
    EXPECT_FALSE(reference.post([ran] { ++*ran; }));
    EXPECT_FALSE(reference.postAfter(1ms, [] {}).has_value());
    reference.cancel(1);
    EXPECT_EQ(ran.use_count(), 1) << "every job that was refused or left queued has been destroyed";
}

} // namespace
