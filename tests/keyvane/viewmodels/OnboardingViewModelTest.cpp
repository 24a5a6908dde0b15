#include "keyvane/viewmodels/OnboardingViewModel.h"

#include "../../shared/viewmodels/ViewModelFixture.h"
#include "shared/localization/LocalizedStrings.h"

#include <gtest/gtest.h>

namespace keyvane::views::testing {
namespace {

using namespace keyvane::app;

using namespace std::chrono_literals;
using Step = OnboardingViewModel::Step;
using Strings = std::vector<std::string>;

// The onboarding over the program's reducer: the fixture's recorder keeps what it sends, and
// drive() plays the middlewares' answers.
class OnboardingTest : public ::testing::Test {
protected:
    void show(std::optional<OnboardingStatus> status, BiometryType biometry = BiometryType::touchID,
              MasterPasswordState masterPassword = MasterPasswordState::disabled) {
        model.reset();
        port.reset();
        AppState state;
        state.navigationState.onboardingState = {status, true};
        state.biometryType = biometry;
        state.masterPasswordState = masterPassword;
        fixture = std::make_unique<StoreFixture>(std::move(state));
        port = std::make_unique<StoreOnboardingPort<AppState, AppAction>>(fixture->store);
        model = std::make_unique<OnboardingViewModel>(*port, fixture->executor);
    }
    void finishFirstLaunchSequence() { fixture->executor.advance(1s); }
    void typeTwice(const char* password) {
        auto* input = model->masterPasswordInput();
        ASSERT_NE(input, nullptr);
        input->type(QString::fromUtf8(password));
        fixture->executor.advance(MasterPassInputModel::repeatPause);
        model->masterPasswordInput()->type(QString::fromUtf8(password));
        fixture->executor.runUntilIdle();
    }

