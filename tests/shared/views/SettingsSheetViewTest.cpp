#include "MasterPassFieldFocus.h"
#include "SceneHarness.h"
#include "../viewmodels/ViewModelFixture.h"

#include "shared/localization/LocalizedStrings.h"
#include "shared/viewmodels/SettingsSheetModel.h"

#include <QColor>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

namespace keyvane::views::testing {
namespace {

class SettingsSheetViewTest : public ::testing::Test {
protected:
    // appearance as SceneHarness takes it: 0 system, 1 light, 2 dark.
    void show(MasterPasswordState masterPassword, int appearance = 0) {
        scene.reset();
        sheet.reset();
        AppState state;
        state.masterPasswordState = masterPassword;
        fixture = std::make_unique<StoreFixture>(std::move(state));
        fixture->drive(AppAction::startEnteringMasterPasswordSettings{});
        sheet = std::make_unique<SettingsSheetModel>(fixture->port, fixture->settingsPort, fixture->executor);
        scene = std::make_unique<SceneHarness>(QStringLiteral("MasterPasswordSettingsSheet"),
                                               QVariantMap{{QStringLiteral("model"), QVariant::fromValue(sheet.get())}},
                                               QSize(464, 512), appearance, /*animated=*/false);
        settle();
    }
    void settle() {
        fixture->executor.runUntilIdle();
        QCoreApplication::processEvents();
        scene->render();
    }
    void typeText(const char* text) {
        for (const char* c = text; *c != 0; ++c) {
            QTest::keyClick(&scene->window(), *c);
        }
    }
    bool shown(const char* name) {
        auto* item = scene->find(QString::fromUtf8(name));
        return item != nullptr && item->isVisible();
    }

