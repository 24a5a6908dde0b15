#include "shared/redux/AppAlert.h"

#include "LogCapture.h"

#include "shared/biometrics/LaContextError.h"
#include "shared/localization/LocalizedStrings.h"
#include "shared/passkeys/PasskeyManagerError.h"
#include "shared/pin_cache/AuthResult.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/TokenLoginManagerError.h"
#include "shared/redux/ExtensionError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keyvane {
namespace {

struct ErrorCase {
    std::string name;
    AnyError error;
    AppAlert expected;
};

TEST(AppAlertTest, EachErrorGivesItsAlert) {
    const std::vector<ErrorCase> cases = {
        {"Pkcs11Error.pinLocked", Pkcs11Error(Pkcs11Error::pinLocked{}), AppAlert::pinLocked},
        {"Pkcs11Error.incorrectPin", Pkcs11Error(Pkcs11Error::incorrectPin{2}), AppAlert::unknownError},
        {"Pkcs11Error.touchTimeExpired", Pkcs11Error(Pkcs11Error::touchTimeExpired{}), AppAlert::unknownError},
        {"Pkcs11Error.internalError", Pkcs11Error(Pkcs11Error::internalError{"C_Login", 1, {}, 0x30}),
         AppAlert::unknownError},
        {"TokenLoginManagerError.tokenNotFound", TokenLoginManagerError(TokenLoginManagerError::tokenNotFound{}),
         AppAlert::connectionLost},
        {"TokenLoginManagerError.pinLocked", TokenLoginManagerError(TokenLoginManagerError::pinLocked{}),
         AppAlert::pinLocked},
        {"TokenLoginManagerError.incorrectPin(2)", TokenLoginManagerError(TokenLoginManagerError::incorrectPin{2}),
         AppAlert::unknownError},
        {"TokenLoginManagerError.incorrectPin(unknown)",
         TokenLoginManagerError(TokenLoginManagerError::incorrectPin{std::nullopt}), AppAlert::unknownError},
        // The wrapped error of a general case is not looked into.
        {"TokenLoginManagerError.generalError(pinLocked)",
         TokenLoginManagerError(TokenLoginManagerError::generalError{"login(serial:pin:)", sourceLine(),
                                                                     Pkcs11Error(Pkcs11Error::pinLocked{})}),
         AppAlert::unknownError},
        {"PasskeyManagerError.tokenNotFound", PasskeyManagerError(PasskeyManagerError::tokenNotFound{}),
         AppAlert::connectionLost},
        {"PasskeyManagerError.credsNotFound", PasskeyManagerError(PasskeyManagerError::credsNotFound{}),
         AppAlert::credsNotFound},
        {"PasskeyManagerError.touchTimeExpired", PasskeyManagerError(PasskeyManagerError::touchTimeExpired{}),
         AppAlert::touchTimeExpired},
        {"PasskeyManagerError.generalError", PasskeyManagerError(PasskeyManagerError::generalError{"sign", 1, {}}),
         AppAlert::unknownError},
        {"AuthResult.masterPasswordBlocked", AuthResult(AuthResult::masterPasswordBlocked{}),
         AppAlert::masterPasswordBlocked},
        {"AuthResult.success", AuthResult(AuthResult::success{}), AppAlert::unknownError},
        {"AuthResult.invalidMasterPassword", AuthResult(AuthResult::invalidMasterPassword{3}), AppAlert::unknownError},
        {"ExtensionError.credsNotFound", ExtensionError(ExtensionError::credsNotFound{}), AppAlert::credsNotFound},
        {"ExtensionError.connectionLost", ExtensionError(ExtensionError::connectionLost{}), AppAlert::connectionLost},
        {"ExtensionError.bioNotAvailable", ExtensionError(ExtensionError::bioNotAvailable{}),
         AppAlert::bioNotAvailable},
        {"ExtensionError.pinNotCached", ExtensionError(ExtensionError::pinNotCached{}), AppAlert::pinNotCached},
        {"ExtensionError.credsAlreadyExists", ExtensionError(ExtensionError::credsAlreadyExists{}),
         AppAlert::credsAlreadyExists},
        {"ExtensionError.userDeniedExtensionRequest", ExtensionError(ExtensionError::userDeniedExtensionRequest{}),
         AppAlert::userDeniedExtensionRequest},
        {"LaContextError.bioNotAvailable", LaContextError(LaContextError::bioNotAvailable{}),
         AppAlert::bioNotAvailable},
        {"LaContextError.userRejectedBiometry", LaContextError(LaContextError::userRejectedBiometry{}),
         AppAlert::unknownError},
        {"LaContextError.bioNotEnrolled", LaContextError(LaContextError::bioNotEnrolled{}), AppAlert::unknownError},
        {"LaContextError.generalError", LaContextError(LaContextError::generalError{"f", 1, {}}),
         AppAlert::unknownError},
        {"TextError", TextError("Token not found"), AppAlert::unknownError},
        {"ForeignError", ForeignError("std::runtime_error", "disk full"), AppAlert::unknownError},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppAlert(c.error), c.expected) << c.name;
        // No error ever gives the PIN-changed alert; it is raised for its situation only.
        EXPECT_NE(AppAlert(c.error), AppAlert::pinChanged) << c.name;
    }
}

