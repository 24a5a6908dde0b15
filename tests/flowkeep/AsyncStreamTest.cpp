#include "flowkeep/AsyncStream.h"
#include "flowkeep/VirtualClockExecutor.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

namespace {

using Stream = flowkeep::AsyncStream<int>;

TEST(AsyncStreamTest, ProducerGoneFinishesTheStreamAfterItsBufferedValues) {
    flowkeep::VirtualClockExecutor executor;
    std::vector<int> received;
    Stream::Forwarding forwarding;
    {
        auto [stream, sink] = Stream::make();
        sink.yield(1);
        sink.yield(2);
        forwarding = std::move(stream).forward(executor, [&](int value) { received.push_back(value); });
        EXPECT_TRUE(received.empty()) << "forwarding never delivers from inside forward()";
    } // the last copy of the continuation goes away
    EXPECT_TRUE(forwarding.isActive()) << "buffered values are still to be delivered";
    executor.runUntilIdle();
    EXPECT_EQ(received, (std::vector<int>{1, 2}));
    EXPECT_FALSE(forwarding.isActive());
}

TEST(AsyncStreamTest, YieldAfterFinishOrCancelIsRefused) {
    flowkeep::VirtualClockExecutor executor;
    for (bool byConsumer : {false, true}) {
        std::vector<int> received;
        auto [stream, sink] = Stream::make();
        auto forwarding = std::move(stream).forward(executor, [&](int value) { received.push_back(value); });
        EXPECT_EQ(sink.yield(1), Stream::YieldResult::enqueued);
        byConsumer ? forwarding.cancel() : sink.finish();
        forwarding.cancel(); // a second end changes nothing
        EXPECT_EQ(sink.yield(2), Stream::YieldResult::terminated);
        executor.runUntilIdle();
        EXPECT_EQ(received, std::vector<int>{1}) << (byConsumer ? "cancelled" : "finished");
    }
}

TEST(AsyncStreamTest, ValuesFromManyThreadsKeepEachProducersOrder) {
    flowkeep::VirtualClockExecutor executor;
    constexpr int producers = 4;
    constexpr int perProducer = 500;
    std::map<int, std::vector<int>> received;
    int total = 0;
    auto [stream, sink] = flowkeep::AsyncStream<std::pair<int, int>>::make();
    auto forwarding = std::move(stream).forward(executor, [&](std::pair<int, int> value) {
        received[value.first].push_back(value.second);
        ++total;
    });
    std::vector<std::jthread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([p, sink = sink] {
            for (int i = 0; i < perProducer; ++i) {
                sink.yield({p, i});
            }
        });
    }
    ASSERT_TRUE(executor.runUntil([&] { return total == producers * perProducer; }));
    for (int p = 0; p < producers; ++p) {
        ASSERT_EQ(received[p].size(), static_cast<std::size_t>(perProducer));
        EXPECT_TRUE(std::is_sorted(received[p].begin(), received[p].end())) << "producer " << p;
    }
}

} // namespace
