#include "MasterPassFieldFocus.h"
#include "SceneHarness.h"
#include "../viewmodels/ViewModelFixture.h"

#include "shared/login/LoginSteps.h"
#include "shared/viewmodels/LoginSheetModel.h"

#include <QColor>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace keyvane::views::testing {
namespace {

using namespace std::chrono_literals;
using Display = LoginDisplayViewState;

const TokenInfo A = token("A");
const TokenInfo B = token("B");

class LoginSheetViewTest : public ::testing::Test {
protected:
    void show(Display display, MasterPasswordState masterPassword = MasterPasswordState::disabled) {
        AppState state;
        state.loginViewState.loginDisplayViewState = std::move(display);
        state.masterPasswordState = masterPassword;
        show(std::move(state));
    }
    void show(AppState state) {
        scene.reset();
        sheet.reset();
        fixture = std::make_unique<StoreFixture>(std::move(state));
        sheet = std::make_unique<LoginSheetModel>(fixture->port, fixture->executor,
                                                  [this](const QString& serial) { submitted.push_back(serial); });
        scene = std::make_unique<SceneHarness>(QStringLiteral("LoginSheet"),
                                               QVariantMap{{QStringLiteral("model"), QVariant::fromValue(sheet.get())}},
                                               QSize(416, 395), appearance, animated);
        settle();
        fixture->recorder->actions.clear();
    }
    // Runs what the view model posted and lets the scene catch up.
    void settle() {
        fixture->executor.runUntilIdle();
        QCoreApplication::processEvents();
        if (scene) {
            scene->render();
        }
    }
    void drive(AppAction action) {
        fixture->drive(std::move(action));
        settle();
    }
    QQuickItem* find(const char* name) { return scene->find(QString::fromUtf8(name)); }
    bool shown(const char* name) {
        auto* item = find(name);
        return item != nullptr && item->isVisible();
    }
    std::vector<std::string> sentNames() {
        std::vector<std::string> names;
        for (const auto& line : fixture->sent()) {
            names.push_back(line.substr(0, line.find('(')));
        }
        return names;
    }

    void typeText(const char* text) {
        for (const char* c = text; *c != 0; ++c) {
            QTest::keyClick(&scene->window(), *c);
        }
    }

