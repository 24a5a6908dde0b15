#include "TokenFakes.h"
#include "flowkeep/Store.h"
#include "keyvane/state/AppReducer.h"
#include "keyvane/state/AppState.h"
#include "keyvane/middlewares/OnDeleteCredentials.h"
#include "keyvane/middlewares/OnDeleteToken.h"
#include "shared/passkeys/PasskeyManagerError.h"
#include "shared/pin_cache/PinCodeCacheError.h"
#include "shared/redux/middlewares/OnEnumerateKeys.h"
#include "shared/redux/middlewares/OnLoginToken.h"
#include "shared/redux/middlewares/TokenMonitoring.h"
#include "shared/storage/CredentialsStorageError.h"
#include "shared/storage/TokenStorageError.h"

#include <atomic>
#include <thread>

namespace keyvane::testing {
namespace {

using ::testing::_;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::Throw;
using namespace std::chrono_literals;

// Counts what the collector moves onto the main executor, so a test knows when an event sent
// from the monitoring thread has arrived there.
// While held, posted jobs wait here instead, so a test can act between a step and the steps
// that it posts.
class CountingExecutor final : public flowkeep::MainExecutor {
public:
    explicit CountingExecutor(flowkeep::VirtualClockExecutor& clock) : clock_(clock) {}
    ~CountingExecutor() override { endReferences(); }
    void post(Job job) override {
        {
            std::lock_guard lock(mutex_);
            if (held_) {
                waiting_.push_back(std::move(job));
                return;
            }
        }
        clock_.post(std::move(job));
        ++posts;
    }
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    // Posts what waited, in order, and stops holding. Answers how many jobs waited.
    std::size_t release() {
        std::vector<Job> waiting;
        {
            std::lock_guard lock(mutex_);
            held_ = false;
            waiting.swap(waiting_);
        }
        for (auto& job : waiting) {
            post(std::move(job));
        }
        return waiting.size();
    }
    TimerId postAfter(std::chrono::milliseconds delay, Job job) override { return clock_.postAfter(delay, std::move(job)); }
    void cancel(TimerId timer) override { clock_.cancel(timer); }
    bool isMainThread() const override { return clock_.isMainThread(); }
    std::atomic<int> posts{0};

private:
    flowkeep::VirtualClockExecutor& clock_;
    std::mutex mutex_;
    bool held_ = false;
    std::vector<Job> waiting_;
};

std::string added(const std::string& serial, std::optional<std::uint64_t> freeMemory = 1024) {
    std::ostringstream out;
    out << TokenMonitoringEvent(TokenMonitoringEvent::addConnectedToken{fakeTokenInfo(serial, freeMemory)});
    return out.str();
}
std::string removed(const std::string& serial) {
    std::ostringstream out;
    out << TokenMonitoringEvent(TokenMonitoringEvent::removeToken{serial});
    return out.str();
}
std::string list(const std::vector<std::string>& events) {
    std::string text = "receiveTokenEvents([";
    const char* separator = "";
    for (const auto& event : events) {
        text += separator + event;
        separator = ", ";
    }
    return text + "])";
}

struct MonitoringFixture : ::testing::Test {
    flowkeep::VirtualClockExecutor clock;
    CountingExecutor executor{clock};
    TokenServices services;
    std::shared_ptr<TokenMonitoringGate> gate = std::make_shared<TokenMonitoringGate>();
    std::unique_ptr<OnStartMonitoring<AppAction>> start = services.make<OnStartMonitoring<AppAction>>(executor, gate);
    std::unique_ptr<OnStopMonitoring<AppAction>> stop = services.make<OnStopMonitoring<AppAction>>(gate);

    // Ends a monitoring that the test left running, so its work lets go of the services.
    void TearDown() override { services.manager->stopMonitoring(); }