struct AlertCase {
    AppAlert alert;
    const char* titleKey;
    const char* messageKey;
    std::vector<AppAlert::Action> actions;
};

TEST(AppAlertTest, TextsAndButtonsOfEachAlert) {
    using Action = AppAlert::Action;
    const std::vector<AlertCase> cases = {
        {AppAlert::unknownError, "Alert_UnknownError_Title", "Alert_UnknownError_Description", {Action::done}},
        {AppAlert::credsNotFound, "Alert_PasskeyNotFound_Title", "Alert_PasskeyNotFound_Description",
         {Action::makeCancelRequest(true)}},
        {AppAlert::credsAlreadyExists, "PasskeyRegistration_Alert_ReAddPasskey_Title",
         "PasskeyRegistration_Alert_ReAddPasskey_Description", {Action::choose, Action::makeCancelRequest(false)}},
        {AppAlert::masterPasswordBlocked, "Alert_GrandPassBlocked_Title", "Alert_GrandPassBlocked_Description",
         {Action::done}},
        {AppAlert::bioNotAvailable, "Alert_Biometry_NotAvailable_Title", "Alert_Biometry_NotAvailable_Description",
         {Action::done}},
        {AppAlert::pinNotCached, "Alert_PinNotSaved_Title", "Alert_PinNotSaved_Label", {Action::done}},
        {AppAlert::connectionLost, "Alert_VarnelLost_Title", "Alert_VarnelLost_Description", {Action::done}},
        {AppAlert::pinLocked, "Alert_PinBlocked_Title", "Alert_PinBlocked_Description",
         {Action::openInstruction, Action::done}},
        {AppAlert::pinChanged, "Alert_PinHasChanged_Title", "Alert_PinHasChanged_Description", {Action::done}},
        {AppAlert::userDeniedExtensionRequest, "Onboarding_PayAttention_Title", "Onboarding_PayAttention_Description",
         {Action::done}},
        {AppAlert::touchTimeExpired, "PasskeysScreen_TimeIsUp_Title", "PasskeysScreen_TimeIsUp_Description",
         {Action::makeCancelRequest(true)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.alert));
        EXPECT_STREQ(c.alert.titleKey(), c.titleKey);
        EXPECT_STREQ(c.alert.messageKey(), c.messageKey);
        EXPECT_EQ(c.alert.title(), LocalizedStrings::text(c.titleKey));
        EXPECT_EQ(c.alert.message(), LocalizedStrings::text(c.messageKey));
        EXPECT_NE(c.alert.title(), QString::fromUtf8(c.titleKey)) << "title not translated";
        // The message is a sentence of its own, never a cut-off technical text.
        EXPECT_TRUE(c.alert.message().endsWith(u'.')) << c.alert.message().toStdString();
        EXPECT_EQ(c.alert.actions(), c.actions);
    }
}

TEST(AppAlertTest, ButtonIdentifiersAndLabels) {
    using Action = AppAlert::Action;
    struct ButtonCase {
        Action action;
        const char* id;
        const char* labelKey;
    };
    const ButtonCase cases[] = {
        {Action::makeCancelRequest(true), "cancelRequest", "Alert_DoneButton_Label"},
        {Action::makeCancelRequest(false), "cancelRequest", "Alert_CancelButton_Label"},
        {Action::done, "ok", "Alert_DoneButton_Label"},
        {Action::cancel, "cancel", "Alert_CancelButton_Label"},
        {Action::choose, "choose", "Alert_ChooseButton_Label"},
        {Action::openInstruction, "openInstruction", "Alert_PinBlocked_MoreInfoButton_Label"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.action));
        EXPECT_EQ(c.action.id(), c.id);
        EXPECT_STREQ(c.action.labelKey(), c.labelKey);
        EXPECT_EQ(c.action.label(), LocalizedStrings::text(c.labelKey));
    }
    EXPECT_NE(Action::makeCancelRequest(true), Action::makeCancelRequest(false));
}

// The alert shows its localised sentences only; what went wrong reaches the log, whole.
TEST(AppAlertTest, AReportedErrorIsLoggedWholeAndShownAsASentence) {
    const ForeignError error("std::runtime_error", "disk full writing /home/someone/.local/share/records.sqlite-wal");
    testing::LogCapture log;
    const AppAlert alert = AppAlert::reported(AnyError(error));
    EXPECT_EQ(alert, AppAlert::unknownError);
    EXPECT_NE(log.text().find(error.description()), std::string::npos) << log.text();
    EXPECT_NE(log.text().find("unknownError"), std::string::npos) << log.text();
    EXPECT_FALSE(alert.message().contains(QStringLiteral("disk full")));
}

} // namespace
} // namespace keyvane
