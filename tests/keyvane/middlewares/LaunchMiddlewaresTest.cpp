#include "keyvane/middlewares/ApplicationActivity.h"
#include "keyvane/middlewares/OnAppLaunched.h"
#include "keyvane/middlewares/OnHandleAppState.h"
#include "shared/storage/PinCodeStorageError.h"
#include "shared/storage/TokenStorageError.h"
#include "MiddlewareHarness.h"

namespace keyvane::testing {
namespace {

using ::testing::InSequence;
using ::testing::Return;
using ::testing::Throw;

struct LaunchFixture : ::testing::Test {
    flowkeep::VirtualClockExecutor clock;
    Services services;

    // Every refresh step answers; each case changes one of them.
    void answerRefresh(bool masterSet, std::optional<bool> bio) {
        ON_CALL(*services.pins, hasPins()).WillByDefault(Return(true));
        ON_CALL(*services.cache, isMasterPasswordSet()).WillByDefault(Return(masterSet));
        ON_CALL(*services.biometrics, isBioEnabled()).WillByDefault(Return(bio));
        ON_CALL(*services.biometrics, biometryType()).WillByDefault(Return(BiometryType::touchID));
        ON_CALL(*services.tokens, listTokens()).WillByDefault(Return(std::vector{sampleToken("A1")}));
        ON_CALL(*services.credentials, fetchAllCredentials()).WillByDefault(Return(std::vector{samplePasskey("A1", 1)}));
    }