    // Off where a test reads where a transition ends.
    bool animated = true;
    // As SceneHarness takes it: 0 system, 1 light, 2 dark.
    int appearance = 0;
    std::unique_ptr<StoreFixture> fixture;
    std::unique_ptr<LoginSheetModel> sheet;
    std::unique_ptr<SceneHarness> scene; // declared last: destroyed first
    std::vector<QString> submitted;
};

// A cover's check fails when the keys reach nothing at all: a scene where Tab finds no
// control is no scene whose keys stay inside its cover.
TEST(SceneHarnessTest, KeysThatReachNothingFailTheCoversCheck) {
    SceneHarness scene(QStringLiteral("NoTokenPane"), {}, QSize(416, 200));
    EXPECT_EQ(scene.focusOutside(&scene.root()), "nothing");
    EXPECT_EQ(scene.tabTo(scene.find(QStringLiteral("noTokenTitle")), 2), "nothing > nothing");
}

TEST_F(LoginSheetViewTest, EachDisplayStateShowsItsPane) {
    const std::vector<std::pair<Display, const char*>> cases = {
        {Display::waitForAnyToken{}, "noTokenPane"},
        {Display::tokenList{}, "tokenListPane"},
        {Display::waitForSpecificToken{A}, "tokenWaitPane"},
        {Display::enterPin{A}, "pinPane"},
        {Display::enterMasterPassword{A}, "masterPasswordPane"},
        {Display::waitForTouch{30}, "touchPane"},
    };
    const std::vector<const char*> panes = {"noTokenPane", "tokenListPane", "tokenWaitPane",
                                            "pinPane", "masterPasswordPane", "touchPane"};
    for (const auto& [display, expected] : cases) {
        SCOPED_TRACE(expected);
        show(display, MasterPasswordState::enabled);
        for (const auto* pane : panes) {
            EXPECT_EQ(shown(pane), std::string(pane) == expected) << pane;
        }
        EXPECT_EQ(shown("toolbar"), std::string(expected) != "touchPane");
        EXPECT_EQ(shown("switchToPinButton"), std::string(expected) == "masterPasswordPane");
    }
}

TEST_F(LoginSheetViewTest, TheLoaderStartsAndStopsMonitoring) {
    fixture = std::make_unique<StoreFixture>();
    sheet = std::make_unique<LoginSheetModel>(fixture->port, fixture->executor, [](const QString&) {});
    scene = std::make_unique<SceneHarness>(QStringLiteral("LoginSheet"),
                                           QVariantMap{{QStringLiteral("model"), QVariant::fromValue(sheet.get())}},
                                           QSize(416, 395));
    EXPECT_EQ(sentNames(), std::vector<std::string>{"startMonitoring"});
    scene->setActive(false);
    EXPECT_EQ(sentNames(), (std::vector<std::string>{"setPassAuth", "setPinExist", "stopMonitoring"}));
    scene->setActive(true);
    EXPECT_EQ(sentNames(), std::vector<std::string>{"startMonitoring"});
}

TEST_F(LoginSheetViewTest, TypingAPinAndEnterSendsOneLoginAndEmptiesTheField) {
    show(Display::enterPin{A});
    auto* field = find("pinField");
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->hasActiveFocus()) << "the PIN field takes the keyboard when its pane shows; focus is on "
                                         << (scene->window().activeFocusItem() ? scene->window().activeFocusItem()->metaObject()->className() : "nothing");

    // The field shows the PIN's length and never holds the PIN itself; keys edit it at the cursor.
    typeText("123456789");
    QTest::keyClick(&scene->window(), Qt::Key_Left);
    QTest::keyClick(&scene->window(), Qt::Key_Backspace);
    QTest::keyClick(&scene->window(), Qt::Key_Left);
    QTest::keyClick(&scene->window(), Qt::Key_Left);
    typeText("0");
    EXPECT_EQ(field->property("text").toString(), QString(9, QChar(LoginSheetModel::pinPlaceholder)));
    QTest::keyClick(&scene->window(), Qt::Key_End);
    QTest::keyClick(&scene->window(), Qt::Key_Backspace);
    typeText("8");
    QTest::keyClick(&scene->window(), Qt::Key_Home);
    QTest::keyClick(&scene->window(), Qt::Key_Delete);
    typeText("1");
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    const auto* login = fixture->recorder->actions[0].as<AppAction::performLoginOnToken>();
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(login->pin->reveal(), "123450678");
    EXPECT_EQ(field->property("text").toString(), QString());
    fixture->recorder->actions.clear();

    // The second press, while the first login runs, is refused.
    typeText("87654321");
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    auto* button = find("continueButton");
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(fixture->recorder->actions.empty());

    drive(AppAction::updatePinVerificationStatus{PinVerificationStatus::incorrect{2}});
    EXPECT_TRUE(shown("pinError"));
    EXPECT_TRUE(find("pinError")->property("text").toString().contains('2'));
    // An error reads as one: red, not the accent blue of the field and the button.
    const auto errorColour = find("pinError")->property("color").value<QColor>();
    EXPECT_GT(errorColour.redF(), errorColour.blueF() + 0.3) << errorColour.name().toStdString();
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    EXPECT_EQ(sentNames(), std::vector<std::string>{"performLoginOnToken"});
    drive(AppAction::updatePinVerificationStatus{PinVerificationStatus::success{}});
    EXPECT_EQ(submitted, std::vector<QString>{"A"});
}

