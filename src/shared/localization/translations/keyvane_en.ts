<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name></name>
    <message id="AboutAppView_CallButton_Label">
        <source>AboutAppView_CallButton_Label</source>
        <translation>Call support</translation>
    </message>
    <message id="AboutAppView_Company">
        <source>AboutAppView_Company</source>
        <translation>Keyvane developers</translation>
    </message>
    <message id="AboutAppView_LinkButton_FAQ_Label">
        <source>AboutAppView_LinkButton_FAQ_Label</source>
        <translation>Frequently asked questions</translation>
    </message>
    <message id="AboutAppView_LinkButton_PrivacyPolicy_Label">
        <source>AboutAppView_LinkButton_PrivacyPolicy_Label</source>
        <translation>Privacy policy</translation>
    </message>
    <message id="AboutAppView_LinkButton_UserAgreement_Label">
        <source>AboutAppView_LinkButton_UserAgreement_Label</source>
        <translation>User agreement</translation>
    </message>
    <message id="AppName">
        <source>AppName</source>
        <translation>Keyvane</translation>
    </message>
    <message id="AboutDeviceInfo_DeleteButton_Label">
        <source>AboutDeviceInfo_DeleteButton_Label</source>
        <translation>Remove token</translation>
    </message>
    <message id="AboutDeviceInfo_FreeMemory_Key">
        <source>AboutDeviceInfo_FreeMemory_Key</source>
        <translation>Free memory</translation>
    </message>
    <message id="AboutDeviceInfo_Model_Key">
        <source>AboutDeviceInfo_Model_Key</source>
        <translation>Model</translation>
    </message>
    <message id="AboutDeviceInfo_Name_Key">
        <source>AboutDeviceInfo_Name_Key</source>
        <translation>Name</translation>
    </message>
    <message id="AboutDeviceInfo_SerialNumber_Key">
        <source>AboutDeviceInfo_SerialNumber_Key</source>
        <translation>Serial number</translation>
    </message>
    <message id="AboutDeviceInfo_Title">
        <source>AboutDeviceInfo_Title</source>
        <translation>Token details</translation>
    </message>
    <message id="Alert_DeleteDeviceInfo_DeleteButton_Label">
        <source>Alert_DeleteDeviceInfo_DeleteButton_Label</source>
        <translation>Remove</translation>
    </message>
    <message id="Alert_DeleteDeviceInfo_Description">
        <source>Alert_DeleteDeviceInfo_Description</source>
        <translation>Keyvane forgets this token, its saved PIN and the list of its passkeys on this computer. The passkeys on the token itself are kept.</translation>
    </message>
    <message id="Alert_DeleteDeviceInfo_Title">
        <source>Alert_DeleteDeviceInfo_Title</source>
        <translation>Remove this token?</translation>
    </message>
    <message id="Action_Cancel_Label">
        <source>Action_Cancel_Label</source>
        <translation>Cancel</translation>
    </message>
    <message id="Action_MoreDetails">
        <source>Action_MoreDetails</source>
        <translation>More details</translation>
    </message>
    <message id="Alert_KeyDelete_Title">
        <source>Alert_KeyDelete_Title</source>
        <translation>Delete this passkey?</translation>
    </message>
    <message id="KeysChoose_Delete_Description">
        <source>KeysChoose_Delete_Description</source>
        <translation>Deleted passkeys are removed from the token. You can no longer sign in with them.</translation>
    </message>
    <message id="PasskeysScreen_EmptyView_Description">
        <source>PasskeysScreen_EmptyView_Description</source>
        <translation>Connect a token and synchronise to see the passkeys stored on it.</translation>
    </message>
    <message id="PasskeysScreen_EmptyView_Title">
        <source>PasskeysScreen_EmptyView_Title</source>
        <translation>No passkeys yet</translation>
    </message>
    <message id="PasskeysScreen_MoreButton_Menu_AboutApp_Label">
        <source>PasskeysScreen_MoreButton_Menu_AboutApp_Label</source>
        <translation>About Keyvane</translation>
    </message>
    <message id="PasskeysScreen_MoreButton_Menu_GrandPass_Label">
        <source>PasskeysScreen_MoreButton_Menu_GrandPass_Label</source>
        <translation>Master password</translation>
    </message>
    <message id="PasskeysScreen_SearchView_NotFound_Description">
        <source>PasskeysScreen_SearchView_NotFound_Description</source>
        <translation>No passkey matches your search. Check the spelling or try another site or user name.</translation>
    </message>
    <message id="PasskeysScreen_SearchView_NotFound_Title">
        <source>PasskeysScreen_SearchView_NotFound_Title</source>
        <translation>Nothing found</translation>
    </message>
    <message id="PasskeysScreen_SyncButton_Label">
        <source>PasskeysScreen_SyncButton_Label</source>
        <translation>Synchronise</translation>
    </message>
    <message id="Passkeys_AllPasskeys_Name">
        <source>Passkeys_AllPasskeys_Name</source>
        <translation>All passkeys</translation>
    </message>
    <message id="Varnel_Passkeys_Empty_Description">
        <source>Varnel_Passkeys_Empty_Description</source>
        <translation>There are no passkeys on this token.</translation>
    </message>
    <message id="Alert_Biometry_NotAvailable_Description">
        <source>Alert_Biometry_NotAvailable_Description</source>
        <translation>Biometric unlock cannot be used on this computer. Enter your master password instead.</translation>
    </message>
    <message id="Alert_Biometry_NotAvailable_Title">
        <source>Alert_Biometry_NotAvailable_Title</source>
        <translation>Biometrics not available</translation>
    </message>
    <message id="Alert_GrandPassBlocked_Description">
        <source>Alert_GrandPassBlocked_Description</source>
        <translation>The master password was entered wrongly too many times. The saved PINs have been erased; log in to your tokens with their PINs and set a new master password.</translation>
    </message>
    <message id="Alert_GrandPassBlocked_Title">
        <source>Alert_GrandPassBlocked_Title</source>
        <translation>Master password blocked</translation>
    </message>
    <message id="Alert_PasskeyNotFound_Description">
        <source>Alert_PasskeyNotFound_Description</source>
        <translation>The passkey was not found on the connected token. It may have been deleted.</translation>
    </message>
    <message id="Alert_PasskeyNotFound_Title">
        <source>Alert_PasskeyNotFound_Title</source>
        <translation>Passkey not found</translation>
    </message>
    <message id="Alert_PinBlocked_Description">
        <source>Alert_PinBlocked_Description</source>
        <translation>The PIN was entered wrongly too many times and the token is locked. Unlock it with the token's administrator (PUK) code before using it again.</translation>
    </message>
    <message id="Alert_PinBlocked_Title">
        <source>Alert_PinBlocked_Title</source>
        <translation>PIN locked</translation>
    </message>
    <message id="Alert_PinHasChanged_Description">
        <source>Alert_PinHasChanged_Description</source>
        <translation>The PIN of this token has changed. Enter the new PIN to log in.</translation>
    </message>
    <message id="Alert_PinHasChanged_Title">
        <source>Alert_PinHasChanged_Title</source>
        <translation>PIN has changed</translation>
    </message>
    <message id="Alert_PinNotSaved_Label">
        <source>Alert_PinNotSaved_Label</source>
        <translation>No PIN is saved for this token. Enter its PIN to log in.</translation>
    </message>
    <message id="Alert_PinNotSaved_Title">
        <source>Alert_PinNotSaved_Title</source>
        <translation>PIN not saved</translation>
    </message>
    <message id="Alert_VarnelLost_Description">
        <source>Alert_VarnelLost_Description</source>
        <translation>The connection to the token was lost. Make sure it is plugged in and try again.</translation>
    </message>
    <message id="Alert_VarnelLost_Title">
        <source>Alert_VarnelLost_Title</source>
        <translation>Token disconnected</translation>
    </message>
    <message id="Alert_UnknownError_Description">
        <source>Alert_UnknownError_Description</source>
        <translation>Something went wrong. Please try again.</translation>
    </message>
    <message id="Alert_UnknownError_Title">
        <source>Alert_UnknownError_Title</source>
        <translation>An error occurred</translation>
    </message>
    <message id="Onboarding_PayAttention_Description">
        <source>Onboarding_PayAttention_Description</source>
        <translation>Without the Keyvane extension, browsers and other programs cannot use the passkeys on your token. You can turn it on later.</translation>
    </message>
    <message id="Onboarding_PayAttention_Title">
        <source>Onboarding_PayAttention_Title</source>
        <translation>Please note</translation>
    </message>
    <message id="PasskeyRegistration_Alert_ReAddPasskey_Description">
        <source>PasskeyRegistration_Alert_ReAddPasskey_Description</source>
        <translation>This token already holds a passkey for this site and user name. Choose another token or cancel.</translation>
    </message>
    <message id="PasskeyRegistration_Alert_ReAddPasskey_Title">
        <source>PasskeyRegistration_Alert_ReAddPasskey_Title</source>
        <translation>Passkey already exists</translation>
    </message>
    <message id="PasskeysScreen_TimeIsUp_Description">
        <source>PasskeysScreen_TimeIsUp_Description</source>
        <translation>The token was not touched in time. Start again and touch the token when it blinks.</translation>
    </message>
    <message id="PasskeysScreen_TimeIsUp_Title">
        <source>PasskeysScreen_TimeIsUp_Title</source>
        <translation>Time is up</translation>
    </message>
    <message id="Alert_CancelButton_Label">
        <source>Alert_CancelButton_Label</source>
        <translation>Cancel</translation>
    </message>
    <message id="Alert_ChooseButton_Label">
        <source>Alert_ChooseButton_Label</source>
        <translation>Choose</translation>
    </message>
    <message id="Alert_DoneButton_Label">
        <source>Alert_DoneButton_Label</source>
        <translation>OK</translation>
    </message>
    <message id="Alert_PinBlocked_MoreInfoButton_Label">
        <source>Alert_PinBlocked_MoreInfoButton_Label</source>
        <translation>More information</translation>
    </message>
    <message id="ChooseVarnel_EmptyView_Description">
        <source>ChooseVarnel_EmptyView_Description</source>
        <translation>Connect a token to this computer.</translation>
    </message>
    <message id="ChooseVarnel_EmptyView_Title">
        <source>ChooseVarnel_EmptyView_Title</source>
        <translation>No tokens connected</translation>
    </message>
    <message id="EnterGrandPass_SwitchToPinButton_Label">
        <source>EnterGrandPass_SwitchToPinButton_Label</source>
        <translation>Use PIN instead</translation>
    </message>
    <message id="SheetView_CancelButton_Label">
        <source>SheetView_CancelButton_Label</source>
        <translation>Cancel</translation>
    </message>
    <message id="VarnelAwait_Title">
        <source>VarnelAwait_Title</source>
        <translation>Connect your token</translation>
    </message>
    <message id="VarnelAwait_Toast_OtherVarnel_Description">
        <source>VarnelAwait_Toast_OtherVarnel_Description</source>
        <translation>Wrong token connected</translation>
    </message>
    <message id="EnterPinCode_ContinueButton_Label">
        <source>EnterPinCode_ContinueButton_Label</source>
        <translation>Continue</translation>
    </message>
    <message id="EnterPinCode_Input_Placeholder">
        <source>EnterPinCode_Input_Placeholder</source>
        <translation>PIN</translation>
    </message>
    <message id="ChooseVarnel_NonSupportedSection_Title">
        <source>ChooseVarnel_NonSupportedSection_Title</source>
        <translation>Not supported</translation>
    </message>
    <message id="ChooseVarnel_Title">
        <source>ChooseVarnel_Title</source>
        <translation>Choose a token</translation>
    </message>
    <message id="VarnelTouchAuthorizationView_Description">
        <source>VarnelTouchAuthorizationView_Description</source>
        <translation>Touch the token to confirm.</translation>
    </message>
    <message id="VarnelTouchAuthorizationView_Title">
        <source>VarnelTouchAuthorizationView_Title</source>
        <translation>Touch your token</translation>
    </message>
    <message id="enterCodePassView_Title_Enter">
        <source>enterCodePassView_Title_Enter</source>
        <translation>Enter master password</translation>
    </message>
    <message id="enterCodePassView_Title_Repeat">
        <source>enterCodePassView_Title_Repeat</source>
        <translation>Repeat master password</translation>
    </message>
    <message id="EnterGrandPassView_Footnote">
        <source>EnterGrandPassView_Footnote</source>
        <translation>The master password unlocks the saved PINs of your tokens. It cannot be recovered if you forget it.</translation>
    </message>
    <message id="GrandPassView_Alert_DisableGrandPass_Cancel">
        <source>GrandPassView_Alert_DisableGrandPass_Cancel</source>
        <translation>Keep</translation>
    </message>
    <message id="GrandPassView_Alert_DisableGrandPass_Description">
        <source>GrandPassView_Alert_DisableGrandPass_Description</source>
        <translation>The saved PINs of all tokens will be erased, and you will log in to each token with its PIN.</translation>
    </message>
    <message id="GrandPassView_Alert_DisableGrandPass_Title">
        <source>GrandPassView_Alert_DisableGrandPass_Title</source>
        <translation>Turn off the master password?</translation>
    </message>
    <message id="GrandPassView_Description">
        <source>GrandPassView_Description</source>
        <translation>A master password lets you log in to your tokens without typing their PINs: Keyvane saves each PIN encrypted on this computer.</translation>
    </message>
    <message id="GrandPassView_DisableButton_Label">
        <source>GrandPassView_DisableButton_Label</source>
        <translation>Turn off master password</translation>
    </message>
    <message id="GrandPassView_EditButton_Label">
        <source>GrandPassView_EditButton_Label</source>
        <translation>Change master password</translation>
    </message>
    <message id="GrandPassView_Footnote">
        <source>GrandPassView_Footnote</source>
        <translation>After five wrong attempts the saved PINs are erased.</translation>
    </message>
    <message id="GrandPassView_Protection_Tpm">
        <source>GrandPassView_Protection_Tpm</source>
        <translation>The saved PINs are sealed with a key that this computer's TPM keeps: it cannot be copied off this computer.</translation>
    </message>
    <message id="GrandPassView_Protection_File">
        <source>GrandPassView_Protection_File</source>
        <translation>This computer has no TPM: the saved PINs are sealed with a key file that any program running as you can read.</translation>
    </message>
    <message id="BiometricPrompt_Title">
        <source>BiometricPrompt_Title</source>
        <translation>Touch the fingerprint sensor</translation>
    </message>
    <message id="GrandPassView_Title">
        <source>GrandPassView_Title</source>
        <translation>Master password</translation>
    </message>
    <message id="GrandPassView_UseBiometry_Label">
        <source>GrandPassView_UseBiometry_Label</source>
        <translation>Use biometrics</translation>
    </message>
    <message id="Onboarding_TurnOnButton_Label">
        <source>Onboarding_TurnOnButton_Label</source>
        <translation>Turn on</translation>
    </message>
    <message id="Onboarding_AppFunc_Button_Label">
        <source>Onboarding_AppFunc_Button_Label</source>
        <translation>Turn on the extension</translation>
    </message>
    <message id="Onboarding_AppFunc_Desription">
        <source>Onboarding_AppFunc_Desription</source>
        <translation>Turn on the Keyvane extension so that browsers and programs can create and use passkeys on your token.</translation>
    </message>
    <message id="Onboarding_ContinueButton_Label">
        <source>Onboarding_ContinueButton_Label</source>
        <translation>Continue</translation>
    </message>
    <message id="Onboarding_FastAuth_Description">
        <source>Onboarding_FastAuth_Description</source>
        <translation>Unlock the saved PINs with biometrics instead of typing the master password.</translation>
    </message>
    <message id="Onboarding_FastAuth_Title">
        <source>Onboarding_FastAuth_Title</source>
        <translation>Fast sign-in</translation>
    </message>
    <message id="Onboarding_GrandPassword_Description">
        <source>Onboarding_GrandPassword_Description</source>
        <translation>Set a master password to log in to your tokens without typing their PINs each time.</translation>
    </message>
    <message id="Onboarding_GrandPassword_Title">
        <source>Onboarding_GrandPassword_Title</source>
        <translation>Master password</translation>
    </message>
    <message id="Onboarding_NotNowButton_Label">
        <source>Onboarding_NotNowButton_Label</source>
        <translation>Not now</translation>
    </message>
    <message id="Onboarding_ReadyToGo_AboutAppHint_Description">
        <source>Onboarding_ReadyToGo_AboutAppHint_Description</source>
        <translation>You can find help and contacts in the About Keyvane menu.</translation>
    </message>
    <message id="Onboarding_ReadyToGo_AboutAppHint_Title">
        <source>Onboarding_ReadyToGo_AboutAppHint_Title</source>
        <translation>Need help?</translation>
    </message>
    <message id="Onboarding_ReadyToGo_Button_Label">
        <source>Onboarding_ReadyToGo_Button_Label</source>
        <translation>Start</translation>
    </message>
    <message id="Onboarding_ReadyToGo_Title">
        <source>Onboarding_ReadyToGo_Title</source>
        <translation>All set</translation>
    </message>
    <message id="PasskeyRegistration_Button_Continue">
        <source>PasskeyRegistration_Button_Continue</source>
        <translation>Continue</translation>
    </message>
    <message id="PasskeysScreen_SearchField_Placeholder">
        <source>PasskeysScreen_SearchField_Placeholder</source>
        <translation>Search</translation>
    </message>
    <message id="AboutDeviceInfo_FreeMemory_Value">
        <source>AboutDeviceInfo_FreeMemory_Value</source>
        <translation>%1 of %2</translation>
    </message>
    <message id="EnterGrandPass_OperationFailed_Error">
        <source>EnterGrandPass_OperationFailed_Error</source>
        <translation>The master password could not be checked. Try again.</translation>
    </message>
    <message id="EnterGrandPass_Title_Error" numerus="yes">
        <source>EnterGrandPass_Title_Error</source>
        <translation>
            <numerusform>Wrong master password. %n attempt left.</numerusform>
            <numerusform>Wrong master password. %n attempts left.</numerusform>
        </translation>
    </message>
    <message id="EnterPinCode_InvalidPinMessage" numerus="yes">
        <source>EnterPinCode_InvalidPinMessage</source>
        <translation>
            <numerusform>Wrong PIN. %n attempt left.</numerusform>
            <numerusform>Wrong PIN. %n attempts left.</numerusform>
        </translation>
    </message>
    <message id="EnterPinCode_InvalidPinMessage_Unknown">
        <source>EnterPinCode_InvalidPinMessage_Unknown</source>
        <translation>Wrong PIN.</translation>
    </message>
    <message id="EnterPinCode_ConnectionMessage">
        <source>EnterPinCode_ConnectionMessage</source>
        <translation>Connected: %1</translation>
    </message>
    <message id="VarnelAwait_Description">
        <source>VarnelAwait_Description</source>
        <translation>Connect the token %1</translation>
    </message>
    <message id="VarnelTouchAuthorizationView_Footnote" numerus="yes">
        <source>VarnelTouchAuthorizationView_Footnote</source>
        <translation>
            <numerusform>%n second left</numerusform>
            <numerusform>%n seconds left</numerusform>
        </translation>
    </message>
    <message id="%lld">
        <source>%lld</source>
        <translation>%1</translation>
    </message>
    <message id="Alert_KeysDelete_Title" numerus="yes">
        <source>Alert_KeysDelete_Title</source>
        <translation>
            <numerusform>Delete %n passkey?</numerusform>
            <numerusform>Delete %n passkeys?</numerusform>
        </translation>
    </message>
    <message id="KeysChoose_DeleteButton" numerus="yes">
        <source>KeysChoose_DeleteButton</source>
        <translation>
            <numerusform>Delete (%n)</numerusform>
            <numerusform>Delete (%n)</numerusform>
        </translation>
    </message>
    <message id="PasskeysView_AllCount" numerus="yes">
        <source>PasskeysView_AllCount</source>
        <translation>
            <numerusform>%n passkey</numerusform>
            <numerusform>%n passkeys</numerusform>
        </translation>
    </message>
    <message id="PasskeysView_SelectedCount" numerus="yes">
        <source>PasskeysView_SelectedCount</source>
        <translation>
            <numerusform>, %n selected</numerusform>
            <numerusform>, %n selected</numerusform>
        </translation>
    </message>
    <message id="AboutAppView_Version">
        <source>AboutAppView_Version</source>
        <translation>Version %1</translation>
    </message>
    <message id="ExtensionTurnOn_Confirmation_Title">
        <source>ExtensionTurnOn_Confirmation_Title</source>
        <translation>Answer passkey requests?</translation>
    </message>
    <message id="ExtensionTurnOn_Confirmation_Description">
        <source>ExtensionTurnOn_Confirmation_Description</source>
        <translation>Let Keyvane answer passkey requests from other programs?</translation>
    </message>
    <message id="ExtensionTurnOn_Confirmation_AllowButton_Label">
        <source>ExtensionTurnOn_Confirmation_AllowButton_Label</source>
        <translation>Allow</translation>
    </message>
</context>
</TS>
