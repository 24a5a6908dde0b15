#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// One entry per fixed text: the accessor's name and the key it is looked up by.
#define KEYVANE_LOCALIZED_STRINGS(X) \
    X(aboutAppViewCallButtonLabel, "AboutAppView_CallButton_Label") \
    X(aboutAppViewCompany, "AboutAppView_Company") \
    X(aboutAppViewLinkButtonFAQLabel, "AboutAppView_LinkButton_FAQ_Label") \
    X(aboutAppViewLinkButtonPrivacyPolicyLabel, "AboutAppView_LinkButton_PrivacyPolicy_Label") \
    X(aboutAppViewLinkButtonUserAgreementLabel, "AboutAppView_LinkButton_UserAgreement_Label") \
    X(appName, "AppName") \
    X(aboutDeviceInfoDeleteButtonLabel, "AboutDeviceInfo_DeleteButton_Label") \
    X(aboutDeviceInfoFreeMemoryKey, "AboutDeviceInfo_FreeMemory_Key") \
    X(aboutDeviceInfoModelKey, "AboutDeviceInfo_Model_Key") \
    X(aboutDeviceInfoNameKey, "AboutDeviceInfo_Name_Key") \
    X(aboutDeviceInfoSerialNumberKey, "AboutDeviceInfo_SerialNumber_Key") \
    X(aboutDeviceInfoTitle, "AboutDeviceInfo_Title") \
    X(alertDeleteDeviceInfoDeleteButtonLabel, "Alert_DeleteDeviceInfo_DeleteButton_Label") \
    X(alertDeleteDeviceInfoDescription, "Alert_DeleteDeviceInfo_Description") \
    X(alertDeleteDeviceInfoTitle, "Alert_DeleteDeviceInfo_Title") \
    X(actionCancelLabel, "Action_Cancel_Label") \
    X(actionMoreDetails, "Action_MoreDetails") \
    X(alertKeyDeleteTitle, "Alert_KeyDelete_Title") \
    X(keysChooseDeleteDescription, "KeysChoose_Delete_Description") \
    X(passkeysScreenEmptyViewDescription, "PasskeysScreen_EmptyView_Description") \
    X(passkeysScreenEmptyViewTitle, "PasskeysScreen_EmptyView_Title") \
    X(passkeysScreenMoreButtonMenuAboutAppLabel, "PasskeysScreen_MoreButton_Menu_AboutApp_Label") \
    X(passkeysScreenMoreButtonMenuGrandPassLabel, "PasskeysScreen_MoreButton_Menu_GrandPass_Label") \
    X(passkeysScreenSearchViewNotFoundDescription, "PasskeysScreen_SearchView_NotFound_Description") \
    X(passkeysScreenSearchViewNotFoundTitle, "PasskeysScreen_SearchView_NotFound_Title") \
    X(passkeysScreenSyncButtonLabel, "PasskeysScreen_SyncButton_Label") \
    X(passkeysAllPasskeysName, "Passkeys_AllPasskeys_Name") \
    X(varnelPasskeysEmptyDescription, "Varnel_Passkeys_Empty_Description") \
    X(alertBiometryNotAvailableDescription, "Alert_Biometry_NotAvailable_Description") \
    X(alertBiometryNotAvailableTitle, "Alert_Biometry_NotAvailable_Title") \
    X(alertGrandPassBlockedDescription, "Alert_GrandPassBlocked_Description") \
    X(alertGrandPassBlockedTitle, "Alert_GrandPassBlocked_Title") \
    X(alertPasskeyNotFoundDescription, "Alert_PasskeyNotFound_Description") \
    X(alertPasskeyNotFoundTitle, "Alert_PasskeyNotFound_Title") \
    X(alertPinBlockedDescription, "Alert_PinBlocked_Description") \
    X(alertPinBlockedTitle, "Alert_PinBlocked_Title") \
    X(alertPinHasChangedDescription, "Alert_PinHasChanged_Description") \
    X(alertPinHasChangedTitle, "Alert_PinHasChanged_Title") \
    X(alertPinNotSavedLabel, "Alert_PinNotSaved_Label") \
    X(alertPinNotSavedTitle, "Alert_PinNotSaved_Title") \
    X(alertVarnelLostDescription, "Alert_VarnelLost_Description") \
    X(alertVarnelLostTitle, "Alert_VarnelLost_Title") \
    X(alertUnknownErrorDescription, "Alert_UnknownError_Description") \
    X(alertUnknownErrorTitle, "Alert_UnknownError_Title") \
    X(onboardingPayAttentionDescription, "Onboarding_PayAttention_Description") \
    X(onboardingPayAttentionTitle, "Onboarding_PayAttention_Title") \
    X(passkeyRegistrationAlertReAddPasskeyDescription, "PasskeyRegistration_Alert_ReAddPasskey_Description") \
    X(passkeyRegistrationAlertReAddPasskeyTitle, "PasskeyRegistration_Alert_ReAddPasskey_Title") \
    X(passkeysScreenTimeIsUpDescription, "PasskeysScreen_TimeIsUp_Description") \
    X(passkeysScreenTimeIsUpTitle, "PasskeysScreen_TimeIsUp_Title") \
    X(alertCancelButtonLabel, "Alert_CancelButton_Label") \
    X(alertChooseButtonLabel, "Alert_ChooseButton_Label") \
    X(alertDoneButtonLabel, "Alert_DoneButton_Label") \
    X(alertPinBlockedMoreInfoButtonLabel, "Alert_PinBlocked_MoreInfoButton_Label") \
    X(chooseVarnelEmptyViewDescription, "ChooseVarnel_EmptyView_Description") \
    X(chooseVarnelEmptyViewTitle, "ChooseVarnel_EmptyView_Title") \
    X(enterGrandPassSwitchToPinButtonLabel, "EnterGrandPass_SwitchToPinButton_Label") \
    X(sheetViewCancelButtonLabel, "SheetView_CancelButton_Label") \
    X(varnelAwaitTitle, "VarnelAwait_Title") \
    X(varnelAwaitToastOtherVarnelDescription, "VarnelAwait_Toast_OtherVarnel_Description") \
    X(enterPinCodeContinueButtonLabel, "EnterPinCode_ContinueButton_Label") \
    X(enterPinCodeInputPlaceholder, "EnterPinCode_Input_Placeholder") \
    X(chooseVarnelNonSupportedSectionTitle, "ChooseVarnel_NonSupportedSection_Title") \
    X(chooseVarnelTitle, "ChooseVarnel_Title") \
    X(varnelTouchAuthorizationViewDescription, "VarnelTouchAuthorizationView_Description") \
    X(varnelTouchAuthorizationViewTitle, "VarnelTouchAuthorizationView_Title") \
    X(enterCodePassViewTitleEnter, "enterCodePassView_Title_Enter") \
    X(enterCodePassViewTitleRepeat, "enterCodePassView_Title_Repeat") \
    X(enterGrandPassViewFootnote, "EnterGrandPassView_Footnote") \
    X(grandPassViewAlertDisableGrandPassCancel, "GrandPassView_Alert_DisableGrandPass_Cancel") \
    X(grandPassViewAlertDisableGrandPassDescription, "GrandPassView_Alert_DisableGrandPass_Description") \
    X(grandPassViewAlertDisableGrandPassTitle, "GrandPassView_Alert_DisableGrandPass_Title") \
    X(grandPassViewDescription, "GrandPassView_Description") \
    X(grandPassViewDisableButtonLabel, "GrandPassView_DisableButton_Label") \
    X(grandPassViewEditButtonLabel, "GrandPassView_EditButton_Label") \
    X(grandPassViewFootnote, "GrandPassView_Footnote") \
    X(grandPassViewTitle, "GrandPassView_Title") \
    X(grandPassViewUseBiometryLabel, "GrandPassView_UseBiometry_Label") \
    X(onboardingTurnOnButtonLabel, "Onboarding_TurnOnButton_Label") \
    X(onboardingAppFuncButtonLabel, "Onboarding_AppFunc_Button_Label") \
    X(onboardingAppFuncDesription, "Onboarding_AppFunc_Desription") \
    X(onboardingContinueButtonLabel, "Onboarding_ContinueButton_Label") \
    X(onboardingFastAuthDescription, "Onboarding_FastAuth_Description") \
    X(onboardingFastAuthTitle, "Onboarding_FastAuth_Title") \
    X(onboardingGrandPasswordDescription, "Onboarding_GrandPassword_Description") \
    X(onboardingGrandPasswordTitle, "Onboarding_GrandPassword_Title") \
    X(onboardingNotNowButtonLabel, "Onboarding_NotNowButton_Label") \
    X(onboardingReadyToGoAboutAppHintDescription, "Onboarding_ReadyToGo_AboutAppHint_Description") \
    X(onboardingReadyToGoAboutAppHintTitle, "Onboarding_ReadyToGo_AboutAppHint_Title") \
    X(onboardingReadyToGoButtonLabel, "Onboarding_ReadyToGo_Button_Label") \
    X(onboardingReadyToGoTitle, "Onboarding_ReadyToGo_Title") \
    X(passkeyRegistrationButtonContinue, "PasskeyRegistration_Button_Continue") \
    X(passkeysScreenSearchFieldPlaceholder, "PasskeysScreen_SearchField_Placeholder")