TEST_F(LoginSheetViewTest, EscapeCancelsTheSheet) {
    show(Display::enterPin{A});
    QSignalSpy dismissals(sheet.get(), &LoginSheetModel::dismissRequested);
    QTest::keyClick(&scene->window(), Qt::Key_Escape);
    EXPECT_EQ(dismissals.count(), 1);
}

TEST_F(LoginSheetViewTest, APinTypedForOneTokenIsNotShownForAnother) {
    show(Display::enterPin{A});
    typeText("1111");
    drive(AppAction::switchToPinView{B});
    auto* field = find("pinField");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->property("text").toString(), "");
    EXPECT_TRUE(field->hasActiveFocus());
}

TEST_F(LoginSheetViewTest, TheMasterPasswordIsTypedIntoTheDotsAndNeverKeptInTheField) {
    show(Display::enterMasterPassword{A}, MasterPasswordState::enabled);
    auto* keys = find("masterPassKeys");
    ASSERT_NE(keys, nullptr);
    EXPECT_TRUE(keys->hasActiveFocus());
    typeText("12ab3");
    EXPECT_EQ(keys->property("text").toString(), "");
    EXPECT_EQ(sheet->masterPassInput()->filledCount(), 3);
    QTest::keyClick(&scene->window(), Qt::Key_Backspace);
    EXPECT_EQ(sheet->masterPassInput()->filledCount(), 2);
    typeText("3456");
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    EXPECT_EQ(fixture->recorder->actions[0].as<AppAction::validateMasterPassword>()->password.reveal(), "123456");
}

TEST_F(LoginSheetViewTest, TheMasterPasswordFieldIsReachedByTabAndByAClick) {
    show(Display::enterMasterPassword{A}, MasterPasswordState::enabled);
    expectFieldReachable(*scene, "masterPassInput", *sheet->masterPassInput(), [this] { settle(); });
}

TEST_F(LoginSheetViewTest, TheCountdownRunsOnTheClock) {
    show(Display::waitForTouch{3});
    auto* footnote = find("touchFootnote");
    ASSERT_NE(footnote, nullptr);
    const auto before = footnote->property("text").toString();
    EXPECT_TRUE(before.contains('3'));
    fixture->executor.advance(1s);
    settle();
    EXPECT_TRUE(footnote->property("text").toString().contains('2'));
    EXPECT_FALSE(shown("toolbar"));
    QSignalSpy dismissals(sheet.get(), &LoginSheetModel::dismissRequested);
    QTest::mouseClick(&scene->window(), Qt::LeftButton, {}, find("touchCloseButton")->mapToScene({14, 14}).toPoint());
    EXPECT_EQ(dismissals.count(), 1);
}

// The ring around the hand is drawn from the top, clockwise, for the part of the time left:
// the point at nine o'clock (three quarters round) is coloured while more than three quarters
// are left, and only the track shows there once less is.
TEST_F(LoginSheetViewTest, TheCountdownRingEmptiesWithTheSeconds) {
    appearance = 1;
    show(Display::waitForTouch{4});
    auto* ring = find("countdownRing");
    ASSERT_NE(ring, nullptr);
    const auto nineOClock = [&] {
        const QImage picture = scene->render();
        const QPointF point = ring->mapToScene({3, ring->height() / 2});
        return QColor(picture.pixel(point.toPoint()));
    };
    const auto accent = QColor(QStringLiteral("#2f6fe4"));
    const auto near = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 60;
    };
    EXPECT_TRUE(near(nineOClock(), accent)) << nineOClock().name().toStdString();
    fixture->executor.advance(1s);
    settle();
    EXPECT_DOUBLE_EQ(ring->property("fraction").toDouble(), 0.75);
    fixture->executor.advance(1s);
    settle();
    EXPECT_FALSE(near(nineOClock(), accent)) << nineOClock().name().toStdString();
    fixture->executor.advance(2s);
    settle();
    EXPECT_EQ(ring->property("fraction").toDouble(), 0.0);
    EXPECT_TRUE(find("touchFootnote")->property("text").toString().contains('0'));
}