    std::unique_ptr<StoreFixture> fixture;
    std::unique_ptr<StoreOnboardingPort<AppState, AppAction>> port;
    std::unique_ptr<OnboardingViewModel> model;
};

TEST_F(OnboardingTest, EachStepShowsItsPictureTextsAndButtons) {
    struct Case {
        std::optional<OnboardingStatus> status;
        BiometryType biometry;
        Step step;
        const char* header;
        const char* title;       // key
        const char* description; // key; empty for none
        const char* primary;     // key
        bool secondary;
        bool hint;
        bool large;
    };
    const std::vector<Case> cases = {
        {std::nullopt, BiometryType::touchID, Step::None, "", "", "", "", false, false, false},
        {OnboardingStatus::enableExtension, BiometryType::touchID, Step::EnableExtension, "app-logo", "AppName",
         "Onboarding_AppFunc_Desription", "Onboarding_AppFunc_Button_Label", false, false, true},
        {OnboardingStatus::payAttention, BiometryType::touchID, Step::PayAttention, "attention",
         "Onboarding_PayAttention_Title", "Onboarding_PayAttention_Description", "Onboarding_ContinueButton_Label",
         false, false, true},
        {OnboardingStatus::masterPassword, BiometryType::touchID, Step::MasterPassword, "master-password",
         "Onboarding_GrandPassword_Title", "Onboarding_GrandPassword_Description", "Onboarding_TurnOnButton_Label",
         true, false, false},
        {OnboardingStatus::biometry, BiometryType::touchID, Step::Biometry, "fingerprint", "Onboarding_FastAuth_Title",
         "Onboarding_FastAuth_Description", "Onboarding_TurnOnButton_Label", true, false, false},
        {OnboardingStatus::biometry, BiometryType::faceID, Step::Biometry, "face", "Onboarding_FastAuth_Title",
         "Onboarding_FastAuth_Description", "Onboarding_TurnOnButton_Label", true, false, false},
        {OnboardingStatus::biometry, BiometryType::opticID, Step::Biometry, "key", "Onboarding_FastAuth_Title",
         "Onboarding_FastAuth_Description", "Onboarding_TurnOnButton_Label", true, false, false},
        {OnboardingStatus::completed, BiometryType::touchID, Step::Completed, "app-logo", "Onboarding_ReadyToGo_Title",
         "", "Onboarding_ReadyToGo_Button_Label", false, true, true},
    };
    const auto text = [](const char* key) { return *key ? LocalizedStrings::text(key) : QString(); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        show(c.status, c.biometry);
        finishFirstLaunchSequence();
        EXPECT_EQ(model->step(), c.step);
        EXPECT_EQ(model->header(), QString::fromUtf8(c.header));
        EXPECT_EQ(model->textBlockShown(), c.status.has_value());
        EXPECT_EQ(model->title(), text(c.title));
        EXPECT_EQ(model->description(), text(c.description));
        EXPECT_EQ(model->primaryLabel(), text(c.primary));
        EXPECT_EQ(model->primaryEnabled(), c.status.has_value());
        EXPECT_EQ(model->secondaryLabel(), c.secondary ? text("Onboarding_NotNowButton_Label") : QString());
        EXPECT_EQ(model->hintShown(), c.hint);
        EXPECT_EQ(model->largeButtons(), c.large);
    }
}

TEST_F(OnboardingTest, EachButtonSendsItsStepsAction) {
    struct Case {
        std::optional<OnboardingStatus> status;
        bool primary;
        Strings sent;
        bool sheet; // the master-password sheet opens instead
    };
    const std::vector<Case> cases = {
        {OnboardingStatus::enableExtension, true, {"enableExtension(isOnboarding: true)"}, false},
        {OnboardingStatus::payAttention, true, {"updateOnboardingStatus(masterPassword)"}, false},
        {OnboardingStatus::masterPassword, true, {}, true},
        {OnboardingStatus::biometry, true, {"setBiometry(true, isOnboarding: true)"}, false},
        // Skipping the master password skips the biometric step too.
        {OnboardingStatus::masterPassword, false, {"updateOnboardingStatus(completed)"}, false},
        {OnboardingStatus::biometry, false, {"updateOnboardingStatus(completed)"}, false},
        // Steps without a not-now button, and an unset status, send nothing.
        {OnboardingStatus::enableExtension, false, {}, false},
        {OnboardingStatus::completed, false, {}, false},
        {std::nullopt, true, {}, false},
        {std::nullopt, false, {}, false},
    };
    for (const auto& c : cases) {
        show(c.status);
        finishFirstLaunchSequence();
        c.primary ? model->pressPrimary() : model->pressSecondary();
        EXPECT_EQ(fixture->sent(), c.sent) << (c.primary ? "primary" : "secondary");
        EXPECT_EQ(model->masterPasswordSheetShown(), c.sheet);
    }
}

TEST_F(OnboardingTest, TheLogoGrowsThenTheFirstStepsTextComesIn) {
    show(OnboardingStatus::enableExtension);
    struct Moment {
        std::chrono::milliseconds at;
        bool enlarged;
        bool text;
    };
    auto elapsed = 0ms;
    for (const auto& m : std::vector<Moment>{{0ms, false, false},
                                             {319ms, false, false},
                                             {320ms, true, false},
                                             {959ms, true, false},
                                             {960ms, false, true}}) {
        fixture->executor.advance(m.at - elapsed);
        elapsed = m.at;
        EXPECT_EQ(model->logoEnlarged(), m.enlarged) << m.at.count() << " ms";
        EXPECT_EQ(model->textBlockShown(), m.text) << m.at.count() << " ms";
    }

    // Shown at the closing step, the logo stays as it is and the text is there at once.
    show(OnboardingStatus::completed);
    EXPECT_TRUE(model->textBlockShown());
    fixture->executor.advance(400ms);
    EXPECT_FALSE(model->logoEnlarged());
}

TEST_F(OnboardingTest, TheSequenceRunsWhenTheFirstStepArrivesAfterTheLayer) {
    show(std::nullopt);
    fixture->executor.advance(2s);
    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::enableExtension});
    EXPECT_FALSE(model->textBlockShown());
    fixture->executor.advance(320ms);
    EXPECT_TRUE(model->logoEnlarged());
    fixture->executor.advance(640ms);
    EXPECT_TRUE(model->textBlockShown());
}