    std::unique_ptr<StoreFixture> fixture;
    std::unique_ptr<SettingsSheetModel> sheet;
    std::unique_ptr<SceneHarness> scene;
};

TEST_F(SettingsSheetViewTest, TurningOnByKeyboardAlone) {
    show(MasterPasswordState::disabled);
    EXPECT_TRUE(shown("turnOnButton"));
    EXPECT_FALSE(shown("enabledBody"));
    EXPECT_FALSE(shown("settingsPrompt"));
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    settle();
    ASSERT_TRUE(shown("doubleInput"));
    typeText("135790");
    fixture->executor.advance(MasterPassInputModel::repeatPause);
    settle();
    typeText("135790");
    settle();
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    EXPECT_EQ(fixture->recorder->actions[0].as<AppAction::setupMasterPassword>()->password.reveal(), "135790");
    EXPECT_FALSE(shown("doubleInput"));

    QSignalSpy closes(sheet.get(), &SettingsSheetModel::closeRequested);
    QTest::keyClick(&scene->window(), Qt::Key_Escape);
    EXPECT_EQ(closes.count(), 1);
}

TEST_F(SettingsSheetViewTest, APromptCoversTheSheetWhileAPasswordIsSet) {
    show(MasterPasswordState::enabled);
    EXPECT_TRUE(shown("settingsPrompt"));
    EXPECT_TRUE(shown("settingsCloseButton")) << "the close button stays above the prompt";
    auto* focused = scene->window().activeFocusItem();
    EXPECT_EQ(focused ? focused->objectName() : QStringLiteral("(none)"), QStringLiteral("masterPassKeys"));
    typeText("246801");
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    EXPECT_EQ(fixture->recorder->actions[0].as<AppAction::enterMasterPasswordSettings>()->password.reveal(), "246801");
    fixture->recorder->actions.clear();
    fixture->drive(AppAction::hideMasterPasswordInput{});
    settle();
    EXPECT_FALSE(shown("settingsPrompt"));
    EXPECT_TRUE(shown("enabledBody"));
}

TEST_F(SettingsSheetViewTest, ThePromptAndTheTwoStepEntryAreReachedByTabAndByAClick) {
    show(MasterPasswordState::enabled);
    expectFieldReachable(*scene, "settingsPromptField", *sheet->prompt(), [this] { settle(); });

    show(MasterPasswordState::disabled);
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    settle();
    ASSERT_NE(sheet->doubleInput(), nullptr);
    expectFieldReachable(*scene, "doubleInputField", *sheet->doubleInput(), [this] { settle(); });
}

// Every text the prompt's field shows for a refused or failed check is read whole within the
// field's two lines: a failed check shows a sentence, never a technical text cut off.
TEST_F(SettingsSheetViewTest, TheFieldShowsEveryErrorWhole) {
    const std::vector<MasterPassAuthError> errors = {
        MasterPassAuthError::invalidPass{1},
        MasterPassAuthError::invalidPass{4},
        MasterPassAuthError::text{LocalizedStrings::text("EnterGrandPass_OperationFailed_Error").toStdString()},
    };
    for (const int appearance : {1, 2}) {
        show(MasterPasswordState::enabled, appearance);
        for (const auto& error : errors) {
            SCOPED_TRACE(::testing::PrintToString(error));
            fixture->drive(AppAction::updateMasterPasswordError{error});
            settle();
            auto* title = scene->find(QStringLiteral("masterPassTitle"));
            ASSERT_NE(title, nullptr);
            EXPECT_EQ(title->property("text").toString(), *error.localizedMessage());
            EXPECT_FALSE(title->property("truncated").toBool()) << title->property("text").toString().toStdString();
        }
    }
}

// The switch's track is drawn from the theme: it stands out from the row it sits on in either
// appearance, and is the accent colour when on.
TEST_F(SettingsSheetViewTest, TheBiometrySwitchIsVisibleAndShowsWhenItIsOn) {
    for (const int appearance : {1, 2}) {
        for (const bool on : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "appearance " << appearance << (on ? ", on" : ", off"));
            show(on ? MasterPasswordState::enabledWithBio : MasterPasswordState::enabled, appearance);
            fixture->drive(AppAction::hideMasterPasswordInput{});
            settle();
            auto* toggle = scene->find(QStringLiteral("biometrySwitch"));
            ASSERT_NE(toggle, nullptr);
            ASSERT_TRUE(toggle->isVisible());
            EXPECT_EQ(toggle->property("checked").toBool(), on);
            auto* track = toggle->property("indicator").value<QQuickItem*>();
            ASSERT_NE(track, nullptr);
            const auto trackColour = track->property("color").value<QColor>();
            const auto rowColour = toggle->parentItem()->parentItem()->property("color").value<QColor>();
            EXPECT_GT(std::abs(trackColour.lightnessF() - rowColour.lightnessF()), 0.1)
                << trackColour.name().toStdString() << " on " << rowColour.name().toStdString();
            if (on) {
                EXPECT_GT(trackColour.blueF(), trackColour.redF() + 0.3) << trackColour.name().toStdString();
            } else {
                EXPECT_LT(std::abs(trackColour.blueF() - trackColour.redF()), 0.1) << trackColour.name().toStdString();
            }
        }
    }
}

// The close button's cross stands out from its disc in either appearance (light grey on white
// is easy to miss), and the secondary buttons read in the label colour.
TEST_F(SettingsSheetViewTest, TheCloseButtonAndTheButtonsReadInEitherAppearance) {
    for (const int appearance : {1, 2}) {
        SCOPED_TRACE(::testing::Message() << "appearance " << appearance);
        show(MasterPasswordState::enabled, appearance);
        fixture->drive(AppAction::hideMasterPasswordInput{});
        settle();
        auto* close = scene->find(QStringLiteral("settingsCloseButton"));
        ASSERT_NE(close, nullptr);
        const QImage picture = scene->render();
        const auto at = [&](QPointF point) { return QColor(picture.pixel(close->mapToScene(point).toPoint())); };
        const QColor cross = at({14, 14});
        const QColor disc = at({14, 5});
        EXPECT_GT(std::abs(cross.lightnessF() - disc.lightnessF()), 0.3)
            << cross.name().toStdString() << " on " << disc.name().toStdString();

        auto* change = scene->find(QStringLiteral("changeButton"));
        ASSERT_NE(change, nullptr);
        const auto label = change->property("contentItem").value<QQuickItem*>()->property("color").value<QColor>();
        EXPECT_LT(std::abs(label.blueF() - label.redF()), 0.1) << "a neutral label, not the accent: " << label.name().toStdString();
    }
}

// The turn-off confirmation starts with the keyboard on its safe button, drawn as the default:
// Return there keeps the master password. Tab takes the keyboard, and the default's look, to
// the turn-off button, which Return then presses.
TEST_F(SettingsSheetViewTest, ReturnInTheTurnOffConfirmationKeepsTheMasterPassword) {
    show(MasterPasswordState::enabled);
    fixture->drive(AppAction::hideMasterPasswordInput{});
    settle();
    const auto drawnAsDefault = [&](const char* identifier) {
        auto* button = SceneHarness::find(scene->find(QStringLiteral("turnOffConfirmation")),
                                          QStringLiteral("alertButton_") + QString::fromUtf8(identifier));
        return button != nullptr && button->property("prominent").toBool();
    };
    sheet->askToTurnOff();
    settle();
    EXPECT_TRUE(drawnAsDefault("cancel"));
    EXPECT_FALSE(drawnAsDefault("disable"));
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    settle();
    EXPECT_FALSE(shown("turnOffConfirmation"));
    EXPECT_TRUE(fixture->sent().empty());
    EXPECT_TRUE(shown("enabledBody"));

    sheet->askToTurnOff();
    settle();
    QTest::keyClick(&scene->window(), Qt::Key_Tab);
    settle();
    EXPECT_TRUE(drawnAsDefault("disable"));
    QTest::keyClick(&scene->window(), Qt::Key_Return);
    settle();
    EXPECT_EQ(fixture->sent(), std::vector<std::string>{"disableMasterPassword"});
}

// While the turn-off confirmation or the state's alert covers the sheet, no key reaches the
// controls behind it: Tab walks the cover's own buttons only.
TEST_F(SettingsSheetViewTest, KeysNeverReachTheControlsBehindACover) {
    show(MasterPasswordState::enabled);
    fixture->drive(AppAction::hideMasterPasswordInput{});
    settle();
    sheet->askToTurnOff();
    settle();
    ASSERT_TRUE(shown("turnOffConfirmation"));
    EXPECT_EQ(scene->focusOutside(scene->find(QStringLiteral("turnOffConfirmation"))), "");
    QTest::keyClick(&scene->window(), Qt::Key_Escape);
    settle();
    EXPECT_FALSE(shown("turnOffConfirmation"));
    EXPECT_EQ(sheet->doubleInputPurpose(), SettingsSheetModel::None);
    EXPECT_TRUE(fixture->sent().empty());

    fixture->drive(AppAction::handleError{TextError("broken")});
    settle();
    ASSERT_TRUE(sheet->alertShown());
    EXPECT_EQ(scene->focusOutside(scene->find(QStringLiteral("alert"))), "");
    EXPECT_TRUE(fixture->sent().empty());
}

} // namespace
} // namespace keyvane::views::testing
