#include "shared/pkcs11/Pkcs11Manager.h"
#include "shared/pkcs11/TokenLoginManager.h"

#include "VirtualTokenFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace keyvane {
namespace {

using namespace std::chrono_literals;
using testing::VirtualTokenFixture;
using testing::VirtualTokenSettings;

constexpr auto fastPoll = 10ms;
constexpr auto patience = 10s; // an upper bound for a condition wait, never a sleep

const std::string firstSerial = "0313210061"; // 12AB34CD

VirtualTokenSettings token(std::uint64_t slot, const std::string& serial) {
    VirtualTokenSettings settings;
    settings.slot = slot;
    settings.serial = serial;
    return settings;
}

Pkcs11TokenEvent added(const std::string& serial) { return pkcs11_token_event::added{serial}; }
Pkcs11TokenEvent removed(const std::string& serial) { return pkcs11_token_event::removed{serial}; }

// The error that ends a monitoring stream of the manager.
Pkcs11Error::internalError monitoringFailureOf(Pkcs11ManagerProtocol& manager) {
    const auto stream = manager.startMonitoring();
    try {
        while (stream.next(patience)) {
        }
        ADD_FAILURE() << "monitoring ended without error";
    } catch (const Pkcs11Error& error) {
        if (const auto* internal = error.as<Pkcs11Error::internalError>()) {
            return *internal;
        }
        ADD_FAILURE() << error.description();
    }
    return {};
}

class Pkcs11ManagerTest : public ::testing::Test {
protected:
    void start(std::vector<VirtualTokenSettings> tokens) {
        fixture_ = std::make_unique<VirtualTokenFixture>(std::move(tokens));
        manager_ = std::make_shared<Pkcs11Manager>(Pkcs11Library::load(VirtualTokenFixture::modulePath()), fastPoll);
    }
    void TearDown() override {
        manager_.reset(); // finalises the module before the fixture's folder goes
        fixture_.reset();
    }

    static Pkcs11TokenEvent nextEvent(const Pkcs11TokenEventStream& stream) {
        auto event = stream.next(patience);
        if (!event) {
            ADD_FAILURE() << "no event";
            return removed("<none>");
        }
        return *event;
    }
    // Whether the stream ends without a further event.
    static bool endsQuietly(const Pkcs11TokenEventStream& stream) {
        const auto event = stream.next(patience);
        return !event && stream.isFinished();
    }
    int calls(const std::string& function) const {
        const auto log = fixture_->callLog();
        return static_cast<int>(
            std::count_if(log.begin(), log.end(), [&](const auto& call) { return call.function == function; }));
    }
    // Waits until the producer has polled a few more times, so a change it missed would show.
    void waitForPolls(const std::string& function = "C_WaitForSlotEvent") const {
        const int before = calls(function);
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (calls(function) < before + 3 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
    }

    std::unique_ptr<VirtualTokenFixture> fixture_;
    std::shared_ptr<Pkcs11Manager> manager_;
};

TEST_F(Pkcs11ManagerTest, InitialScanArrivalRemovalAndLookup) {
    auto absent = token(2, "5");
    absent.present = false;
    start({token(1, "12AB34CD"), absent});

    const auto stream = manager_->startMonitoring();
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
    const auto found = manager_->getToken(firstSerial);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->slot(), 1U);
    EXPECT_EQ(makeTokenInfo(*found).totalMemory, 131072U);
    EXPECT_EQ(manager_->getToken("0000000005"), nullptr);

    fixture_->plug(2);
    EXPECT_EQ(nextEvent(stream), added("0000000005"));
    fixture_->unplug(1);
    EXPECT_EQ(nextEvent(stream), removed(firstSerial));
    EXPECT_EQ(manager_->getToken(firstSerial), nullptr);
    EXPECT_NE(manager_->getToken("0000000005"), nullptr);
}

TEST_F(Pkcs11ManagerTest, SwapInOneSlotReportsTheRemovalFirstAndGivesAWorkingSession) {
    start({token(1, "12AB34CD")});
    const auto stream = manager_->startMonitoring();
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
    const auto before = manager_->getToken(firstSerial)->sessionHandle();

    fixture_->unplug(1);
    fixture_->plug(1);
    EXPECT_EQ(nextEvent(stream), removed(firstSerial));
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
    const auto after = manager_->getToken(firstSerial);
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after->sessionHandle(), before);
    EXPECT_NO_THROW(after->login("12345678"));
}

