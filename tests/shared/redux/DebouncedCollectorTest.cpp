#include "flowkeep/VirtualClockExecutor.h"
#include "shared/redux/DebouncedCollector.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Lists = std::vector<std::vector<std::string>>;

struct Emission {
    std::chrono::milliseconds at;
    std::vector<std::string> list;
    bool operator==(const Emission&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Emission& emission) {
    out << "{" << emission.at.count() << "ms:";
    for (const auto& element : emission.list) {
        out << " " << element;
    }
    return out << "}";
}

class DebouncedCollectorTest : public ::testing::Test {
protected:
    flowkeep::VirtualClockExecutor executor;
    std::vector<Emission> emitted;
    keyvane::DebouncedCollector<std::string> collector{
        executor, 1000ms, [this](std::vector<std::string> list) { emitted.push_back({executor.now(), std::move(list)}); }};

    // Each step: wait, then receive the element (an empty element means only wait).
    void play(const std::vector<std::pair<std::chrono::milliseconds, std::string>>& steps) {
        for (const auto& [wait, element] : steps) {
            executor.advance(wait);
            if (!element.empty()) {
                collector.receive(element);
                executor.runUntilIdle();
            }
        }
    }
};

TEST_F(DebouncedCollectorTest, EmitsEachBurstOnceAfterAQuietDueTime) {
    struct Case {
        std::string name;
        std::vector<std::pair<std::chrono::milliseconds, std::string>> steps;
        std::vector<Emission> expected;
    };
    const std::vector<Case> cases = {
        {"three elements 200 ms apart give one list 1000 ms after the third",
         {{0ms, "a"}, {200ms, "b"}, {200ms, "c"}, {5000ms, ""}},
         {{1400ms, {"a", "b", "c"}}}},
        {"a quiet second splits the lists",
         {{0ms, "a"}, {100ms, "b"}, {1000ms, ""}, {500ms, "c"}, {5000ms, ""}},
         {{1100ms, {"a", "b"}}, {2600ms, {"c"}}}},
        {"999 ms is not yet quiet", {{0ms, "a"}, {999ms, "b"}, {999ms, ""}, {1ms, ""}}, {{1999ms, {"a", "b"}}}},
        {"no element, no list", {{5000ms, ""}}, {}},
    };
    for (const auto& testCase : cases) {
        flowkeep::VirtualClockExecutor caseExecutor;
        std::vector<Emission> caseEmitted;
        keyvane::DebouncedCollector<std::string> caseCollector(
            caseExecutor, 1000ms, [&](std::vector<std::string> list) {
                caseEmitted.push_back({caseExecutor.now(), std::move(list)});
            });
        for (const auto& [wait, element] : testCase.steps) {
            caseExecutor.advance(wait);
            if (!element.empty()) {
                caseCollector.receive(element);
                caseExecutor.runUntilIdle();
            }
        }
        EXPECT_EQ(caseEmitted, testCase.expected) << testCase.name;
    }
}

TEST_F(DebouncedCollectorTest, CancelDropsTheWaitingListAndLaterElements) {
    play({{0ms, "a"}, {500ms, "b"}});
    collector.cancel();
    collector.receive("c");
    executor.advance(5000ms);
    EXPECT_TRUE(emitted.empty());
}

TEST_F(DebouncedCollectorTest, ElementsFromAnotherThreadArriveInOrder) {
    std::jthread([this] {
        for (const char* element : {"1", "2", "3"}) {
            collector.receive(element);
        }
    }).join();
    executor.advance(1000ms);
    ASSERT_EQ(emitted.size(), 1u);
    EXPECT_EQ(emitted[0].list, (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(DebouncedCollectorTest, DestroyedCollectorDropsElementsStillOnTheirWay) {
    auto owned = std::make_unique<keyvane::DebouncedCollector<std::string>>(
        executor, 1000ms, [this](std::vector<std::string> list) { emitted.push_back({executor.now(), list}); });
    owned->receive("posted but not yet handled");
    owned.reset();
    executor.advance(5000ms);
    EXPECT_TRUE(emitted.empty());
}

} // namespace
