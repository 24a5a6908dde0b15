// The main window with its onboarding layer and About sheet, as the program wires them, in an
// offscreen scene over the program's reducer; driven by the keyboard and objectNames.
#include "../../shared/viewmodels/ViewModelFixture.h"
#include "../../shared/views/SceneHarness.h"

#include "keyvane/viewmodels/MainWindowModel.h"
#include "keyvane/app/ProgramInfo.h"
#include "keyvane/viewmodels/WindowLayersModel.h"
#include "keyvane/views/MainWindowViews.h"
#include "shared/localization/LocalizedStrings.h"
#include "shared/views/Views.h"

#include <QQmlAbstractUrlInterceptor>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

namespace keyvane::app {
namespace {

using views::testing::StoreFixture;
using Strings = std::vector<std::string>;

class NoOpener final : public UrlOpener {
public:
    void open(const QUrl&) override {}
};

// The QML files the engine reads, by name.
class ReadFiles final : public QQmlAbstractUrlInterceptor {
public:
    QUrl intercept(const QUrl& url, DataType type) override {
        if (type == QmlFile) {
            names.insert(url.fileName().toStdString());
        }
        return url;
    }
    std::set<std::string> names;
};

class WindowLayersViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.addUrlInterceptor(&files);
        AppState state;
        state.biometryType = BiometryType::touchID;
        fixture = std::make_unique<StoreFixture>(std::move(state));
        window = std::make_unique<MainWindowModel>(fixture->store, fixture->executor);
        layers = std::make_unique<WindowLayersModel>(fixture->store, fixture->executor, *window, opener,
                                                     programBuildInfo(), programAboutConfiguration());
        views::installViews(engine);
        installMainWindowViews(engine);
        QQmlComponent component(&engine);
        // As the program's window places them, over the models it is given.
        component.setData("import QtQuick\nimport Keyvane.Views\nimport Keyvane.MainWindow\n"
                          "MacMainView { id: window; anchors.fill: parent; model: mainWindow\n"
                          " required property MainWindowModel mainWindow\n"
                          " required property WindowLayersModel windowLayers\n"
                          " Binding { target: Theme; property: \"animated\"; value: false }\n"
                          " layers: window.windowLayers }",
                          QUrl(QStringLiteral("qrc:/window.qml")));
        ASSERT_TRUE(component.isReady()) << component.errorString().toStdString();
        root.reset(qobject_cast<QQuickItem*>(component.createWithInitialProperties(
            {{QStringLiteral("mainWindow"), QVariant::fromValue(window.get())},
             {QStringLiteral("windowLayers"), QVariant::fromValue(layers.get())}})));
        ASSERT_NE(root, nullptr) << component.errorString().toStdString();
        scene.resize(1000, 620);
        root->setParentItem(scene.contentItem());
        root->setFocus(true);
        scene.show();
        scene.requestActivate();
        (void)QTest::qWaitForWindowActive(&scene);
        settle();
    }
    void TearDown() override {
        root.reset();
    }
    void settle() {
        fixture->executor.runUntilIdle();
        QCoreApplication::processEvents();
        scene.grabWindow();
    }
    void press(Qt::Key key = Qt::Key_Return) {
        QTest::keyClick(&scene, key);
        settle();
    }
    QQuickItem* find(const char* name) {
        return views::testing::SceneHarness::find(scene.contentItem(), QString::fromUtf8(name));
    }
    bool shown(const char* name) {
        auto* item = find(name);
        return item != nullptr && item->isVisible();
    }
    std::string text(const char* name) {
        auto* item = find(name);
        return item != nullptr && item->isVisible() ? item->property("text").toString().toStdString() : "";
    }
    std::string focused() {
        auto* item = scene.activeFocusItem();
        return item != nullptr ? item->objectName().toStdString() : "(none)";
    }

    NoOpener opener;
    ReadFiles files;
    std::unique_ptr<StoreFixture> fixture;
    std::unique_ptr<MainWindowModel> window;
    std::unique_ptr<WindowLayersModel> layers;
    QQmlEngine engine;
    QQuickWindow scene;
    std::unique_ptr<QQuickItem> root;
};

// A first start over the window: the layer hides the toolbar, takes the keyboard, shows the
// core's alert above it when a step fails, and leaves the window to the user at the end.
TEST_F(WindowLayersViewTest, OnboardingFromAFirstStartToCompleted) {
    EXPECT_FALSE(shown("onboarding"));
    fixture->drive(AppAction::firstLaunch{});
    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::enableExtension});
    fixture->executor.advance(std::chrono::seconds(1));
    settle();
    ASSERT_TRUE(shown("onboarding"));
    EXPECT_EQ(find("onboardingLogo")->property("status").toInt(), 1) << "the window's logo is drawn";
    EXPECT_FALSE(shown("toolbar"));
    EXPECT_EQ(focused(), "onboardingPrimaryButton");
    press();
    EXPECT_EQ(fixture->sent(), Strings{"enableExtension(isOnboarding: true)"});
    fixture->drive(AppAction::updateOnboardingStatus{OnboardingStatus::masterPassword});
    settle();

    // Not now: no master password, no biometric step.
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), "onboardingNotNowButton");
    press(Qt::Key_Space);
    EXPECT_EQ(fixture->sent(), Strings{"updateOnboardingStatus(completed)"});

    // The core's alert comes above the layer and gives the keyboard back when it closes.
    fixture->drive(AppAction::handleError{AnyError(TextError("failed"))});
    settle();
    ASSERT_TRUE(shown("alert"));
    EXPECT_EQ(focused(), "alert");
    press(Qt::Key_Escape);
    EXPECT_EQ(fixture->sent(), Strings{"hideAlert"});
    fixture->drive(AppAction::hideAlert{});
    settle();
    EXPECT_FALSE(shown("alert"));
    EXPECT_EQ(focused(), "onboardingPrimaryButton");

    EXPECT_EQ(text("onboardingTitle"), LocalizedStrings::text("Onboarding_ReadyToGo_Title").toStdString());
    press();
    fixture->executor.advance(OnboardingViewModel::closingDelay);
    settle();
    EXPECT_EQ(fixture->sent(), Strings{"hideOnboarding"});
    EXPECT_FALSE(shown("onboarding"));
    EXPECT_TRUE(shown("toolbar"));
}