TEST_F(LoginSheetViewTest, TheAlertShowsOverThePaneAndEscapeClosesIt) {
    AppState state;
    state.loginViewState.loginDisplayViewState = Display::enterPin{A};
    state.navigationState.alert = AppAlert::pinLocked;
    show(std::move(state));
    EXPECT_TRUE(shown("alert"));
    EXPECT_TRUE(shown("alertButton_ok"));
    // Behind the alert neither the pane nor the toolbar takes the keyboard: Tab walks the
    // alert's buttons only.
    EXPECT_EQ(scene->focusOutside(find("alert")), "");
    QTest::keyClick(&scene->window(), Qt::Key_Escape);
    EXPECT_EQ(sentNames(), std::vector<std::string>{"hideAlert"});
    settle();
    EXPECT_FALSE(shown("alert"));
    EXPECT_TRUE(find("pinField")->hasActiveFocus()) << "the field has the keyboard again";
}

TEST_F(LoginSheetViewTest, ATokenRowIsChosenByClickOrKeyboard) {
    const auto showList = [this] {
        show(Display::tokenList{});
        fixture->driveTokenEvents({TokenMonitoringEvent::addConnectedToken{A},
                                   TokenMonitoringEvent::addConnectedToken{B},
                                   TokenMonitoringEvent::addConnectedToken{token("U", false)}});
        settle();
        fixture->recorder->actions.clear();
    };
    const auto chosen = [this] {
        const auto& actions = fixture->recorder->actions;
        return actions.size() == 1 && actions[0].is<AppAction::selectConnectedToken>()
                   ? actions[0].as<AppAction::selectConnectedToken>()->token.serial
                   : std::string("(none)");
    };

    showList();
    EXPECT_TRUE(shown("unsupportedHeader"));
    EXPECT_EQ(find("unsupportedRow_U")->opacity(), 0.0) << "folded rows keep their place, drawn with their separators";
    ASSERT_NE(SceneHarness::find(find("unsupportedRow_U"), QStringLiteral("tokenRowSeparator")), nullptr);
    EXPECT_TRUE(SceneHarness::find(find("tokenRow_A"), QStringLiteral("tokenRowSeparator"))->isVisible());
    auto* row = find("tokenRow_B");
    ASSERT_NE(row, nullptr);
    QTest::mouseClick(&scene->window(), Qt::LeftButton, {}, row->mapToScene({20, 20}).toPoint());
    EXPECT_EQ(chosen(), "B") << ::testing::PrintToString(fixture->sent());

    showList();
    ASSERT_NE(find("tokenRow_A"), nullptr);
    EXPECT_TRUE(find("tokenRow_A")->hasActiveFocus());
    QTest::keyClick(&scene->window(), Qt::Key_Tab);
    EXPECT_TRUE(find("tokenRow_B")->hasActiveFocus()) << "Tab moves down the list";
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    EXPECT_EQ(chosen(), "B");
}

// The fold of the unsupported tokens is a stop of the Tab chain: it shows the focus ring while
// it has the keyboard, and Return unfolds the section and Space folds it again.
TEST_F(LoginSheetViewTest, TheUnsupportedSectionFoldsByKeyboard) {
    show(Display::tokenList{});
    fixture->driveTokenEvents({TokenMonitoringEvent::addConnectedToken{A},
                               TokenMonitoringEvent::addConnectedToken{B},
                               TokenMonitoringEvent::addConnectedToken{token("U", false)}});
    settle();
    auto* fold = find("unsupportedFoldButton");
    ASSERT_NE(fold, nullptr);
    auto* background = fold->property("background").value<QQuickItem*>();
    ASSERT_NE(background, nullptr);
    ASSERT_EQ(background->childItems().size(), 1);
    auto* ring = background->childItems().front();
    EXPECT_FALSE(ring->isVisible());
    ASSERT_EQ(scene->tabTo(fold), "");
    settle();
    EXPECT_TRUE(ring->isVisible()) << "the fold shows that it has the keyboard";
    ASSERT_FALSE(sheet->unsupportedExpanded());
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    settle();
    EXPECT_TRUE(sheet->unsupportedExpanded());
    QTest::keyClick(&scene->window(), Qt::Key_Space);
    settle();
    EXPECT_FALSE(sheet->unsupportedExpanded());
}