TEST_F(Pkcs11ManagerTest, UnsupportedTokenIsNeverReported) {
    auto unsupported = token(2, "77");
    unsupported.tokenClass = 5;
    unsupported.present = false;
    start({token(1, "12AB34CD"), unsupported});
    const auto stream = manager_->startMonitoring();
    EXPECT_EQ(nextEvent(stream), added(firstSerial));

    fixture_->plug(2);
    waitForPolls();
    fixture_->unplug(2);
    waitForPolls();
    fixture_->unplug(1);
    EXPECT_EQ(nextEvent(stream), removed(firstSerial)); // nothing of slot 2 came before it
}

TEST_F(Pkcs11ManagerTest, ModuleWithoutSlotEventsIsWatchedThroughTheSlotList) {
    start({token(1, "12AB34CD")});
    fixture_->injectFault("C_WaitForSlotEvent", CKR_FUNCTION_NOT_SUPPORTED, 1, 0);
    const auto stream = manager_->startMonitoring();
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
    fixture_->unplug(1);
    EXPECT_EQ(nextEvent(stream), removed(firstSerial));
    fixture_->plug(1);
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
}

TEST_F(Pkcs11ManagerTest, SlotListRetriedWhenATokenArrivesBetweenItsTwoCalls) {
    start({token(1, "12AB34CD")});
    fixture_->injectFault("C_GetSlotList", CKR_BUFFER_TOO_SMALL, 2);
    const auto stream = manager_->startMonitoring();
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
}

TEST_F(Pkcs11ManagerTest, FailedPollsEndTheStreamWithTheirError) {
    struct Case {
        const char* function;
        CK_RV rv;
    };
    for (const Case& failing : {Case{"C_WaitForSlotEvent", CKR_CRYPTOKI_NOT_INITIALIZED},
                                Case{"C_GetSlotList", CKR_DEVICE_ERROR}}) {
        SCOPED_TRACE(failing.function);
        start({token(1, "12AB34CD")});
        fixture_->injectFault(failing.function, failing.rv);
        const auto failure = monitoringFailureOf(*manager_);
        EXPECT_EQ(failure.func, "startMonitoring()");
        EXPECT_EQ(failure.rv, failing.rv);
        TearDown();
    }
}

TEST_F(Pkcs11ManagerTest, StopLogsOutForgetsAndEndsTheStream) {
    start({token(1, "12AB34CD")});
    const auto stream = manager_->startMonitoring();
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
    manager_->getToken(firstSerial)->login("12345678");
    fixture_->clearCallLog();

    manager_->stopMonitoring();
    EXPECT_EQ(calls("C_Logout"), 1);
    EXPECT_EQ(manager_->getToken(firstSerial), nullptr);
    fixture_->unplug(1);
    EXPECT_TRUE(endsQuietly(stream));

    // Nothing comes back into the table afterwards, and an empty table costs no call.
    fixture_->clearCallLog();
    manager_->stopMonitoring();
    EXPECT_EQ(calls("C_Logout"), 0);
    EXPECT_EQ(manager_->getToken(firstSerial), nullptr);
}

TEST_F(Pkcs11ManagerTest, SecondStartEndsTheFirstStreamSoEveryEventIsReportedOnce) {
    start({token(1, "12AB34CD")});
    const auto first = manager_->startMonitoring();
    EXPECT_EQ(nextEvent(first), added(firstSerial));
    const auto second = manager_->startMonitoring();
    EXPECT_TRUE(endsQuietly(first));
    EXPECT_EQ(nextEvent(second), added(firstSerial));

    fixture_->unplug(1);
    EXPECT_EQ(nextEvent(second), removed(firstSerial));
    fixture_->plug(1);
    EXPECT_EQ(nextEvent(second), added(firstSerial));
    waitForPolls();
    EXPECT_FALSE(second.next(0ms)); // no second producer repeating the events
}

