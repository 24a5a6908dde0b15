#include "../../shared/viewmodels/ViewModelFixture.h"
#include "../../shared/views/SceneHarness.h"

#include "keyvane/viewmodels/AboutViewModel.h"
#include "keyvane/viewmodels/OnboardingViewModel.h"
#include "keyvane/views/MainWindowViews.h"
#include "shared/localization/LocalizedStrings.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace keyvane::views::testing {
namespace {

using namespace keyvane::app;

// The onboarding layer and the About sheet are views of the main window's module.
std::unique_ptr<SceneHarness> mainWindowScene(const QString& viewType, QObject* model, QSize size) {
    return std::make_unique<SceneHarness>(QStringLiteral("Keyvane.MainWindow"),
                                          [](QQmlEngine& engine) { installMainWindowViews(engine); }, viewType,
                                          QVariantMap{{QStringLiteral("model"), QVariant::fromValue(model)}}, size, 0,
                                          /*animated=*/false);
}

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// The onboarding layer in a scene over the program's reducer, driven by the keyboard alone;
// drive() plays the middlewares' answers.
class OnboardingViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppState state;
        state.biometryType = BiometryType::touchID;
        fixture = std::make_unique<StoreFixture>(std::move(state));
        fixture->drive(AppAction::firstLaunch{});
        port = std::make_unique<StoreOnboardingPort<AppState, AppAction>>(fixture->store);
        model = std::make_unique<OnboardingViewModel>(*port, fixture->executor);
        scene = mainWindowScene(QStringLiteral("MacOnboardingView"), model.get(), QSize(720, 560));
        settle();
    }
    void settle() {
        fixture->executor.runUntilIdle();
        QCoreApplication::processEvents();
        scene->render();
    }
    void press(Qt::Key key = Qt::Key_Return) {
        QTest::keyClick(&scene->window(), key);
        settle();
    }
    void typeText(const char* text) {
        for (const char* c = text; *c != 0; ++c) {
            QTest::keyClick(&scene->window(), *c);
        }
        settle();
    }
    std::string text(const char* name) {
        auto* item = scene->find(QString::fromUtf8(name));
        return item != nullptr && item->isVisible() ? item->property("text").toString().toStdString() : "";
    }
    bool shown(const char* name) {
        auto* item = scene->find(QString::fromUtf8(name));
        return item != nullptr && item->isVisible();
    }
    std::string focused() {
        auto* item = scene->window().activeFocusItem();
        return item != nullptr ? item->objectName().toStdString() : "(none)";
    }

    std::unique_ptr<StoreFixture> fixture;
    std::unique_ptr<StoreOnboardingPort<AppState, AppAction>> port;
    std::unique_ptr<OnboardingViewModel> model;
    std::unique_ptr<SceneHarness> scene;
};