// The other-token notice pops up as a badge and widens half a second later; it narrows at
// once when the token goes and vanishes half a second after. Its steps belong to the sheet
// on screen: a sheet that closes halfway leaves nothing behind for the next time it shows.
TEST_F(LoginSheetViewTest, TheOtherTokenNoticeTakesItsTwoStepsOnTheClock) {
    animated = false;
    show(Display::waitForSpecificToken{A});
    const auto notice = [this] { return find("otherTokenNotice"); };
    const auto capsuleWidth = [this] { return find("otherTokenNoticeCapsule")->width(); };
    ASSERT_NE(notice(), nullptr);
    EXPECT_FALSE(notice()->isVisible()) << "no token connected: no notice";

    fixture->driveTokenEvents({TokenMonitoringEvent::addConnectedToken{B}});
    settle();
    EXPECT_TRUE(notice()->isVisible());
    EXPECT_EQ(notice()->opacity(), 1.0);
    EXPECT_EQ(capsuleWidth(), 32.0);
    fixture->executor.advance(LoginSheetModel::noticeStep - 1ms);
    settle();
    EXPECT_EQ(capsuleWidth(), 32.0);
    fixture->executor.advance(1ms);
    settle();
    EXPECT_EQ(capsuleWidth(), 206.0);

    // A second wrong token changes nothing.
    fixture->driveTokenEvents({TokenMonitoringEvent::addConnectedToken{token("C")}});
    fixture->executor.advance(LoginSheetModel::noticeStep);
    settle();
    EXPECT_TRUE(notice()->isVisible());
    EXPECT_EQ(capsuleWidth(), 206.0);

    fixture->driveTokenEvents({TokenMonitoringEvent::removeToken{"B"},
                               TokenMonitoringEvent::removeToken{"C"}});
    settle();
    EXPECT_EQ(capsuleWidth(), 32.0) << "the capsule narrows at once";
    EXPECT_TRUE(notice()->isVisible());
    fixture->executor.advance(LoginSheetModel::noticeStep);
    settle();
    EXPECT_FALSE(notice()->isVisible());

    // Closed while the badge waits to widen: the step is dropped with the sheet, and the sheet
    // shown again starts without a notice.
    fixture->driveTokenEvents({TokenMonitoringEvent::addConnectedToken{B}});
    settle();
    ASSERT_TRUE(notice()->isVisible());
    scene->setActive(false);
    fixture->executor.advance(LoginSheetModel::noticeStep);
    EXPECT_FALSE(sheet->noticeExpanded());
    scene->setActive(true);
    settle();
    EXPECT_FALSE(notice()->isVisible()) << "nothing of the last visit shows";
    fixture->driveTokenEvents({TokenMonitoringEvent::addConnectedToken{B}});
    fixture->executor.advance(LoginSheetModel::noticeStep);
    settle();
    EXPECT_TRUE(notice()->isVisible());
    EXPECT_EQ(capsuleWidth(), 206.0);
}

