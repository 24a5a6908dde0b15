#include "shared/dependencies/DependencyRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

namespace {

using keyvane::Dependencies;
using keyvane::DependencyContext;
using keyvane::DependencyKey;
using keyvane::DependencyScope;

struct GreeterProtocol {
    virtual ~GreeterProtocol() = default;
    virtual std::string greet() const = 0;
};

struct Greeter : GreeterProtocol {
    explicit Greeter(std::string text) : text(std::move(text)) {}
    std::string greet() const override { return text; }
    std::string text;
};

std::atomic<int> liveBuilds{0};

const DependencyKey<GreeterProtocol> greeter{
    "greeter",
    [] {
        ++liveBuilds;
        return std::make_shared<Greeter>("live");
    },
    [] { return std::make_shared<Greeter>("test"); }};

const DependencyKey<GreeterProtocol> storeBound{"storeBound",
                                                DependencyKey<GreeterProtocol>::fatalUntilInstalled("storeBound")};

class DependencyRegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        Dependencies::resetForTesting();
        Dependencies::setContext(DependencyContext::test);
    }
};

TEST_F(DependencyRegistryTest, LiveValueIsBuiltOnceEvenUnderConcurrentFirstUse) {
    Dependencies::setContext(DependencyContext::live);
    liveBuilds = 0;
    constexpr int threads = 16;
    std::latch start(threads);
    std::vector<std::shared_ptr<GreeterProtocol>> seen(threads);
    {
        std::vector<std::jthread> workers;
        for (int i = 0; i < threads; ++i) {
            workers.emplace_back([&, i] {
                start.arrive_and_wait();
                seen[i] = Dependencies::get(greeter);
            });
        }
    }
    EXPECT_EQ(liveBuilds, 1);
    for (const auto& value : seen) {
        EXPECT_EQ(value, seen.front());
    }
    EXPECT_EQ(seen.front()->greet(), "live");
}

TEST_F(DependencyRegistryTest, ContextInstallAndScopesDecideTheValue) {
    EXPECT_EQ(Dependencies::get(greeter)->greet(), "test");

    Dependencies::install<GreeterProtocol>(greeter, std::make_shared<Greeter>("installed"));
    EXPECT_EQ(Dependencies::get(greeter)->greet(), "installed");
    {
        DependencyScope outer;
        outer.set<GreeterProtocol>(greeter, std::make_shared<Greeter>("outer"));
        EXPECT_EQ(Dependencies::get(greeter)->greet(), "outer");
        {
            DependencyScope inner;
            inner.set<GreeterProtocol>(greeter, std::make_shared<Greeter>("inner"));
            EXPECT_EQ(Dependencies::get(greeter)->greet(), "inner");
            std::string otherThread;
            std::jthread([&] { otherThread = Dependencies::get(greeter)->greet(); }).join();
            EXPECT_EQ(otherThread, "installed") << "a scope overrides on its own thread only";
        }
        EXPECT_EQ(Dependencies::get(greeter)->greet(), "outer");
    }
    EXPECT_EQ(Dependencies::get(greeter)->greet(), "installed");
}

TEST_F(DependencyRegistryTest, StoreBoundServiceStopsTheProgramUntilInstalled) {
    Dependencies::setContext(DependencyContext::live);
    EXPECT_DEATH(Dependencies::get(storeBound), "storeBound.*has no value");
    Dependencies::install<GreeterProtocol>(storeBound, std::make_shared<Greeter>("container"));
    EXPECT_EQ(Dependencies::get(storeBound)->greet(), "container");
}

TEST_F(DependencyRegistryTest, KeyWithoutTestValueStopsATestThatForgotToOverrideIt) {
    const DependencyKey<GreeterProtocol> liveOnly{"liveOnly", [] { return std::make_shared<Greeter>("live"); }};
    EXPECT_DEATH(Dependencies::get(liveOnly), "liveOnly.*no test value");
    DependencyScope scope;
    scope.set<GreeterProtocol>(liveOnly, std::make_shared<Greeter>("override"));
    EXPECT_EQ(Dependencies::get(liveOnly)->greet(), "override");
}

} // namespace
