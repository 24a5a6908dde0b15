// The onboarding's view model over the program's own store and middlewares, on real services
// in a temporary group directory: a first start walked to its end as a person would.
#include "AppOnVirtualToken.h"

#include "keyvane/viewmodels/OnboardingPort.h"
#include "keyvane/viewmodels/OnboardingViewModel.h"
#include "shared/identities/CredentialIdentityStore.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"

#include <gtest/gtest.h>

namespace keyvane::app {
namespace {

using Step = OnboardingViewModel::Step;

struct OnboardingEndToEnd : ::testing::Test, testing::AppOnVirtualToken {
    void typeTwice(OnboardingViewModel& model, const char* password) {
        model.masterPasswordInput()->type(QString::fromUtf8(password));
        clock.advance(views::MasterPassInputModel::repeatPause);
        model.masterPasswordInput()->type(QString::fromUtf8(password));
    }
};

TEST_F(OnboardingEndToEnd, FromAFirstStartToCompleted) {
    // The person agrees when asked to turn the extension on.
    auto helper = std::dynamic_pointer_cast<AutofillExtensionHelper>(Dependencies::get(autofillExtensionHelper));
    ASSERT_NE(helper, nullptr);
    helper->setConfirmationHandler([] { return true; });
    StoreOnboardingPort<AppState, AppAction> port(*store);
    OnboardingViewModel model(port, clock);

    store->send(AppAction::appLaunched{});
    ASSERT_TRUE(waitFor([&] { return model.step() == Step::EnableExtension && model.textBlockShown(); }));
    EXPECT_TRUE(state().navigationState.onboardingState.isOnboardingShown);

    model.pressPrimary();
    ASSERT_TRUE(waitFor([&] { return model.step() == Step::MasterPassword; }));
    EXPECT_TRUE(helper->isEnabled());

    model.pressPrimary();
    ASSERT_TRUE(model.masterPasswordSheetShown());
    typeTwice(model, "135790");
    // This computer has no sensor: the biometric step is left out.
    ASSERT_TRUE(waitFor([&] { return model.step() == Step::Completed; }));
    EXPECT_EQ(state().masterPasswordState, MasterPasswordState::enabled);
    EXPECT_FALSE(model.masterPasswordSheetShown());

    model.pressPrimary();
    model.pressPrimary();
    ASSERT_TRUE(waitFor([&] { return !state().navigationState.onboardingState.isOnboardingShown; }));
    EXPECT_EQ(Dependencies::get(userDefaultsManager)->value<std::int64_t>(UserDefaultsKey::onboardingStatus),
              rawValue(OnboardingStatus::completed));
}

// Refused, the onboarding notes it and goes on; skipped, it ends without a master password.
TEST_F(OnboardingEndToEnd, RefusedAndSkipped) {
    StoreOnboardingPort<AppState, AppAction> port(*store);
    OnboardingViewModel model(port, clock);
    store->send(AppAction::appLaunched{});
    ASSERT_TRUE(waitFor([&] { return model.step() == Step::EnableExtension && model.textBlockShown(); }));
    model.pressPrimary(); // no one to ask: a refusal
    ASSERT_TRUE(waitFor([&] { return model.step() == Step::PayAttention; }));
    model.pressPrimary();
    ASSERT_TRUE(waitFor([&] { return model.step() == Step::MasterPassword; }));
    model.pressSecondary();
    ASSERT_TRUE(waitFor([&] { return model.step() == Step::Completed; }));
    EXPECT_EQ(state().masterPasswordState, MasterPasswordState::disabled);
}

} // namespace
} // namespace keyvane::app
