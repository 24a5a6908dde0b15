#include "keyvane/middlewares/OnEnableExtension.h"
#include "keyvane/middlewares/OnFirstLaunch.h"
#include "keyvane/middlewares/OnResetPersistentData.h"
#include "keyvane/middlewares/OnUpdateUserDefaults.h"
#include "shared/redux/middlewares/OnSyncingButtonPressed.h"
#include "MiddlewareHarness.h"

namespace keyvane::testing {
namespace {

using ::testing::Return;
using ::testing::Throw;

struct OnboardingFixture : ::testing::Test {
    flowkeep::VirtualClockExecutor clock;
    Services services;
};

TEST_F(OnboardingFixture, FirstLaunchResumesAtTheStepTheStoredStatusGives) {
    struct Case {
        std::optional<std::int64_t> stored;
        bool extensionOn;
        std::optional<bool> bio;
        OnboardingStatus expected;
    };
    const Case cases[] = {
        {std::nullopt, true, std::nullopt, OnboardingStatus::masterPassword},
        {std::nullopt, false, std::nullopt, OnboardingStatus::enableExtension},
        {0, true, std::nullopt, OnboardingStatus::masterPassword},
        {7, false, std::nullopt, OnboardingStatus::enableExtension},
        {-1, true, std::nullopt, OnboardingStatus::masterPassword},
        {1, true, std::nullopt, OnboardingStatus::payAttention},
        {2, false, std::nullopt, OnboardingStatus::masterPassword},
        {3, false, true, OnboardingStatus::completed},
        {3, true, false, OnboardingStatus::biometry},
        {3, true, std::nullopt, OnboardingStatus::biometry},
        {4, false, std::nullopt, OnboardingStatus::completed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? std::to_string(*c.stored) : "nothing stored");
        Services fresh;
        if (c.stored) {
            fresh.defaults->set(*c.stored, UserDefaultsKey::onboardingStatus);
        }
        ON_CALL(*fresh.extension, isEnabled()).WillByDefault(Return(c.extensionOn));
        ON_CALL(*fresh.biometrics, isBioEnabled()).WillByDefault(Return(c.bio));
        auto middleware = fresh.make<app::OnFirstLaunch>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::firstLaunch{}),
                  Actions{describe(AppAction::updateOnboardingStatus{c.expected})});
    }
}

TEST_F(OnboardingFixture, StatusIsStoredInsideProcessAndNoStreamIsAnswered) {
    auto middleware = services.make<app::OnUpdateUserDefaults>();
    EXPECT_FALSE(middleware->process(AppAction::updateOnboardingStatus{OnboardingStatus::biometry}));
    EXPECT_EQ(services.defaults->value<std::int64_t>(UserDefaultsKey::onboardingStatus), 3);
    EXPECT_FALSE(middleware->process(AppAction::firstLaunch{}));
    EXPECT_EQ(services.defaults->value<std::int64_t>(UserDefaultsKey::onboardingStatus), 3);
}

TEST_F(OnboardingFixture, ResetForgetsPreferencesErasesTheCacheAndReadsTheStateBack) {
    services.defaults->set(4, UserDefaultsKey::onboardingStatus);
    services.defaults->set(true, UserDefaultsKey::isBioEnabled);
    struct Case {
        bool eraseFails;
        bool hasPinsAfter;
        bool masterSetAfter;
        MasterPasswordState expected;
    };
    for (const auto& c : {Case{false, false, false, MasterPasswordState::disabled},
                          Case{true, true, true, MasterPasswordState::enabled}}) {
        Services fresh;
        fresh.defaults->set(4, UserDefaultsKey::onboardingStatus);
        fresh.defaults->set(true, UserDefaultsKey::isBioEnabled);
        if (c.eraseFails) {
            EXPECT_CALL(*fresh.cache, eraseCache()).WillOnce(Throw(cacheError("eraseCache()")));
        } else {
            EXPECT_CALL(*fresh.cache, eraseCache());
        }
        ON_CALL(*fresh.pins, hasPins()).WillByDefault(Return(c.hasPinsAfter));
        ON_CALL(*fresh.cache, isMasterPasswordSet()).WillByDefault(Return(c.masterSetAfter));
        auto middleware = fresh.make<app::OnResetPersistentData>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::resetPersistentData{}),
                  (Actions{describe(AppAction::setPinCacheHasPins{c.hasPinsAfter}),
                           describe(AppAction::updateMasterPasswordState{c.expected})}));
        EXPECT_FALSE(fresh.defaults->storedValue(UserDefaultsKey::onboardingStatus));
        EXPECT_FALSE(fresh.defaults->storedValue(UserDefaultsKey::isBioEnabled));
    }
}

TEST_F(OnboardingFixture, SyncingNeedsTheExtensionOnOrTheUsersConsent) {
    struct Case {
        bool enabled;
        int requests;
        bool agreed;
        std::string expected;
    };
    const Case cases[] = {
        {true, 0, false, describe(AppAction::startSync{})},
        {false, 1, true, describe(AppAction::startSync{})},
        {false, 1, false,
         describe(AppAction::handleError{ExtensionError(ExtensionError::userDeniedExtensionRequest{})})},
    };
    for (const auto& c : cases) {
        Services fresh;
        EXPECT_CALL(*fresh.extension, isEnabled()).WillOnce(Return(c.enabled));
        EXPECT_CALL(*fresh.extension, requestToTurnOnExtension()).Times(c.requests).WillRepeatedly(Return(c.agreed));
        auto middleware = fresh.make<OnSyncingButtonPressed<AppAction>>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::syncingButtonPressed{}), Actions{c.expected});
    }
}

TEST_F(OnboardingFixture, EnablingTheExtensionAlwaysAsksAndMovesOnboardingOnlyDuringOnboarding) {
    struct Case {
        bool isOnboarding;
        bool agreed;
        Actions expected;
    };
    const Case cases[] = {
        {true, true, {describe(AppAction::updateOnboardingStatus{OnboardingStatus::masterPassword})}},
        {true, false, {describe(AppAction::updateOnboardingStatus{OnboardingStatus::payAttention})}},
        {false, true, {}},
        {false, false, {}},
    };
    for (const auto& c : cases) {
        Services fresh;
        EXPECT_CALL(*fresh.extension, isEnabled()).Times(0);
        EXPECT_CALL(*fresh.extension, requestToTurnOnExtension()).WillOnce(Return(c.agreed));
        auto middleware = fresh.make<app::OnEnableExtension>();
        EXPECT_EQ(runToEnd<AppAction>(clock, *middleware, AppAction::enableExtension{c.isOnboarding}), c.expected);
    }
}

TEST_F(OnboardingFixture, OtherActionsGetNoStream) {
    auto first = services.make<app::OnFirstLaunch>();
    auto reset = services.make<app::OnResetPersistentData>();
    auto sync = services.make<OnSyncingButtonPressed<AppAction>>();
    auto enable = services.make<app::OnEnableExtension>();
    for (const AppAction& action : {AppAction(AppAction::appLaunched{}), AppAction(AppAction::startSync{})}) {
        EXPECT_FALSE(first->process(action));
        EXPECT_FALSE(reset->process(action));
        EXPECT_FALSE(sync->process(action));
        EXPECT_FALSE(enable->process(action));
    }
}

} // namespace
} // namespace keyvane::testing
