#include "flowkeep/SerialExecutor.h"
#include "flowkeep/TaskPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(TaskPoolTest, TasksThatWaitDoNotStarveLaterTasks) {
    // Eight tasks block until a ninth one runs: a fixed pool of a few threads (as many as a
    // two-core machine would give) would never run the ninth.
    flowkeep::TaskPool pool;
    constexpr int waiting = 8;
    std::latch released(1);
    std::latch allDone(waiting + 1);
    for (int i = 0; i < waiting; ++i) {
        pool.spawn([&] {
            released.wait();
            allDone.count_down();
        });
    }
    pool.spawn([&] {
        released.count_down();
        allDone.count_down();
    });
    allDone.wait();
    EXPECT_GE(pool.workersStarted(), static_cast<std::size_t>(waiting + 1));
}

TEST(TaskPoolTest, ATaskThatThrowsLeavesThePoolWorking) {
    flowkeep::TaskPool pool(1);
    std::latch done(1);
    pool.spawn([] { throw std::runtime_error("boom"); });
    pool.spawn([&] { done.count_down(); });
    done.wait();
}

TEST(SerialExecutorTest, RunsJobsOneAtATimeInOrderOnOneThread) {
    flowkeep::SerialExecutor executor("test");
    std::vector<int> order;
    std::set<std::thread::id> threads;
    std::atomic<int> inside{0};
    std::atomic<int> overlap{0};
    std::vector<std::jthread> callers;
    for (int caller = 0; caller < 4; ++caller) {
        callers.emplace_back([&, caller] {
            for (int i = 0; i < 50; ++i) {
                executor.run([&] {
                    if (++inside > 1) {
                        ++overlap;
                    }
                    threads.insert(std::this_thread::get_id());
                    order.push_back(caller);
                    --inside;
                });
            }
        });
    }
    callers.clear(); // joins
    EXPECT_EQ(overlap, 0);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(order.size(), 200u);

    std::vector<int> sequence;
    for (int i = 0; i < 10; ++i) {
        executor.post([&sequence, i] { sequence.push_back(i); });
    }
    executor.run([] {});
    EXPECT_EQ(sequence, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(SerialExecutorTest, ResultsAndExceptionsReachTheCallerAndNestedRunsDoNotDeadlock) {
    flowkeep::SerialExecutor executor;
    EXPECT_EQ(executor.run([] { return 42; }), 42);
    EXPECT_THROW(executor.run([]() -> int { throw std::invalid_argument("bad"); }), std::invalid_argument);
    EXPECT_EQ(executor.run([&] { return executor.run([] { return 7; }) + 1; }), 8);
    executor.stop();
    EXPECT_FALSE(executor.post([] {}));
    EXPECT_THROW(executor.run([] { return 0; }), std::runtime_error);
}

TEST(SerialExecutorTest, AnExecutorReleasedByItsOwnJobEndsCleanly) {
    // The last owner of a service (and so of its executor) can be let go on that executor.
    auto executor = std::make_shared<flowkeep::SerialExecutor>("self-owned");
    std::latch testLetGo(1);
    std::latch destroyed(1);
    auto owner = std::make_shared<std::shared_ptr<flowkeep::SerialExecutor>>(executor);
    executor->post([&, owner] {
        testLetGo.wait();
        owner->reset(); // the last reference: the executor is destroyed here, on its own thread
        destroyed.count_down();
    });
    owner.reset();
    executor.reset();
    testLetGo.count_down();
    destroyed.wait();
}

} // namespace
