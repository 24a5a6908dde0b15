#include "flowkeep/Store.h"
#include "flowkeep/VirtualClockExecutor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <latch>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using flowkeep::ActionSink;
using flowkeep::ActionStream;

struct Action {
    std::string name;
};

struct State {
    std::vector<std::string> reduced;
};

// Appends every action's name; keeps a shared log of calls so tests can see the order of
// reducer and middleware calls.
struct LoggingReducer {
    std::shared_ptr<std::vector<std::string>> log;
    State reduce(State state, const Action& action) const {
        log->push_back("reduce " + action.name);
        state.reduced.push_back(action.name);
        return state;
    }
};

using TestStore = flowkeep::Store<State, Action>;

// A middleware driven by the test: for the actions it handles it answers a stream whose
// producer end the test keeps, optionally yielding some actions at once inside process().
class ScriptedMiddleware : public flowkeep::Middleware<Action> {
public:
    ScriptedMiddleware(std::string id, std::shared_ptr<std::vector<std::string>> log,
                       std::map<std::string, std::vector<std::string>> handles)
        : id_(std::move(id)), log_(std::move(log)), handles_(std::move(handles)) {}

    std::optional<ActionStream<Action>> process(const Action& action) override {
        log_->push_back(id_ + " " + action.name);
        auto it = handles_.find(action.name);
        if (it == handles_.end()) {
            return std::nullopt;
        }
        auto [stream, sink] = ActionStream<Action>::make();
        for (const auto& name : it->second) {
            sink.yield(Action{name});
        }
        sinks.push_back(sink);
        return std::move(stream);
    }

    std::vector<ActionSink<Action>> sinks;

private:
    std::string id_;
    std::shared_ptr<std::vector<std::string>> log_;
    std::map<std::string, std::vector<std::string>> handles_;
};

class StoreTest : public ::testing::Test {
protected:
    std::unique_ptr<TestStore> makeStore(std::vector<std::shared_ptr<flowkeep::Middleware<Action>>> list) {
        return std::make_unique<TestStore>(State{}, LoggingReducer{log}, std::move(list), executor);
    }

    std::shared_ptr<ScriptedMiddleware> scripted(std::string id,
                                                 std::map<std::string, std::vector<std::string>> handles = {}) {
        return std::make_shared<ScriptedMiddleware>(std::move(id), log, std::move(handles));
    }

    flowkeep::VirtualClockExecutor executor;
    std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
};

TEST_F(StoreTest, ReducerRunsFirstThenEveryMiddlewareInListOrder) {
    struct Case {
        int middlewares;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {0, {"reduce a"}},
        {1, {"reduce a", "m0 a"}},
        {3, {"reduce a", "m0 a", "m1 a", "m2 a"}},
    };
    for (const auto& testCase : cases) {
        log->clear();
        std::vector<std::shared_ptr<flowkeep::Middleware<Action>>> list;
        for (int i = 0; i < testCase.middlewares; ++i) {
            list.push_back(scripted("m" + std::to_string(i)));
        }
        auto store = makeStore(std::move(list));
        store->send(Action{"a"});
        EXPECT_EQ(*log, testCase.expected) << testCase.middlewares << " middlewares";
        EXPECT_EQ(store->state().reduced, std::vector<std::string>{"a"});
        EXPECT_EQ(executor.runUntilIdle(), 0u);
    }
}

TEST_F(StoreTest, EverySendIsStoredAndAnnouncedEvenWhenTheStateIsUnchanged) {
    struct SameReducer {
        State reduce(State state, const Action&) const { return state; }
    };
    TestStore store(State{}, SameReducer{}, {}, executor);
    int willChange = 0;
    std::vector<std::size_t> published;
    auto a = store.observeWillChange([&] { ++willChange; });
    auto b = store.observe([&](const State& state) { published.push_back(state.reduced.size()); });
    EXPECT_EQ(published.size(), 1u) << "a new observer gets the current state at once";
    store.send(Action{"x"});
    store.send(Action{"x"});
    EXPECT_EQ(willChange, 2);
    EXPECT_EQ(published.size(), 3u);
    b.reset();
    store.send(Action{"x"});
    EXPECT_EQ(published.size(), 3u) << "a cancelled subscription hears nothing more";
}

TEST_F(StoreTest, StreamActionsReEnterAsSeparateSendsSeenByEveryMiddleware) {
    // m0 yields two follow-ups at once, inside process(), before the store even forwards.
    auto m0 = scripted("m0", {{"start", {"one", "two"}}});
    auto m1 = scripted("m1");
    auto store = makeStore({m0, m1});

    store->send(Action{"start"});
    EXPECT_EQ(*log, (std::vector<std::string>{"reduce start", "m0 start", "m1 start"}))
        << "nothing is sent from inside the send that started the stream";

    EXPECT_EQ(executor.runUntilIdle(), 2u) << "one main-thread step per forwarded action";
    EXPECT_EQ(*log, (std::vector<std::string>{"reduce start", "m0 start", "m1 start", "reduce one", "m0 one",
                                              "m1 one", "reduce two", "m0 two", "m1 two"}));
    EXPECT_EQ(store->state().reduced, (std::vector<std::string>{"start", "one", "two"}));
}