// A sheet that opens with another token already connected plays the notice's two steps on
// screen: the badge first, the capsule half a second later. Neither step is reported before
// the pane that draws it exists.
TEST_F(LoginSheetViewTest, ASheetOpeningWithAnotherTokenShowsTheNoticeInTwoSteps) {
    animated = false;
    AppState state;
    state.loginViewState.loginDisplayViewState = Display::waitForSpecificToken{A};
    state.loginViewState.connectedTokens.insert(B);
    fixture = std::make_unique<StoreFixture>(std::move(state));
    sheet = std::make_unique<LoginSheetModel>(fixture->port, fixture->executor, [](const QString&) {});
    std::vector<std::pair<bool, bool>> reported;
    QObject listening; // ends the connection with the test
    QObject::connect(sheet.get(), &LoginSheetModel::changed, &listening,
                     [this, &reported] { reported.emplace_back(sheet->noticeShown(), sheet->noticeExpanded()); });
    scene = std::make_unique<SceneHarness>(QStringLiteral("LoginSheet"),
                                           QVariantMap{{QStringLiteral("model"), QVariant::fromValue(sheet.get())}},
                                           QSize(416, 395), appearance, animated);
    EXPECT_FALSE(sheet->noticeShown()) << "not shown before the pane is drawn";
    settle();
    auto* notice = find("otherTokenNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(find("otherTokenNoticeCapsule")->width(), 32.0) << "the badge comes first";
    fixture->executor.advance(LoginSheetModel::noticeStep);
    settle();
    EXPECT_EQ(find("otherTokenNoticeCapsule")->width(), 206.0);
    const std::vector<std::pair<bool, bool>> steps = {{true, false}, {true, true}};
    std::vector<std::pair<bool, bool>> seen;
    for (const auto& step : reported) {
        if (seen.empty() ? step.first : step != seen.back()) {
            seen.push_back(step);
        }
    }
    EXPECT_EQ(seen, steps) << "each step is told to the view";
}

// With biometry on, the pane asks for the finger before anything else; a pass fills the dots
// and uses the cached PIN a second later; without a pass the password still unlocks.
TEST_F(LoginSheetViewTest, TheMasterPasswordPaneTakesTheBiometricRoadOrThePassword) {
    const auto filledDots = [this] {
        int filled = 0;
        for (auto* dot : find("masterPassDots")->childItems()) {
            filled += dot->property("filled").toBool() ? 1 : 0;
        }
        return filled;
    };

    show(Display::enterMasterPassword{A}, MasterPasswordState::enabledWithBio);
    // show() drops what the appearance sent; look again from a fresh sheet.
    scene->setActive(false);
    fixture->recorder->actions.clear();
    scene->setActive(true);
    EXPECT_EQ(sentNames(), (std::vector<std::string>{"startMonitoring", "validateBio", "checkHasPinForToken"}));

    drive(AppAction::setPinExist{StoredPinState::exist});
    drive(AppAction::setPassAuth{LoginAuthStatus::passedByBiometry});
    EXPECT_EQ(filledDots(), 6) << "a pass fills the dots before the login";
    fixture->executor.advance(LoginSteps::biometryPause - 1ms);
    settle();
    EXPECT_TRUE(fixture->recorder->actions.empty());
    fixture->executor.advance(1ms);
    settle();
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    const auto* login = fixture->recorder->actions[0].as<AppAction::performLoginOnToken>();
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(login->serial, "A");
    EXPECT_FALSE(login->pin.has_value()) << "the cached PIN is used";

    // The finger refused: the dots stay empty and the field still takes the password.
    show(Display::enterMasterPassword{A}, MasterPasswordState::enabledWithBio);
    drive(AppAction::setPassAuth{LoginAuthStatus::failed});
    EXPECT_EQ(filledDots(), 0);
    EXPECT_TRUE(find("masterPassKeys")->hasActiveFocus());
    typeText("654321");
    ASSERT_EQ(sentNames(), std::vector<std::string>{"validateMasterPassword"});

    // A pass without a cached PIN of this token asks for the PIN instead.
    show(Display::enterMasterPassword{A}, MasterPasswordState::enabledWithBio);
    drive(AppAction::setPinExist{StoredPinState::absent});
    drive(AppAction::setPassAuth{LoginAuthStatus::passedByBiometry});
    fixture->executor.advance(LoginSteps::biometryPause);
    settle();
    EXPECT_TRUE(shown("pinPane"));
    EXPECT_TRUE(find("pinField")->hasActiveFocus());
}

} // namespace
} // namespace keyvane::views::testing