// The live manager loads and initialises its module when monitoring first starts, not when it
// is made, so a program starts without it. Before that no token is open and nothing is
// monitored: a lookup finds nothing and a stop has nothing to end, and neither loads it.
TEST_F(Pkcs11ManagerTest, TheLiveManagerLoadsItsModuleWhenMonitoringFirstStarts) {
    fixture_ = std::make_unique<VirtualTokenFixture>(std::vector{token(1, "12AB34CD")});
    const auto manager = makeLivePkcs11Manager();
    EXPECT_EQ(manager->getToken(firstSerial), nullptr);
    manager->stopMonitoring();
    EXPECT_TRUE(fixture_->callLog().empty()) << "the module was called before monitoring started";

    const auto stream = manager->startMonitoring();
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
    EXPECT_NE(manager->getToken(firstSerial), nullptr);
    manager->stopMonitoring();
    EXPECT_TRUE(endsQuietly(stream));
    EXPECT_EQ(manager->getToken(firstSerial), nullptr);
    // One module for the process: starting again initialises nothing anew.
    const auto again = manager->startMonitoring();
    EXPECT_EQ(nextEvent(again), added(firstSerial));
    EXPECT_EQ(calls("C_Initialize"), 1);
}

TEST_F(Pkcs11ManagerTest, ModuleThatCannotBeLoadedEndsMonitoringWithTheReason) {
    fixture_ = std::make_unique<VirtualTokenFixture>(); // a temporary folder, and the environment restored
    const std::string missing = (fixture_->directory() / "missing-module.so").string();
    setenv("KEYVANE_PKCS11_MODULE", missing.c_str(), 1); // the fixture restores it
    const auto manager = makeLivePkcs11Manager();
    const auto failure = monitoringFailureOf(*manager);
    EXPECT_EQ(failure.func, "loadModule(path:)");
    ASSERT_TRUE(failure.desc);
    EXPECT_NE(failure.desc->find("'" + missing + "'"), std::string::npos) << *failure.desc;
    EXPECT_NE(failure.desc->find("No such file"), std::string::npos) << *failure.desc; // the loader's reason
    EXPECT_EQ(manager->getToken(firstSerial), nullptr);
    manager->stopMonitoring();
}

TEST_F(Pkcs11ManagerTest, ModuleThatFailsToInitialiseEndsMonitoringWithItsPathAndAnswer) {
    fixture_ = std::make_unique<VirtualTokenFixture>(std::vector{token(1, "12AB34CD")});
    fixture_->injectFault("C_Initialize", CKR_DEVICE_ERROR, 1, 0); // the first try and the retry
    const auto manager = makeLivePkcs11Manager();
    const auto failure = monitoringFailureOf(*manager);
    EXPECT_EQ(failure.func, "initialize()");
    EXPECT_EQ(failure.rv, CKR_DEVICE_ERROR);
    ASSERT_TRUE(failure.desc);
    EXPECT_NE(failure.desc->find(VirtualTokenFixture::modulePath().string()), std::string::npos) << *failure.desc;

    // A module that initialises on the retry is monitored as usual.
    fixture_->clearFaults();
    const auto stream = manager->startMonitoring();
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
}