TEST_F(StoreTest, NewStreamFromSameMiddlewareStopsDeliveryOfThePreviousOne) {
    auto m0 = scripted("m0", {{"load", {}}});
    auto store = makeStore({m0});

    store->send(Action{"load"});
    auto first = m0->sinks.at(0);
    first.yield(Action{"buffered before cancel"});
    store->send(Action{"ignored"}); // m0 answers nothing: its forwarding stays as it was
    EXPECT_TRUE(store->isForwarding(0));
    first.yield(Action{"still delivered"});

    store->send(Action{"load"});
    auto second = m0->sinks.at(1);
    EXPECT_EQ(first.yield(Action{"after cancel"}), ActionStream<Action>::YieldResult::terminated);
    second.yield(Action{"from second"});
    executor.runUntilIdle();

    // Two streams interleave in no fixed order; within one stream the order holds.
    auto reduced = store->state().reduced;
    ASSERT_EQ(reduced.size(), 6u);
    EXPECT_EQ(std::vector(reduced.begin(), reduced.begin() + 3), (std::vector<std::string>{"load", "ignored", "load"}));
    std::vector<std::string> firstStream;
    std::copy_if(reduced.begin() + 3, reduced.end(), std::back_inserter(firstStream),
                 [](const std::string& name) { return name != "from second"; });
    EXPECT_EQ(firstStream, (std::vector<std::string>{"buffered before cancel", "still delivered"}))
        << "buffered actions of a cancelled stream are delivered, later ones are not";
    EXPECT_NE(std::find(reduced.begin(), reduced.end(), "from second"), reduced.end());
}

TEST_F(StoreTest, CancelledMiddlewareWorkRunsOnButItsLaterActionsAreDropped) {
    // Real middleware work on the task pool: the first run waits until the test lets it go.
    struct Worker : flowkeep::Middleware<Action> {
        std::latch release{1};
        std::atomic<int> finishedRuns{0};
        std::atomic<int> runs{0};
        std::optional<ActionStream<Action>> process(const Action& action) override {
            if (action.name != "work") {
                return std::nullopt;
            }
            const int run = ++runs;
            return flowkeep::runTask<Action>([this, run](const ActionSink<Action>& sink) {
                if (run == 1) {
                    release.wait();
                }
                sink.yield(Action{"done " + std::to_string(run)});
                ++finishedRuns;
            });
        }
    };
    auto worker = std::make_shared<Worker>();
    auto store = makeStore({worker});

    store->send(Action{"work"});
    store->send(Action{"work"});
    ASSERT_TRUE(executor.runUntil([&] { return store->state().reduced.size() == 3; }));
    worker->release.count_down();
    ASSERT_TRUE(executor.runUntil([&] { return worker->finishedRuns == 2; }));
    executor.runUntilIdle();

    EXPECT_EQ(store->state().reduced, (std::vector<std::string>{"work", "work", "done 2"}));
}

TEST_F(StoreTest, DestroyedStoreDeliversNothingWhileProducersKeepYielding) {
    // A producer on the pool yields a few actions, then keeps yielding while the store is
    // destroyed on the main thread.
    struct Flood : flowkeep::Middleware<Action> {
        std::latch firstDelivered{1};
        std::latch flooding{1};
        std::atomic<bool> finished{false};
        std::optional<ActionStream<Action>> process(const Action& action) override {
            if (action.name != "flood") {
                return std::nullopt;
            }
            return flowkeep::runTask<Action>([this](const ActionSink<Action>& sink) {
                sink.yield(Action{"first"});
                firstDelivered.wait();
                flooding.count_down();
                for (int i = 0; i < 5000; ++i) {
                    sink.yield(Action{"tick"});
                }
                finished = true;
            });
        }
    };
    auto flood = std::make_shared<Flood>();
    {
        auto store = makeStore({flood});
        store->send(Action{"flood"});
        ASSERT_TRUE(executor.runUntil([&] { return store->state().reduced.size() == 2; }));
        flood->firstDelivered.count_down();
        flood->flooding.wait();
    }
    const auto reducedAtDestruction = log->size(); // the reducer's log outlives the store
    ASSERT_TRUE(executor.runUntil([&] { return flood->finished.load(); }));
    executor.runUntilIdle();
    EXPECT_EQ(log->size(), reducedAtDestruction);
}

TEST_F(StoreTest, ForwardedActionOfADestroyedStoreIsDropped) {
    auto m0 = scripted("m0", {{"start", {"late"}}});
    auto store = makeStore({m0});
    store->send(Action{"start"});
    store.reset(); // the forwarding step is already posted
    log->clear();
    executor.runUntilIdle();
    EXPECT_TRUE(log->empty());
}

} // namespace