    Actions refreshActions(MasterPasswordState state) const {
        return {describe(AppAction::setPinCacheHasPins{true}), describe(AppAction::updateMasterPasswordState{state}),
                describe(AppAction::updateBiometryType{BiometryType::touchID}),
                describe(AppAction::updateTokenList{{sampleToken("A1")}}),
                describe(AppAction::updateCredentialsList{{samplePasskey("A1", 1)}})};
    }
};

Actions concat(Actions first, const Actions& rest) {
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

TEST_F(LaunchFixture, OnboardingDecisionComesFirstThenTheFiveStateActions) {
    struct Case {
        std::string name;
        std::optional<PreferenceValue> stored;
        bool erasesCache;
        std::string first;
        bool unreadable = false;
    };
    const Case cases[] = {
        {"nothing stored", std::nullopt, true, describe(AppAction::firstLaunch{})},
        {"4", std::int64_t{4}, false, describe(AppAction::enableExtension{false})},
        {"0", std::int64_t{0}, false, describe(AppAction::firstLaunch{})},
        {"3", std::int64_t{3}, false, describe(AppAction::firstLaunch{})},
        {"7", std::int64_t{7}, false, describe(AppAction::firstLaunch{})},
        // Damage is not a first start: the onboarding resumes from its default step and the
        // PIN cache stays.
        {"a text", std::string("4"), false, describe(AppAction::firstLaunch{})},
        {"an unreadable file", std::nullopt, false, describe(AppAction::firstLaunch{}), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        services.renew();
        answerRefresh(true, std::nullopt);
        if (c.stored) {
            services.defaults->setValue(*c.stored, UserDefaultsKey::onboardingStatus);
        }
        services.defaults->unreadable = c.unreadable;
        {
            InSequence order;
            EXPECT_CALL(*services.cache, eraseCache()).Times(c.erasesCache ? 1 : 0);
            EXPECT_CALL(*services.pins, hasPins()).WillOnce(Return(true));
        }
        auto middleware = services.make<app::OnAppLaunched>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::appLaunched{}),
                  concat({c.first}, refreshActions(MasterPasswordState::enabled)));
    }
}

TEST_F(LaunchFixture, MasterPasswordStateFollowsCacheAndBiometryFlag) {
    struct Case {
        bool masterSet;
        std::optional<bool> bio;
        MasterPasswordState expected;
    };
    for (const auto& c : {Case{false, true, MasterPasswordState::disabled}, Case{true, std::nullopt, MasterPasswordState::enabled},
                          Case{true, false, MasterPasswordState::enabled}, Case{true, true, MasterPasswordState::enabledWithBio}}) {
        services.renew();
        answerRefresh(c.masterSet, c.bio);
        services.defaults->set(4, UserDefaultsKey::onboardingStatus);
        auto middleware = services.make<app::OnAppLaunched>();
        const auto actions = runToEnd<AppAction>(clock, *middleware, AppAction::appLaunched{});
        ASSERT_EQ(actions.size(), 6u);
        EXPECT_EQ(actions[2], describe(AppAction::updateMasterPasswordState{c.expected}));
    }
}

TEST_F(LaunchFixture, FailuresStopTheLaunchWithOneError) {
    const auto pinsFailure = PinCodeStorageError(PinCodeStorageError::generalError{"hasPins()", 0, std::nullopt});
    const auto tokensFailure = TokenStorageError(TokenStorageError::generalError{"listTokens()", 0, std::nullopt});

    answerRefresh(false, std::nullopt);
    EXPECT_CALL(*services.cache, eraseCache()).WillOnce(Throw(cacheError("eraseCache()")));
    EXPECT_CALL(*services.pins, hasPins()).Times(0);
    auto first = services.make<app::OnAppLaunched>();
    EXPECT_EQ(runToEnd<AppAction>(clock, *first, AppAction::appLaunched{}),
              Actions{describe(AppAction::handleError{cacheError("eraseCache()")})});

    first.reset();
    services.renew();
    answerRefresh(false, std::nullopt);
    services.defaults->set(4, UserDefaultsKey::onboardingStatus);
    EXPECT_CALL(*services.pins, hasPins()).WillOnce(Throw(pinsFailure));
    auto second = services.make<app::OnAppLaunched>();
    EXPECT_EQ(runToEnd<AppAction>(clock, *second, AppAction::appLaunched{}),
              (Actions{describe(AppAction::enableExtension{false}), describe(AppAction::handleError{pinsFailure})}));

    second.reset();
    services.renew();
    answerRefresh(false, std::nullopt);
    services.defaults->set(4, UserDefaultsKey::onboardingStatus);
    EXPECT_CALL(*services.tokens, listTokens()).WillOnce(Throw(tokensFailure));
    EXPECT_CALL(*services.credentials, fetchAllCredentials()).Times(0);
    auto launched = services.make<app::OnAppLaunched>();
    const auto actions = runToEnd<AppAction>(clock, *launched, AppAction::appLaunched{});
    ASSERT_EQ(actions.size(), 5u);
    EXPECT_EQ(actions[3], describe(AppAction::updateBiometryType{BiometryType::touchID}));
    EXPECT_EQ(actions[4], describe(AppAction::handleError{tokensFailure}));
}

TEST_F(LaunchFixture, EachActivationAfterTheFirstRefreshesInOrderAndFailuresAreSilent) {
    answerRefresh(true, true);
    app::ApplicationActivity activity;
    auto middleware = services.make<app::OnHandleAppState>(activity);
    EXPECT_FALSE(middleware->process(AppAction::startMonitoring{}));
    auto stream = middleware->process(AppAction::appLaunched{});
    ASSERT_TRUE(stream);
    Forwarded<AppAction> forwarded(clock, std::move(*stream));

    activity.postBecameActive(); // the start itself
    clock.runUntilIdle();
    EXPECT_TRUE(forwarded.received().empty());

    EXPECT_CALL(*services.tokens, listTokens())
        .WillOnce(Return(std::vector{sampleToken("A1")}))
        .WillOnce(Throw(TokenStorageError(TokenStorageError::generalError{"listTokens()", 0, std::nullopt})))
        .WillOnce(Return(std::vector{sampleToken("A1")}));
    activity.postBecameActive();
    activity.postBecameActive();
    activity.postBecameActive();
    const auto refresh = refreshActions(MasterPasswordState::enabledWithBio);
    const Actions failed(refresh.begin(), refresh.begin() + 3);
    const auto expected = concat(concat(refresh, failed), refresh);
    EXPECT_EQ(forwarded.waitForCount(expected.size()), expected);
    EXPECT_FALSE(forwarded.finished()) << "the stream stays open for later activations";
}

} // namespace
} // namespace keyvane::testing