// A master password set in the sheet moves the onboarding on and closes the sheet, to the
// biometric step where the computer has a sensor and past it where it has none.
TEST_F(OnboardingTest, AMasterPasswordSetInTheSheetMovesOn) {
    struct Case {
        OnboardingStatus status;
        BiometryType biometry;
        const char* next;
    };
    for (const auto& c : std::vector<Case>{
             {OnboardingStatus::masterPassword, BiometryType::touchID, "updateOnboardingStatus(biometry)"},
             {OnboardingStatus::masterPassword, BiometryType::none, "updateOnboardingStatus(completed)"},
         }) {
        show(c.status, c.biometry);
        model->pressPrimary();
        ASSERT_TRUE(model->masterPasswordSheetShown());
        typeTwice("135790");
        EXPECT_EQ(fixture->sent(), Strings{"setupMasterPassword(<redacted>)"});
        EXPECT_TRUE(model->masterPasswordSheetShown()) << "open until the state says the password is set";
        EXPECT_FALSE(model->masterPasswordInput()->holdsNothing()) << "kept until the password is set";
        fixture->drive(AppAction::updateMasterPasswordState{MasterPasswordState::enabled});
        EXPECT_EQ(fixture->sent(), Strings{c.next});
        EXPECT_FALSE(model->masterPasswordSheetShown());
        EXPECT_TRUE(model->masterPasswordInput()->holdsNothing()) << "the password is set";
    }
}

TEST_F(OnboardingTest, OnlyAPasswordSetWhileTheSheetIsOpenMovesOn) {
    // The sheet closed: a change of the state does nothing here.
    show(OnboardingStatus::masterPassword);
    fixture->drive(AppAction::updateMasterPasswordState{MasterPasswordState::enabled});
    EXPECT_EQ(fixture->sent(), Strings{});

    // Biometric unlock turned on is no password being set.
    show(OnboardingStatus::masterPassword, BiometryType::touchID, MasterPasswordState::enabled);
    model->pressPrimary();
    fixture->drive(AppAction::updateMasterPasswordState{MasterPasswordState::enabledWithBio});
    EXPECT_EQ(fixture->sent(), Strings{});
    EXPECT_TRUE(model->masterPasswordSheetShown());

    // Closed without a password, the step stays with both buttons; what was typed is wiped.
    model->masterPasswordInput()->type(QStringLiteral("135"));
    model->closeMasterPasswordSheet();
    EXPECT_TRUE(model->masterPasswordInput()->holdsNothing());
    EXPECT_FALSE(model->masterPasswordSheetShown());
    EXPECT_EQ(model->step(), Step::MasterPassword);
    EXPECT_TRUE(model->primaryEnabled());
    EXPECT_FALSE(model->secondaryLabel().isEmpty());
}

// A failed set-up leaves the sheet open; the entry starts afresh, since the one submitted is
// full and would take no further digit.
TEST_F(OnboardingTest, AFailedSetUpKeepsTheSheetWithAFreshEntry) {
    show(OnboardingStatus::masterPassword);
    model->pressPrimary();
    typeTwice("135790");
    fixture->sent();
    const auto* submitted = model->masterPasswordInput();
    fixture->drive(AppAction::handleError{AnyError(TextError("no key"))});
    EXPECT_TRUE(model->masterPasswordSheetShown());
    ASSERT_NE(model->masterPasswordInput(), submitted);
    EXPECT_TRUE(submitted->holdsNothing()) << "the retired entry is kept for the view, empty";
    EXPECT_EQ(model->masterPasswordInput()->filledCount(), 0);
    fixture->drive(AppAction::hideAlert{});
    typeTwice("246802");
    EXPECT_EQ(fixture->sent(), Strings{"setupMasterPassword(<redacted>)"});
}