// The window starts without the files of its sheets and layers: each is read when it first
// shows, and a sheet that never shows is never read.
TEST_F(WindowLayersViewTest, EachSheetAndLayerIsReadWhenItFirstShows) {
    ASSERT_TRUE(files.names.count("MacMainView.qml")) << "the interceptor sees the files the window reads";
    const auto read = [this](const char* file) { return files.names.count(file) == 1; };
    for (const char* file : {"LoginSheet.qml", "MasterPasswordSettingsSheet.qml", "MacAboutView.qml",
                             "MacOnboardingView.qml"}) {
        EXPECT_FALSE(read(file)) << file << " was read before it showed";
    }

    window->openAbout();
    settle();
    ASSERT_TRUE(shown("aboutSheet"));
    EXPECT_TRUE(read("MacAboutView.qml"));
    EXPECT_FALSE(read("LoginSheet.qml"));

    fixture->drive(AppAction::startSync{});
    settle();
    EXPECT_TRUE(shown("loginSheetLoader"));
    EXPECT_TRUE(read("LoginSheet.qml"));
    EXPECT_FALSE(read("MasterPasswordSettingsSheet.qml"));
    EXPECT_FALSE(read("MacOnboardingView.qml"));

    fixture->drive(AppAction::dismissLoginView{});
    fixture->drive(AppAction::startEnteringMasterPasswordSettings{});
    settle();
    EXPECT_TRUE(shown("settingsSheetLoader"));
    EXPECT_TRUE(read("MasterPasswordSettingsSheet.qml"));

    fixture->drive(AppAction::quitMasterPasswordSettings{});
    fixture->drive(AppAction::firstLaunch{});
    settle();
    EXPECT_TRUE(shown("onboarding"));
    EXPECT_TRUE(read("MacOnboardingView.qml"));
}

TEST_F(WindowLayersViewTest, TheAboutSheetShowsThisBuildsVersionLine) {
    window->openAbout();
    settle();
    ASSERT_TRUE(shown("aboutSheet"));
    const auto build = programBuildInfo();
    ASSERT_TRUE(build.appVersion.has_value());
    EXPECT_EQ(*build.appVersion, KEYVANE_TEST_PROJECT_VERSION);
    EXPECT_EQ(text("aboutVersionLine"), versionLine(build).toStdString());
    EXPECT_NE(text("aboutVersionLine").find(KEYVANE_TEST_PROJECT_VERSION), std::string::npos);
    press(Qt::Key_Escape);
    EXPECT_FALSE(window->aboutShown());
    EXPECT_FALSE(shown("aboutSheet"));

    // Opened again, it is a fresh sheet.
    const auto* first = layers->about();
    window->openAbout();
    settle();
    EXPECT_NE(layers->about(), first);
    EXPECT_TRUE(shown("aboutSheet"));
}

class RecordingOpener final : public UrlOpener {
public:
    void open(const QUrl& url) override { opened.push_back(url); }
    std::vector<QUrl> opened;
};

// Every address the window opens goes to the one opener the program gives: the About sheet's
// support line and the login sheet's help page for a locked PIN alike.
TEST(WindowLayersOpener, TheAboutSheetAndTheLoginSheetOpenAddressesThroughTheOneOpener) {
    AppState state;
    state.navigationState.loginPurpose = LoginPuprose::justSync{};
    state.navigationState.alert = AppAlert::pinLocked;
    StoreFixture fixture(std::move(state));
    MainWindowModel window(fixture.store, fixture.executor);
    RecordingOpener opener;
    WindowLayersModel layers(fixture.store, fixture.executor, window, opener, BuildInfo{},
                             AboutConfiguration{"docs.example.test", "7", "privacy.example.test", "terms.example.test",
                                                "+1 (555) 010-0100"});
    fixture.executor.runUntilIdle();

    layers.about()->call();
    ASSERT_NE(window.loginSheet(), nullptr);
    window.loginSheet()->alertReturnPressed();
    EXPECT_EQ(opener.opened, (std::vector<QUrl>{QUrl(QStringLiteral("tel:+15550100100")),
                                                views::LoginSheetModel::pinLockedHelpUrl()}));
}

} // namespace
} // namespace keyvane::app