namespace keyvane {

// The one place where user-visible wording comes from. The program holds only the keys; the
// texts live in id-based Qt Linguist translations compiled into this library. A key without a
// translation shows as the key itself, so a missing text is visible rather than blank.
//
// Each fixed text is looked up on its first read and kept for the life of the process, so a
// language change while the program runs does not change a text already shown. First reads
// may race from any thread; each text is still computed once.
class LocalizedStrings {
public:
    LocalizedStrings() = delete;

#define KEYVANE_DECLARE_LOCALIZED_STRING(name, key) static const QString& name();
    KEYVANE_LOCALIZED_STRINGS(KEYVANE_DECLARE_LOCALIZED_STRING)
#undef KEYVANE_DECLARE_LOCALIZED_STRING

    // "<available> of <total>"-style text for token details; both arguments are already
    // rendered for display. Looked up anew at each call.
    static QString aboutDeviceInfoFreeMemoryValue(const QString& available, const QString& total);

    // A key that a view looks up in place, anew at each call.
    static QString text(const char* key);
    // A key whose text holds %1, %2, ... placeholders, filled with the arguments in order.
    static QString format(const char* key, const QStringList& arguments);
    // A key whose text counts something: the translation's plural form for the count, as the
    // language's grammar chooses it ("1 passkey", "2 passkeys"), with %n replaced by the count.
    // Looked up anew at each call.
    static QString counted(const char* key, int count);

    // Fills %1 to %99 with the arguments in one pass. Placeholder-like text inside an argument
    // (a token label may well contain "%1") is copied as it is, never substituted again; a
    // placeholder without an argument stays as written.
    static QString substitute(const QString& format, const QStringList& arguments);

    // Loads the shipped translations for the user's languages, once. Every lookup calls it
    // first; the program entry calls it on the main thread before the first window so the
    // translations also take part in the application's own lookups.
    static void installTranslations();

    // The keys of the fixed texts, in table order.
    static const std::vector<const char*>& constantKeys();
    // The keys that are formatted or looked up in place by the views, besides the fixed texts.
    static const std::vector<const char*>& inPlaceKeys();
    // The keys of counted(): each is a plural message (numerus forms) in every translation.
    static const std::vector<const char*>& countedKeys();
};

} // namespace keyvane