TEST_F(OnboardingViewTest, FromAFirstStartToCompletedByKeyboard) {
    EXPECT_FALSE(shown("onboardingStep")) << "nothing but the cover before the first step is known";

    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::enableExtension});
    settle();
    EXPECT_TRUE(shown("onboardingLogo"));
    EXPECT_FALSE(shown("onboardingText")) << "the logo comes alone first";
    fixture->executor.advance(OnboardingViewModel::firstLaunchDelay + OnboardingViewModel::firstLaunchHold);
    settle();
    EXPECT_EQ(text("onboardingTitle"), (LocalizedStrings::appName()).toStdString());
    EXPECT_EQ(focused(), "onboardingPrimaryButton");
    press();
    EXPECT_EQ(fixture->sent(), Strings{"enableExtension(isOnboarding: true)"});

    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::payAttention}); // refused
    settle();
    EXPECT_EQ(text("onboardingTitle"), (LocalizedStrings::onboardingPayAttentionTitle()).toStdString());
    EXPECT_TRUE(shown("onboardingSymbol"));
    press();
    EXPECT_EQ(fixture->sent(), Strings{"updateOnboardingStatus(masterPassword)"});

    EXPECT_EQ(text("onboardingTitle"), (LocalizedStrings::text("Onboarding_GrandPassword_Title")).toStdString());
    EXPECT_TRUE(shown("onboardingNotNowButton"));
    press();
    ASSERT_TRUE(shown("onboardingMasterPasswordSheet"));
    typeText("135790");
    fixture->executor.advance(MasterPassInputModel::repeatPause);
    settle();
    typeText("135790");
    EXPECT_EQ(fixture->sent(), Strings{"setupMasterPassword(<redacted>)"});
    fixture->drive(AppAction::updateMasterPasswordState{MasterPasswordState::enabled});
    settle();
    EXPECT_EQ(fixture->sent(), Strings{"updateOnboardingStatus(biometry)"});
    EXPECT_FALSE(shown("onboardingMasterPasswordSheet"));

    EXPECT_EQ(text("onboardingTitle"), (LocalizedStrings::text("Onboarding_FastAuth_Title")).toStdString());
    EXPECT_EQ(focused(), "onboardingPrimaryButton");
    press();
    EXPECT_EQ(fixture->sent(), Strings{"setBiometry(true, isOnboarding: true)"});
    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::completed});
    settle();

    EXPECT_EQ(text("onboardingTitle"), (LocalizedStrings::text("Onboarding_ReadyToGo_Title")).toStdString());
    EXPECT_TRUE(shown("onboardingHint"));
    EXPECT_FALSE(shown("onboardingDescription"));
    EXPECT_FALSE(shown("onboardingNotNowButton"));
    press();
    press(); // a double press
    fixture->executor.advance(OnboardingViewModel::closingDelay);
    settle();
    EXPECT_EQ(fixture->sent(), Strings{"hideOnboarding"});
    EXPECT_FALSE(fixture->store.state().navigationState.onboardingState.isOnboardingShown);
    EXPECT_EQ(scene->find(QStringLiteral("onboarding"))->opacity(), 0.0);
}

// Not now by Tab and Space; Escape closes the master-password sheet and the step stays.
TEST_F(OnboardingViewTest, SkippingAndClosingTheSheetByKeyboard) {
    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::masterPassword});
    settle();
    press();
    ASSERT_TRUE(shown("onboardingMasterPasswordSheet"));
    press(Qt::Key_Escape);
    EXPECT_FALSE(shown("onboardingMasterPasswordSheet"));
    EXPECT_EQ(text("onboardingTitle"), (LocalizedStrings::text("Onboarding_GrandPassword_Title")).toStdString());
    EXPECT_EQ(fixture->sent(), Strings{});

    EXPECT_EQ(focused(), "onboardingPrimaryButton");
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), "onboardingNotNowButton");
    press(Qt::Key_Space);
    EXPECT_EQ(fixture->sent(), Strings{"updateOnboardingStatus(completed)"});
    EXPECT_EQ(text("onboardingTitle"), (LocalizedStrings::text("Onboarding_ReadyToGo_Title")).toStdString());
}

class RecordingOpener final : public UrlOpener {
public:
    void open(const QUrl& url) override { opened.push_back(url.toString()); }
    std::vector<QString> opened;
};

TEST(AboutSheetViewTest, TheSheetShowsTheBuildAndOpensItsLinksByKeyboard) {
    RecordingOpener opener;
    AboutViewModel about({"1.4.0", "213", "abc123"},
                         {"docs.example.test", "7", "privacy.example.test", "terms.example.test", "+1 (555) 010-0100"},
                         opener);
    auto harness = mainWindowScene(QStringLiteral("MacAboutView"), &about, QSize(416, 464));
    SceneHarness& scene = *harness;
    scene.render();
    auto* line = scene.find(QStringLiteral("aboutVersionLine"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->property("text").toString(), QStringLiteral("Version 1.4.0(213) abc123"));

    // The call button takes the keyboard first; Tab walks the links in order.
    QTest::keyClick(&scene.window(), Qt::Key_Return);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(&scene.window(), Qt::Key_Tab);
        QTest::keyClick(&scene.window(), Qt::Key_Space);
    }
    EXPECT_EQ(opener.opened, (std::vector<QString>{"tel:+15550100100",
                                                   "https://docs.example.test/pages/viewpage.action?pageId=7",
                                                   "https://privacy.example.test/company/policy/keyvane.html",
                                                   "https://terms.example.test/products/all/keyvane/agreement/"}));
    QSignalSpy closes(&about, &AboutViewModel::closeRequested);
    QTest::keyClick(&scene.window(), Qt::Key_Escape);
    EXPECT_EQ(closes.count(), 1);
}

} // namespace
} // namespace keyvane::views::testing