TEST_F(Pkcs11ManagerTest, EverySessionTheManagerForgetsIsClosed) {
    auto second = token(2, "5");
    start({token(1, "12AB34CD"), second});
    // Sessions opened and not closed so far: every opened one must be closed or still in use.
    const auto balance = [&] {
        const auto log = fixture_->callLog();
        const auto opened = std::count_if(log.begin(), log.end(), [](const auto& call) {
            return call.function == "C_OpenSession" && call.rv == CKR_OK;
        });
        const auto closed = std::count_if(log.begin(), log.end(),
                                          [](const auto& call) { return call.function == "C_CloseSession"; });
        return static_cast<int>(opened - closed);
    };
    // The producer closes a session just after it reports the token's removal.
    const auto settledBalance = [&](int expected) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (balance() != expected && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        return balance();
    };
    const auto openTokens = [&] {
        return (manager_->getToken(firstSerial) ? 1 : 0) + (manager_->getToken("0000000005") ? 1 : 0);
    };

    for (int cycle = 0; cycle < 5; ++cycle) {
        const auto stream = manager_->startMonitoring();
        if (cycle % 2 == 0) { // and otherwise a stop while the first scan may still be opening tokens
            nextEvent(stream);
            nextEvent(stream);
        }
        manager_->stopMonitoring();
    }
    auto stream = manager_->startMonitoring(); // ends the last stopped producer first
    nextEvent(stream);
    nextEvent(stream);
    EXPECT_EQ(balance(), 2);

    fixture_->unplug(2);
    EXPECT_EQ(nextEvent(stream), removed("0000000005"));
    EXPECT_EQ(settledBalance(1), 1);
    fixture_->unplug(1);
    fixture_->plug(1); // a swap between two polls
    EXPECT_EQ(nextEvent(stream), removed(firstSerial));
    EXPECT_EQ(nextEvent(stream), added(firstSerial));
    EXPECT_EQ(openTokens(), 1);
    EXPECT_EQ(settledBalance(1), 1);

    manager_->stopMonitoring();
    EXPECT_EQ(balance(), 0);
}

class TokenLoginManagerTest : public Pkcs11ManagerTest {
protected:
    void SetUp() override {
        auto settings = token(1, "12AB34CD");
        settings.pinRetries = 3;
        start({settings});
        const auto stream = manager_->startMonitoring();
        ASSERT_EQ(nextEvent(stream), added(firstSerial));
        login_ = std::make_unique<TokenLoginManager>(manager_);
    }
    void TearDown() override {
        login_.reset(); // it holds the manager, which must finalise the module before the folder goes
        Pkcs11ManagerTest::TearDown();
    }
    TokenLoginManagerError loginError(const std::string& serial, const std::string& pin) {
        try {
            login_->login(serial, pin);
        } catch (const TokenLoginManagerError& error) {
            return error;
        }
        ADD_FAILURE() << "login succeeded";
        return TokenLoginManagerError(TokenLoginManagerError::tokenNotFound{});
    }
    std::unique_ptr<TokenLoginManager> login_;
};

TEST_F(TokenLoginManagerTest, PinOutcomes) {
    fixture_->clearCallLog();
    EXPECT_TRUE(loginError("0000000001", "12345678").is<TokenLoginManagerError::tokenNotFound>());
    EXPECT_EQ(calls("C_Login") + calls("C_GetTokenInfo"), 0);

    EXPECT_NO_THROW(login_->login(firstSerial, "12345678"));
    EXPECT_NO_THROW(login_->login(firstSerial, "12345678")); // already logged in

    const auto wrong = loginError(firstSerial, "0000");
    ASSERT_NE(wrong.as<TokenLoginManagerError::incorrectPin>(), nullptr);
    EXPECT_EQ(wrong.as<TokenLoginManagerError::incorrectPin>()->attemptsLeft, 2U);
    loginError(firstSerial, "0000");
    loginError(firstSerial, "0000");
    EXPECT_TRUE(loginError(firstSerial, "12345678").is<TokenLoginManagerError::pinLocked>());
}

TEST_F(TokenLoginManagerTest, LibraryFailureIsAGeneralErrorCarryingIt) {
    fixture_->injectFault("C_Login", CKR_DEVICE_REMOVED);
    const auto error = loginError(firstSerial, "12345678");
    const auto* general = error.as<TokenLoginManagerError::generalError>();
    ASSERT_NE(general, nullptr);
    EXPECT_EQ(general->function, "makeDefaultError(_:)");
    ASSERT_TRUE(general->error);
    const auto* cause = general->error->as<Pkcs11Error>();
    ASSERT_NE(cause, nullptr);
    ASSERT_NE(cause->as<Pkcs11Error::internalError>(), nullptr);
    EXPECT_EQ(cause->as<Pkcs11Error::internalError>()->func, "login(with:)");
    EXPECT_EQ(cause->as<Pkcs11Error::internalError>()->rv, CKR_DEVICE_REMOVED);
}

} // namespace
} // namespace keyvane
