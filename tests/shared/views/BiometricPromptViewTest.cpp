#include "SceneHarness.h"

#include "flowkeep/VirtualClockExecutor.h"
#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/dependencies/DependencyRegistry.h"
#include "shared/localization/LocalizedStrings.h"
#include "shared/viewmodels/BiometricPromptModel.h"

#include <QGuiApplication>
#include <QQmlEngine>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>

namespace keyvane::views::testing {
namespace {

class BiometricPromptViewTest : public ::testing::Test {
protected:
    // A check that waits for a finger; the prompt's cancel is counted.
    void startCheck(const std::string& reason) {
        prompt.show(reason, [this] { ++cancels; });
        settle();
    }
    void settle() {
        executor.runUntilIdle();
        QCoreApplication::processEvents();
        if (scene) {
            scene->render();
        }
    }
    QQuickItem* find(const char* name) { return scene->find(QString::fromUtf8(name)); }

    flowkeep::VirtualClockExecutor executor;
    BiometricPromptModel prompt{executor};
    int cancels = 0;
    std::unique_ptr<SceneHarness> scene;
};

TEST_F(BiometricPromptViewTest, ShowsTheReasonAndCancelStopsTheCheck) {
    scene = std::make_unique<SceneHarness>(QStringLiteral("BiometricPromptView"),
                                           QVariantMap{{QStringLiteral("prompt"), QVariant::fromValue(&prompt)}},
                                           QSize(320, 240));
    startCheck("пройти аутентификацию");
    ASSERT_NE(find("biometricPromptReason"), nullptr);
    EXPECT_EQ(find("biometricPromptReason")->property("text").toString(), QStringLiteral("пройти аутентификацию"));
    EXPECT_EQ(find("biometricPromptTitle")->property("text").toString(),
              LocalizedStrings::text("BiometricPrompt_Title"));
    EXPECT_NE(find("biometricPromptTitle")->property("text").toString(), QStringLiteral("BiometricPrompt_Title"));
    auto* button = find("biometricPromptCancelButton");
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->hasActiveFocus()) << "Cancel takes the keyboard, so Return and Space press it";

    QTest::mouseClick(&scene->window(), Qt::LeftButton, {}, button->mapToScene({10, 10}).toPoint());
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(prompt.shown());

    // Escape cancels the next check the same way.
    startCheck("again");
    QTest::keyClick(&scene->window(), Qt::Key_Escape);
    EXPECT_EQ(cancels, 2);
    EXPECT_FALSE(prompt.shown());
}

// The window opens when a check shows the prompt, closes with the check, and the window
// manager's close button is a cancel.
TEST_F(BiometricPromptViewTest, TheWindowFollowsThePrompt) {
    QQmlEngine engine;
    installViews(engine);
    QWindow* window = createBiometricPromptWindow(engine, prompt);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());
    // The program's window, which the prompt comes above.
    QWindow program;
    program.setGeometry(100, 100, 800, 600);
    program.show();

    startCheck("reason");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->transientParent(), &program);
    EXPECT_LE((window->geometry().center() - program.geometry().center()).manhattanLength(), 2);
    EXPECT_EQ(window->title(), LocalizedStrings::text("BiometricPrompt_Title"));
    prompt.hide();
    settle();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(cancels, 0);

    startCheck("reason");
    ASSERT_TRUE(window->isVisible());
    EXPECT_FALSE(window->close()) << "the window stays bound to the prompt, which the cancel hides";
    settle();
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(window->isVisible());
    startCheck("reason");
    EXPECT_TRUE(window->isVisible()) << "a later check opens the window again";
}

// The programs' one call puts the prompt's check in place of the registry's value. The
// prompt's window is made when a check first shows it, never at start.
TEST_F(BiometricPromptViewTest, InstallingThePromptReplacesTheBiometricCheck) {
    const auto before = Dependencies::get(laContextWrapper);
    QQmlEngine engine;
    installViews(engine);
    auto& installed = installBiometricPrompt(engine, executor);
    EXPECT_NE(Dependencies::get(laContextWrapper), before);
    const auto promptWindows = [] {
        int count = 0;
        for (auto* window : QGuiApplication::topLevelWindows()) {
            count += window->title() == LocalizedStrings::text("BiometricPrompt_Title") ? 1 : 0;
        }
        return count;
    };
    EXPECT_EQ(promptWindows(), 0) << "no window before a check needs it";

    installed.show("reason", [] {});
    executor.runUntilIdle();
    EXPECT_EQ(promptWindows(), 1);
    installed.hide();
    executor.runUntilIdle();
    installed.show("reason", [] {});
    executor.runUntilIdle();
    EXPECT_EQ(promptWindows(), 1) << "the one window serves every later check";
    auto windows = QGuiApplication::topLevelWindows();
    const auto shown = std::find_if(windows.begin(), windows.end(), [](QWindow* window) {
        return window->title() == LocalizedStrings::text("BiometricPrompt_Title");
    });
    ASSERT_NE(shown, windows.end());
    EXPECT_TRUE((*shown)->isVisible());
    installed.hide();
    executor.runUntilIdle();
    EXPECT_FALSE((*shown)->isVisible());
    Dependencies::resetForTesting();
}

} // namespace
} // namespace keyvane::views::testing