    Forwarded<AppAction> startMonitoring() {
        auto stream = start->process(AppAction::startMonitoring{});
        EXPECT_TRUE(stream);
        Forwarded<AppAction> forwarded(clock, std::move(*stream));
        EXPECT_TRUE(clock.runUntil([&] { return services.manager->monitoring(); }));
        return forwarded;
    }
    // Sends the event and waits until it has reached the main executor.
    void sendEvent(Pkcs11TokenEvent event) {
        const int expectedPosts = executor.posts.load() + 1;
        services.manager->sendEvent(std::move(event));
        ASSERT_TRUE(clock.runUntil([&] { return executor.posts.load() >= expectedPosts; }));
        clock.runUntilIdle();
    }
};

TEST_F(MonitoringFixture, EventsCloserThanTheDueTimeShareOneListInArrivalOrder) {
    services.manager->plug("A1");
    services.manager->plug("B2", std::nullopt, true); // free memory cannot be read
    auto forwarded = startMonitoring();
    sendEvent(Pkcs11TokenEvent::added{"A1"});
    clock.advance(600ms);
    sendEvent(Pkcs11TokenEvent::added{"B2"});
    clock.advance(999ms);
    clock.runUntilIdle();
    EXPECT_TRUE(forwarded.received().empty()) << "the list waits 1000 ms after its last event";
    sendEvent(Pkcs11TokenEvent::removed{"A1"});
    clock.advance(1000ms);
    clock.runUntilIdle();
    EXPECT_EQ(forwarded.received(), Actions{list({added("A1"), added("B2", std::nullopt), removed("A1")})});

    sendEvent(Pkcs11TokenEvent::removed{"B2"});
    clock.advance(1000ms);
    clock.runUntilIdle();
    EXPECT_EQ(forwarded.received().back(), list({removed("B2")})) << "the next event starts a new list";
}

TEST_F(MonitoringFixture, AnArrivalWhoseTokenIsGoneIsSkippedAndMonitoringGoesOn) {
    services.manager->plug("B2");
    auto forwarded = startMonitoring();
    services.manager->sendEvent(Pkcs11TokenEvent::added{"A1"}); // never plugged: no token to read
    sendEvent(Pkcs11TokenEvent::added{"B2"});
    clock.advance(1000ms);
    clock.runUntilIdle();
    EXPECT_EQ(forwarded.received(), Actions{list({added("B2")})});
    EXPECT_FALSE(forwarded.finished());
}

TEST_F(MonitoringFixture, FailuresEndMonitoringWithOneErrorAndDropTheOpenList) {
    const auto failure = Pkcs11Error(Pkcs11Error::internalError{"C_GetSlotList", 0, std::nullopt, 0x30});
    services.manager->plug("A1");
    auto forwarded = startMonitoring();
    sendEvent(Pkcs11TokenEvent::added{"A1"});
    services.manager->fail(failure);
    EXPECT_EQ(forwarded.waitUntilFinished(), Actions{describe(AppAction::handleError{failure})});
    clock.advance(2000ms);
    clock.runUntilIdle();
    EXPECT_EQ(forwarded.received().size(), 1u);

    services.manager->startFailure = failure;
    auto failed = start->process(AppAction::startMonitoring{});
    ASSERT_TRUE(failed);
    EXPECT_EQ(Forwarded<AppAction>(clock, std::move(*failed)).waitUntilFinished(),
              Actions{describe(AppAction::handleError{failure})});
}

TEST_F(MonitoringFixture, StoppingDeliversNothingMoreEvenBeforeTheStreamEnds) {
    services.manager->plug("A1");
    auto forwarded = startMonitoring();
    sendEvent(Pkcs11TokenEvent::added{"A1"});
    auto stopped = stop->process(AppAction::stopMonitoring{});
    ASSERT_TRUE(stopped);
    // The list's due time passes before the manager's stream has ended.
    clock.advance(1000ms);
    clock.runUntilIdle();
    EXPECT_TRUE(forwarded.received().empty());
    EXPECT_EQ(Forwarded<AppAction>(clock, std::move(*stopped)).waitUntilFinished(), Actions{});
    EXPECT_EQ(services.manager->stops, 1);
    EXPECT_EQ(forwarded.waitUntilFinished(), Actions{});

    // Stopping while nothing is monitored still tells the manager.
    auto again = stop->process(AppAction::stopMonitoring{});
    EXPECT_EQ(Forwarded<AppAction>(clock, std::move(*again)).waitUntilFinished(), Actions{});
    EXPECT_EQ(services.manager->stops, 2);
    EXPECT_FALSE(start->process(AppAction::stopMonitoring{}));
    EXPECT_FALSE(stop->process(AppAction::startMonitoring{}));
}

// The login window closes right after a login: the list that the collector emits just before
// the stop is forwarded only after it, and must not bring the tokens back.
TEST_F(MonitoringFixture, AListOfAStoppedRunNeverReachesTheState) {
    flowkeep::Store<app::AppState, AppAction> store(app::AppState{}, app::AppReducer{}, {std::move(start), std::move(stop)},
                                                    executor);
    const auto connected = [&] {
        std::vector<std::string> serials;
        for (const auto& token : store.state().loginViewState.connectedTokens) {
            serials.push_back(token.serial);
        }
        return serials;
    };
    services.manager->plug("A1");
    store.send(AppAction::startMonitoring{});
    ASSERT_TRUE(clock.runUntil([&] { return services.manager->monitoring(); }));
    sendEvent(Pkcs11TokenEvent::added{"A1"});

    executor.hold();
    clock.advance(1000ms); // the list is emitted; its delivery waits as a later step
    store.send(AppAction::stopMonitoring{});
    ASSERT_EQ(executor.release(), 1u);
    ASSERT_TRUE(clock.runUntil([&] { return services.manager->stops == 1 && !store.isForwarding(0); }));
    clock.runUntilIdle();
    EXPECT_EQ(connected(), std::vector<std::string>{});

    // The next run's lists are taken.
    store.send(AppAction::startMonitoring{});
    ASSERT_TRUE(clock.runUntil([&] { return services.manager->monitoring(); }));
    sendEvent(Pkcs11TokenEvent::added{"A1"});
    clock.advance(1000ms);
    ASSERT_TRUE(clock.runUntil([&] { return !connected().empty(); }));
    EXPECT_EQ(connected(), std::vector<std::string>{"A1"});
}

// Start and stop reach the manager in the order they were sent, also when a stop takes a
// while: a stop overtaken by a newer start would end the new run.
TEST_F(MonitoringFixture, AStopNeverEndsANewerStart) {
    auto first = startMonitoring();
    // The stop lingers, giving a newer start every chance to reach the manager first.
    services.manager->beforeStop = [&] {
        const auto deadline = std::chrono::steady_clock::now() + 200ms;
        while (services.manager->starts < 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
    };
    auto stopped = stop->process(AppAction::stopMonitoring{});
    auto restarted = start->process(AppAction::startMonitoring{});
    ASSERT_TRUE(stopped && restarted);
    Forwarded<AppAction> second(clock, std::move(*restarted));
    EXPECT_EQ(Forwarded<AppAction>(clock, std::move(*stopped)).waitUntilFinished(), Actions{});
    EXPECT_EQ(first.waitUntilFinished(), Actions{});
    ASSERT_TRUE(clock.runUntil([&] { return services.manager->starts == 2; }));
    services.manager->beforeStop = nullptr;
    EXPECT_TRUE(services.manager->monitoring()) << "the newer run was ended by the older stop";
    EXPECT_FALSE(second.finished());
}

// The monitoring's work outlives the main executor when a window (or a test) goes away first:
// its end must not reach the executor that is gone.
TEST_F(MonitoringFixture, AMonitoringThatEndsAfterItsMainExecutorLeavesItAlone) {
    std::optional<CountingExecutor> shortLived(std::in_place, clock);
    auto ownStart = services.make<OnStartMonitoring<AppAction>>(*shortLived, gate);
    services.manager->plug("A1");
    auto stream = ownStart->process(AppAction::startMonitoring{});
    ASSERT_TRUE(stream);
    Forwarded<AppAction> forwarded(clock, std::move(*stream));
    ASSERT_TRUE(clock.runUntil([&] { return services.manager->monitoring(); }));
    services.manager->sendEvent(Pkcs11TokenEvent::added{"A1"});
    ASSERT_TRUE(clock.runUntil([&] { return shortLived->posts.load() == 1; }));
    clock.runUntilIdle(); // the list waits for its due time

    ownStart.reset();
    shortLived.reset();
    services.manager->stopMonitoring();
    EXPECT_EQ(forwarded.waitUntilFinished(), Actions{});
    clock.advance(2000ms);
    EXPECT_EQ(forwarded.received(), Actions{});
}

struct LoginFixture : ::testing::Test {
    flowkeep::VirtualClockExecutor clock;
    TokenServices services;
    const std::string serial = "A1";

    Actions login(std::optional<std::string> pin) {
        auto middleware = services.make<OnLoginToken<AppAction>>();
        std::optional<SecretText> secret;
        if (pin) {
            secret.emplace(*pin);
        }
        return runToEnd<AppAction>(clock, *middleware, AppAction::performLoginOnToken{serial, secret});
    }
};

TEST_F(LoginFixture, EachOutcomeOfTheLoginGivesItsActionsInOrder) {
    const auto success = describe(AppAction::updatePinVerificationStatus{PinVerificationStatus::success{}});
    const auto tokenList = describe(AppAction::updateTokenList{{fakeTokenInfo("A1")}});
    const auto locked = TokenLoginManagerError(TokenLoginManagerError::pinLocked{});
    const auto cacheFailure = cacheError("savePin(for:pin:)");
    const auto listFailure = TokenStorageError(TokenStorageError::generalError{"listTokens()", 0, std::nullopt});
    struct Case {
        std::string name;
        std::optional<std::string> pin;
        std::function<void(TokenServices&)> script;
        Actions expected;
    };
    const Case cases[] = {
        {"typed PIN, no master password", "1234",
         [](TokenServices& s) {
             InSequence order;
             EXPECT_CALL(*s.login, login("A1", "1234"));
             EXPECT_CALL(*s.tokens, syncToken(fakeTokenInfo("A1")));
             EXPECT_CALL(*s.tokens, listTokens()).WillOnce(Return(std::vector{fakeTokenInfo("A1")}));
             EXPECT_CALL(*s.cache, savePin(_, _, _)).Times(0);
         },
         {success, tokenList}},
        {"cached PIN with a master password is saved again", std::nullopt,
         [](TokenServices& s) {
             InSequence order;
             EXPECT_CALL(*s.cache, getPin("A1", "full-A1")).WillOnce(Return("9999"));
             EXPECT_CALL(*s.login, login("A1", "9999"));
             EXPECT_CALL(*s.cache, isMasterPasswordSet()).WillOnce(Return(true));
             EXPECT_CALL(*s.cache, savePin("A1", "9999", "full-A1"));
             EXPECT_CALL(*s.tokens, listTokens()).WillOnce(Return(std::vector{fakeTokenInfo("A1")}));
         },
         {describe(AppAction::setPinCacheHasPins{true}), success, tokenList}},
        {"wrong typed PIN leaves the cache alone", "0000",
         [](TokenServices& s) {
             EXPECT_CALL(*s.login, login("A1", "0000"))
                 .WillOnce(Throw(TokenLoginManagerError(TokenLoginManagerError::incorrectPin{3})));
             EXPECT_CALL(*s.cache, deletePin(_)).Times(0);
         },
         {describe(AppAction::updatePinVerificationStatus{PinVerificationStatus::incorrect{3}})}},
        {"refused cached PIN is forgotten", std::nullopt,
         [](TokenServices& s) {
             EXPECT_CALL(*s.cache, getPin("A1", "full-A1")).WillOnce(Return("9999"));
             EXPECT_CALL(*s.login, login("A1", "9999"))
                 .WillOnce(Throw(TokenLoginManagerError(TokenLoginManagerError::incorrectPin{std::nullopt})));
             EXPECT_CALL(*s.cache, deletePin("A1")).WillOnce(Throw(cacheError("deletePin(for:)")));
         },
         {describe(AppAction::updatePinVerificationStatus{PinVerificationStatus::incorrect{std::nullopt}})}},
        {"locked token", "1234",
         [&](TokenServices& s) { EXPECT_CALL(*s.login, login("A1", "1234")).WillOnce(Throw(locked)); },
         {describe(AppAction::handleError{locked}),
          describe(AppAction::updatePinVerificationStatus{PinVerificationStatus::incorrect{0}})}},
        {"token not found", "1234",
         [](TokenServices& s) {
             EXPECT_CALL(*s.login, login("A1", "1234"))
                 .WillOnce(Throw(TokenLoginManagerError(TokenLoginManagerError::tokenNotFound{})));
         },
         {describe(AppAction::updatePinVerificationStatus{PinVerificationStatus::notVerified{}})}},
        {"nothing cached", std::nullopt,
         [](TokenServices& s) {
             EXPECT_CALL(*s.cache, getPin("A1", "full-A1")).WillOnce(Throw(cacheError("getPin(for:)")));
             EXPECT_CALL(*s.login, login(_, _)).Times(0);
         },
         {describe(AppAction::handleError{cacheError("getPin(for:)")})}},
        {"saving the PIN fails", "1234",
         [&](TokenServices& s) {
             EXPECT_CALL(*s.cache, isMasterPasswordSet()).WillOnce(Return(true));
             EXPECT_CALL(*s.cache, savePin("A1", "1234", "full-A1")).WillOnce(Throw(cacheFailure));
             EXPECT_CALL(*s.tokens, syncToken(_)).Times(0);
         },
         {describe(AppAction::handleError{cacheFailure})}},
        {"token pulled out after the login", "1234", [](TokenServices& s) { s.manager->unplug("A1"); },
         {describe(AppAction::handleError{TextError("pkcsManager.getToken returned nil during token appearance")})}},
        {"listing fails after success", "1234",
         [&](TokenServices& s) { EXPECT_CALL(*s.tokens, listTokens()).WillOnce(Throw(listFailure)); },
         {success, describe(AppAction::handleError{listFailure})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        services.renew();
        services.manager->plug("A1");
        ON_CALL(*services.tokens, listTokens()).WillByDefault(Return(std::vector{fakeTokenInfo("A1")}));
        c.script(services);
        EXPECT_EQ(login(c.pin), c.expected);
    }
}

TEST_F(LoginFixture, ATokenWhoseFreeMemoryCannotBeReadIsRecordedWithout) {
    services.manager->plug("A1", std::nullopt, true);
    EXPECT_CALL(*services.tokens, syncToken(fakeTokenInfo("A1", std::nullopt)));
    login("1234");
}

struct PasskeyFixture : ::testing::Test {
    flowkeep::VirtualClockExecutor clock;
    const std::vector<PasskeyCredentials> onToken{samplePasskey("A1", 1), samplePasskey("A1", 2)};
    const std::vector<PasskeyCredentials> stored{samplePasskey("A1", 1), samplePasskey("A1", 2), samplePasskey("B2", 3)};
    const PasskeyManagerError tokenFailure = PasskeyManagerError(PasskeyManagerError::tokenNotFound{});
    const CredentialsStorageError storageFailure =
        CredentialsStorageError(CredentialsStorageError::generalError{"deleteCredentials(_:)", 0, std::nullopt});
};

TEST_F(PasskeyFixture, ListingStoresThePasskeysAndPublishesEveryStoredOne) {
    const auto identityFailure = TextError("identity store refused");
    struct Case {
        std::string name;
        std::function<void(TokenServices&)> script;
        Actions expected;
    };
    const Case cases[] = {
        {"success",
         [&](TokenServices& s) {
             InSequence order;
             EXPECT_CALL(*s.passkeys, getCredentials("A1")).WillOnce(Return(onToken));
             EXPECT_CALL(*s.credentials, updateCredentials(onToken, "A1"));
             // Read for the published list, then for the state.
             EXPECT_CALL(*s.credentials, fetchAllCredentials()).WillOnce(Return(stored));
             EXPECT_CALL(*s.identities, published(stored));
             EXPECT_CALL(*s.credentials, fetchAllCredentials()).WillOnce(Return(stored));
         },
         {describe(AppAction::dismissLoginView{}), describe(AppAction::updateCredentialsList{stored})}},
        {"token fails",
         [&](TokenServices& s) {
             EXPECT_CALL(*s.passkeys, getCredentials("A1")).WillOnce(Throw(tokenFailure));
             EXPECT_CALL(*s.credentials, updateCredentials(_, _)).Times(0);
         },
         {describe(AppAction::updatePinVerificationStatus{PinVerificationStatus::notVerified{}}),
          describe(AppAction::setPassAuth{LoginAuthStatus::unknown}), describe(AppAction::handleError{tokenFailure})}},
        {"identity store fails",
         [&](TokenServices& s) {
             EXPECT_CALL(*s.passkeys, getCredentials("A1")).WillOnce(Return(onToken));
             EXPECT_CALL(*s.credentials, fetchAllCredentials()).WillOnce(Return(stored));
             EXPECT_CALL(*s.identities, published(stored)).WillOnce(Throw(identityFailure));
         },
         {describe(AppAction::dismissLoginView{}), describe(AppAction::handleError{identityFailure})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TokenServices services;
        c.script(services);
        auto middleware = services.make<OnEnumerateKeys<AppAction>>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::enumerateCredentials{"A1"}), c.expected);
    }
}

TEST_F(PasskeyFixture, DeletionRemovesFromTokenAndRecordsThenListsAgain) {
    const app::CredentialsDeleteRequest request{{Bytes{1}, Bytes{2}}, "A1"};
    const auto relist = describe(AppAction::enumerateCredentials{"A1"});
    struct Case {
        std::string name;
        std::function<void(TokenServices&)> script;
        Actions expected;
    };
    const Case cases[] = {
        {"success",
         [&](TokenServices& s) {
             InSequence order;
             EXPECT_CALL(*s.passkeys, deleteCredentials(request.credsIds, "A1"));
             EXPECT_CALL(*s.credentials, deleteCredentials(request.credsIds));
         },
         {relist}},
        {"token refuses",
         [&](TokenServices& s) {
             EXPECT_CALL(*s.passkeys, deleteCredentials(_, _)).WillOnce(Throw(tokenFailure));
             EXPECT_CALL(*s.credentials, deleteCredentials(_)).Times(0);
         },
         {describe(AppAction::setPassAuth{LoginAuthStatus::unknown}),
          describe(AppAction::updatePinVerificationStatus{PinVerificationStatus::notVerified{}}),
          describe(AppAction::handleError{tokenFailure})}},
        // Gone from the token already: listing again brings records and identities in step.
        {"records fail after the token deleted",
         [&](TokenServices& s) { EXPECT_CALL(*s.credentials, deleteCredentials(_)).WillOnce(Throw(storageFailure)); },
         {describe(AppAction::handleError{storageFailure}), relist}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TokenServices services;
        c.script(services);
        auto middleware = services.make<app::OnDeleteCredentials>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::deleteCredentials{request}), c.expected);
    }
}

TEST_F(PasskeyFixture, DeletingATokenForgetsItsPinRecordsAndPublishedPasskeys) {
    const auto remaining = std::vector{samplePasskey("B2", 3)};
    const auto failure = TokenStorageError(TokenStorageError::generalError{"deleteToken(serial:)", 0, std::nullopt});
    struct Case {
        std::string name;
        std::function<void(TokenServices&)> script;
        Actions expected;
    };
    const Case cases[] = {
        {"success",
         [&](TokenServices& s) {
             InSequence order;
             EXPECT_CALL(*s.cache, deletePin("A1"));
             EXPECT_CALL(*s.tokens, deleteToken("A1"));
             EXPECT_CALL(*s.tokens, listTokens()).WillOnce(Return(std::vector{fakeTokenInfo("B2")}));
             EXPECT_CALL(*s.credentials, fetchAllCredentials()).WillOnce(Return(remaining));
             EXPECT_CALL(*s.identities, published(remaining));
             EXPECT_CALL(*s.credentials, fetchAllCredentials()).WillOnce(Return(remaining));
             EXPECT_CALL(*s.pins, hasPins()).WillOnce(Return(false));
         },
         {describe(AppAction::updateTokenList{{fakeTokenInfo("B2")}}), describe(AppAction::updateCredentialsList{remaining}),
          describe(AppAction::setPinCacheHasPins{false})}},
        {"PIN cache fails first",
         [&](TokenServices& s) {
             EXPECT_CALL(*s.cache, deletePin("A1")).WillOnce(Throw(cacheError("deletePin(for:)")));
             EXPECT_CALL(*s.tokens, deleteToken(_)).Times(0);
         },
         {describe(AppAction::handleError{cacheError("deletePin(for:)")})}},
        {"record store fails",
         [&](TokenServices& s) {
             EXPECT_CALL(*s.tokens, deleteToken("A1")).WillOnce(Throw(failure));
             EXPECT_CALL(*s.identities, published(_)).Times(0);
         },
         {describe(AppAction::handleError{failure})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TokenServices services;
        c.script(services);
        auto middleware = services.make<app::OnDeleteToken>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::deleteToken{"A1"}), c.expected);
    }
}

} // namespace
} // namespace keyvane::testing
