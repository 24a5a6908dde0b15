#include "shared/viewmodels/SettingsSheetModel.h"

#include "ViewModelFixture.h"
#include "shared/localization/LocalizedStrings.h"

#include <gtest/gtest.h>

namespace keyvane::views::testing {
namespace {

using namespace std::chrono_literals;

class SettingsSheetTest : public ::testing::Test {
protected:
    void open(MasterPasswordState masterPassword, DeviceKeyBackend protection = DeviceKeyBackend::none) {
        sheet.reset();
        AppState state;
        state.masterPasswordState = masterPassword;
        state.pinCacheState.protection = protection;
        fixture = std::make_unique<StoreFixture>(std::move(state));
        fixture->drive(AppAction::startEnteringMasterPasswordSettings{});
        sheet = std::make_unique<SettingsSheetModel>(fixture->port, fixture->settingsPort, fixture->executor);
    }
    void typeTwice(const char* password) {
        sheet->doubleInput()->type(QString::fromUtf8(password));
        fixture->executor.advance(MasterPassInputModel::repeatPause);
        sheet->doubleInput()->type(QString::fromUtf8(password));
        fixture->executor.runUntilIdle();
    }

    std::unique_ptr<StoreFixture> fixture;
    std::unique_ptr<SettingsSheetModel> sheet;
};

TEST_F(SettingsSheetTest, TheSheetMirrorsTheMasterPasswordState) {
    struct Case {
        MasterPasswordState state;
        bool enabled;
        bool biometry;
        bool prompt;
    };
    for (const auto& c : std::vector<Case>{{MasterPasswordState::disabled, false, false, false},
                                           {MasterPasswordState::enabled, true, false, true},
                                           {MasterPasswordState::enabledWithBio, true, true, true}}) {
        open(c.state);
        EXPECT_EQ(sheet->masterPasswordEnabled(), c.enabled);
        EXPECT_EQ(sheet->biometryEnabled(), c.biometry);
        EXPECT_EQ(sheet->promptShown(), c.prompt);
    }
}

// The sheet says what keeps the cached PINs: a TPM, or a key file any program of the user can
// read; nothing while no master password is set.
TEST_F(SettingsSheetTest, TheSheetSaysWhatProtectsTheCachedPins) {
    struct Case {
        MasterPasswordState state;
        DeviceKeyBackend protection;
        const char* key;
    };
    for (const auto& c : std::vector<Case>{
             {MasterPasswordState::enabled, DeviceKeyBackend::tpm, "GrandPassView_Protection_Tpm"},
             {MasterPasswordState::enabledWithBio, DeviceKeyBackend::file, "GrandPassView_Protection_File"},
             {MasterPasswordState::enabled, DeviceKeyBackend::none, nullptr},
             {MasterPasswordState::disabled, DeviceKeyBackend::file, nullptr}}) {
        open(c.state, c.protection);
        const QString expected = c.key != nullptr ? LocalizedStrings::text(c.key) : QString();
        EXPECT_EQ(sheet->protectionText(), expected) << c.protection;
        EXPECT_NE(expected.toStdString(), c.key != nullptr ? c.key : "-") << "the text is translated";
    }
    // The text follows the state when a set-up finishes.
    open(MasterPasswordState::disabled);
    fixture->drive(AppAction::updateMasterPasswordState{MasterPasswordState::enabled, DeviceKeyBackend::tpm});
    EXPECT_EQ(sheet->protectionText(), LocalizedStrings::text("GrandPassView_Protection_Tpm"));
}

TEST_F(SettingsSheetTest, TheTwoStepEntryInstallsOrChangesAndThenCloses) {
    open(MasterPasswordState::disabled);
    sheet->turnOn();
    EXPECT_EQ(sheet->doubleInputPurpose(), SettingsSheetModel::Install);
    typeTwice("135790");
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    EXPECT_EQ(fixture->recorder->actions[0].as<AppAction::setupMasterPassword>()->password.reveal(), "135790");
    EXPECT_EQ(sheet->doubleInputPurpose(), SettingsSheetModel::None);
    fixture->sent();

    fixture->drive(AppAction::updateMasterPasswordState{MasterPasswordState::enabled});
    EXPECT_TRUE(sheet->masterPasswordEnabled());
    sheet->change();
    EXPECT_EQ(sheet->doubleInput()->filledCount(), 0) << "a new entry starts empty";
    typeTwice("246801");
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    EXPECT_EQ(fixture->recorder->actions[0].as<AppAction::changeMasterPassword>()->password.reveal(), "246801");
    fixture->sent();

    EXPECT_TRUE(sheet->doubleInput()->holdsNothing()) << "the entry closed after handing on the password";

    sheet->change();
    sheet->doubleInput()->type(QStringLiteral("246801"));
    sheet->closeDoubleInput();
    EXPECT_TRUE(fixture->sent().empty());
    EXPECT_TRUE(sheet->doubleInput()->holdsNothing()) << "a first entry is not kept past the close";
}

TEST_F(SettingsSheetTest, TurningOffAsksFirstAndBiometryMovesOnlyWithTheState) {
    open(MasterPasswordState::enabled);
    sheet->askToTurnOff();
    EXPECT_TRUE(sheet->disableConfirmationShown());
    sheet->cancelTurnOff();
    EXPECT_TRUE(fixture->sent().empty());
    sheet->askToTurnOff();
    sheet->confirmTurnOff();
    EXPECT_EQ(fixture->sent(), std::vector<std::string>{"disableMasterPassword"});

    sheet->setBiometry(true);
    EXPECT_EQ(fixture->sent().size(), 1U);
    EXPECT_FALSE(sheet->biometryEnabled());
    fixture->drive(AppAction::updateMasterPasswordState{MasterPasswordState::enabledWithBio});
    EXPECT_TRUE(sheet->biometryEnabled());
}

// The prompt keeps the password while it is checked and nothing once it is accepted; closing
// the sheet wipes whatever was typed into the prompt or the two-step entry.
TEST_F(SettingsSheetTest, NothingTypedIsKeptOnceAcceptedOrOnceTheSheetCloses) {
    open(MasterPasswordState::enabled);
    sheet->prompt()->type(QStringLiteral("111111"));
    EXPECT_FALSE(sheet->prompt()->holdsNothing());
    fixture->drive(AppAction::hideMasterPasswordInput{});
    EXPECT_TRUE(sheet->prompt()->holdsNothing());

    open(MasterPasswordState::enabled);
    sheet->prompt()->type(QStringLiteral("11"));
    sheet->close();
    EXPECT_TRUE(sheet->prompt()->holdsNothing());
    sheet->change();
    sheet->doubleInput()->type(QStringLiteral("2468"));
    sheet->close();
    EXPECT_TRUE(sheet->doubleInput()->holdsNothing());
}

TEST_F(SettingsSheetTest, ThePromptSendsThePasswordAndABlockedPasswordsAlertCloses) {
    open(MasterPasswordState::enabled);
    sheet->prompt()->type(QStringLiteral("111111"));
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    EXPECT_EQ(fixture->recorder->actions[0].as<AppAction::enterMasterPasswordSettings>()->password.reveal(), "111111");
    fixture->sent();

    fixture->drive(AppAction::updateMasterPasswordError{MasterPassAuthError::invalidPass{4}});
    EXPECT_TRUE(sheet->prompt()->isError());
    fixture->drive(AppAction::handleError{AnyError(TextError("blocked"))});
    EXPECT_TRUE(sheet->alertShown());
    sheet->alertEscapePressed();
    EXPECT_EQ(fixture->sent(), std::vector<std::string>{"hideAlert"});
    EXPECT_FALSE(sheet->alertShown());
}

} // namespace
} // namespace keyvane::views::testing