// A request to the system is asked once: a second press while it waits does nothing, and its
// answer (a new step, or an alert) lets the button work again.
TEST_F(OnboardingTest, ASecondPressWhileARequestWaitsAsksNothing) {
    show(OnboardingStatus::enableExtension);
    finishFirstLaunchSequence();
    model->pressPrimary();
    model->pressPrimary();
    EXPECT_EQ(fixture->sent(), Strings{"enableExtension(isOnboarding: true)"});
    EXPECT_FALSE(model->primaryEnabled());
    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::payAttention});
    EXPECT_TRUE(model->primaryEnabled());

    show(OnboardingStatus::biometry);
    model->pressPrimary();
    model->pressPrimary();
    EXPECT_EQ(fixture->sent(), Strings{"setBiometry(true, isOnboarding: true)"});
    fixture->drive(AppAction::handleError{AnyError(TextError("sensor gone"))});
    EXPECT_TRUE(model->primaryEnabled());
    model->pressPrimary();
    EXPECT_EQ(fixture->sent(), Strings{"setBiometry(true, isOnboarding: true)"});

    // With an alert already up, the answer replaces it; its closing releases the button too.
    EXPECT_FALSE(model->primaryEnabled());
    fixture->drive(AppAction::hideAlert{});
    EXPECT_TRUE(model->primaryEnabled());
}

// Without a sensor the biometric step cannot be turned on; "not now" still goes on.
TEST_F(OnboardingTest, WithoutASensorTheBiometricStepOnlyGoesOn) {
    show(OnboardingStatus::biometry, BiometryType::none);
    EXPECT_FALSE(model->primaryEnabled());
    model->pressPrimary();
    EXPECT_EQ(fixture->sent(), Strings{});
    model->pressSecondary();
    EXPECT_EQ(fixture->sent(), Strings{"updateOnboardingStatus(completed)"});
}

// The final button ends the onboarding once: the step fades at once, the layer 0.24 s later
// with hideOnboarding; a second press neither undoes the fade nor sends again.
TEST_F(OnboardingTest, TheFinalButtonEndsTheOnboardingOnce) {
    show(OnboardingStatus::completed);
    model->pressPrimary();
    EXPECT_TRUE(model->beginPressed());
    EXPECT_FALSE(model->ended());
    fixture->executor.advance(100ms);
    model->pressPrimary();
    EXPECT_TRUE(model->beginPressed()) << "a double press must not undo the first";
    fixture->executor.advance(139ms);
    EXPECT_EQ(fixture->sent(), Strings{});
    fixture->executor.advance(1ms);
    EXPECT_TRUE(model->ended());
    fixture->executor.advance(1s);
    EXPECT_EQ(fixture->sent(), Strings{"hideOnboarding"});
    EXPECT_FALSE(fixture->store.state().navigationState.onboardingState.isOnboardingShown);
}

// From a first start to the end, the middlewares' answers played as they come.
TEST_F(OnboardingTest, FromAFirstStartToCompleted) {
    show(std::nullopt);
    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::enableExtension});
    finishFirstLaunchSequence();
    model->pressPrimary();
    EXPECT_EQ(fixture->sent(), Strings{"enableExtension(isOnboarding: true)"});
    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::payAttention}); // refused
    model->pressPrimary();
    EXPECT_EQ(fixture->sent(), Strings{"updateOnboardingStatus(masterPassword)"});
    model->pressPrimary();
    typeTwice("135790");
    EXPECT_EQ(fixture->sent(), Strings{"setupMasterPassword(<redacted>)"});
    fixture->drive(AppAction::updateMasterPasswordState{MasterPasswordState::enabled});
    EXPECT_EQ(fixture->sent(), Strings{"updateOnboardingStatus(biometry)"});
    EXPECT_EQ(model->step(), Step::Biometry);
    model->pressPrimary();
    EXPECT_EQ(fixture->sent(), Strings{"setBiometry(true, isOnboarding: true)"});
    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::completed});
    fixture->drive(AppAction::updateMasterPasswordState{MasterPasswordState::enabledWithBio});
    EXPECT_EQ(fixture->sent(), Strings{});
    model->pressPrimary();
    fixture->executor.advance(OnboardingViewModel::closingDelay);
    EXPECT_EQ(fixture->sent(), Strings{"hideOnboarding"});
}

} // namespace
} // namespace keyvane::views::testing
