#include "shared/redux/AppAlert.h"

#include "shared/biometrics/LaContextError.h"
#include "shared/errors/CaseEnum.h"
#include "shared/localization/LocalizedStrings.h"
#include "shared/passkeys/PasskeyManagerError.h"
#include "shared/pin_cache/AuthResult.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/TokenLoginManagerError.h"
#include "shared/redux/ExtensionError.h"

#include <sstream>
#include <variant>

Q_LOGGING_CATEGORY(userErrorLog, "keyvane.errors")

namespace keyvane {

namespace {

// Tried in this order; the first recognised type decides, and its case gives the alert. The
// wrapped error of a general case is deliberately not looked into.
AppAlert::Kind alertFor(const AnyError& error) {
    if (const auto* pkcs11 = error.as<Pkcs11Error>()) {
        return pkcs11->is<Pkcs11Error::pinLocked>() ? AppAlert::pinLocked : AppAlert::unknownError;
    }
    if (const auto* login = error.as<TokenLoginManagerError>()) {
        return std::visit(Overloaded{
                              [](const TokenLoginManagerError::tokenNotFound&) { return AppAlert::connectionLost; },
                              [](const TokenLoginManagerError::pinLocked&) { return AppAlert::pinLocked; },
                              // A wrong PIN is shown under the PIN field, not as an alert.
                              [](const TokenLoginManagerError::incorrectPin&) { return AppAlert::unknownError; },
                              [](const TokenLoginManagerError::generalError&) { return AppAlert::unknownError; },
                          },
                          login->value);
    }
    if (const auto* passkeys = error.as<PasskeyManagerError>()) {
        return std::visit(Overloaded{
                              [](const PasskeyManagerError::tokenNotFound&) { return AppAlert::connectionLost; },
                              [](const PasskeyManagerError::credsNotFound&) { return AppAlert::credsNotFound; },
                              [](const PasskeyManagerError::touchTimeExpired&) { return AppAlert::touchTimeExpired; },
                              [](const PasskeyManagerError::generalError&) { return AppAlert::unknownError; },
                          },
                          passkeys->value);
    }
    if (const auto* auth = error.as<AuthResult>()) {
        return auth->is<AuthResult::masterPasswordBlocked>() ? AppAlert::masterPasswordBlocked : AppAlert::unknownError;
    }
    if (const auto* extension = error.as<ExtensionError>()) {
        return std::visit(
            Overloaded{
                [](const ExtensionError::credsNotFound&) { return AppAlert::credsNotFound; },
                [](const ExtensionError::connectionLost&) { return AppAlert::connectionLost; },
                [](const ExtensionError::bioNotAvailable&) { return AppAlert::bioNotAvailable; },
                [](const ExtensionError::pinNotCached&) { return AppAlert::pinNotCached; },
                [](const ExtensionError::credsAlreadyExists&) { return AppAlert::credsAlreadyExists; },
                [](const ExtensionError::userDeniedExtensionRequest&) { return AppAlert::userDeniedExtensionRequest; },
            },
            extension->value);
    }
    if (const auto* biometry = error.as<LaContextError>()) {
        return biometry->is<LaContextError::bioNotAvailable>() ? AppAlert::bioNotAvailable : AppAlert::unknownError;
    }
    return AppAlert::unknownError;
}

} // namespace

AppAlert::AppAlert(const AnyError& error) : kind_(alertFor(error)) {}

AppAlert AppAlert::reported(const AnyError& error) {
    const AppAlert alert(error);
    std::ostringstream kind;
    kind << alert;
    qCWarning(userErrorLog).noquote() << QStringLiteral("Alert %1 for: %2")
                                .arg(QString::fromStdString(kind.str()), QString::fromStdString(error.description()));
    return alert;
}

const char* AppAlert::titleKey() const {
    switch (kind_) {
    case unknownError:
        return "Alert_UnknownError_Title";
    case credsNotFound:
        return "Alert_PasskeyNotFound_Title";
    case credsAlreadyExists:
        return "PasskeyRegistration_Alert_ReAddPasskey_Title";
    case masterPasswordBlocked:
        return "Alert_GrandPassBlocked_Title";
    case bioNotAvailable:
        return "Alert_Biometry_NotAvailable_Title";
    case pinNotCached:
        return "Alert_PinNotSaved_Title";
    case connectionLost:
        return "Alert_VarnelLost_Title";
    case pinLocked:
        return "Alert_PinBlocked_Title";
    case pinChanged:
        return "Alert_PinHasChanged_Title";
    case userDeniedExtensionRequest:
        return "Onboarding_PayAttention_Title";
    case touchTimeExpired:
        return "PasskeysScreen_TimeIsUp_Title";
    }
    return "Alert_UnknownError_Title";
}

const char* AppAlert::messageKey() const {
    switch (kind_) {
    case unknownError:
        return "Alert_UnknownError_Description";
    case credsNotFound:
        return "Alert_PasskeyNotFound_Description";
    case credsAlreadyExists:
        return "PasskeyRegistration_Alert_ReAddPasskey_Description";
    case masterPasswordBlocked:
        return "Alert_GrandPassBlocked_Description";
    case bioNotAvailable:
        return "Alert_Biometry_NotAvailable_Description";
    case pinNotCached:
        return "Alert_PinNotSaved_Label";
    case connectionLost:
        return "Alert_VarnelLost_Description";
    case pinLocked:
        return "Alert_PinBlocked_Description";
    case pinChanged:
        return "Alert_PinHasChanged_Description";
    case userDeniedExtensionRequest:
        return "Onboarding_PayAttention_Description";
    case touchTimeExpired:
        return "PasskeysScreen_TimeIsUp_Description";
    }
    return "Alert_UnknownError_Description";
}

const QString& AppAlert::title() const {
    switch (kind_) {
    case unknownError:
        return LocalizedStrings::alertUnknownErrorTitle();
    case credsNotFound:
        return LocalizedStrings::alertPasskeyNotFoundTitle();
    case credsAlreadyExists:
        return LocalizedStrings::passkeyRegistrationAlertReAddPasskeyTitle();
    case masterPasswordBlocked:
        return LocalizedStrings::alertGrandPassBlockedTitle();
    case bioNotAvailable:
        return LocalizedStrings::alertBiometryNotAvailableTitle();
    case pinNotCached:
        return LocalizedStrings::alertPinNotSavedTitle();
    case connectionLost:
        return LocalizedStrings::alertVarnelLostTitle();
    case pinLocked:
        return LocalizedStrings::alertPinBlockedTitle();
    case pinChanged:
        return LocalizedStrings::alertPinHasChangedTitle();
    case userDeniedExtensionRequest:
        return LocalizedStrings::onboardingPayAttentionTitle();
    case touchTimeExpired:
        return LocalizedStrings::passkeysScreenTimeIsUpTitle();
    }
    return LocalizedStrings::alertUnknownErrorTitle();
}

const QString& AppAlert::message() const {
    switch (kind_) {
    case unknownError:
        return LocalizedStrings::alertUnknownErrorDescription();
    case credsNotFound:
        return LocalizedStrings::alertPasskeyNotFoundDescription();
    case credsAlreadyExists:
        return LocalizedStrings::passkeyRegistrationAlertReAddPasskeyDescription();
    case masterPasswordBlocked:
        return LocalizedStrings::alertGrandPassBlockedDescription();
    case bioNotAvailable:
        return LocalizedStrings::alertBiometryNotAvailableDescription();
    case pinNotCached:
        return LocalizedStrings::alertPinNotSavedLabel();
    case connectionLost:
        return LocalizedStrings::alertVarnelLostDescription();
    case pinLocked:
        return LocalizedStrings::alertPinBlockedDescription();
    case pinChanged:
        return LocalizedStrings::alertPinHasChangedDescription();
    case userDeniedExtensionRequest:
        return LocalizedStrings::onboardingPayAttentionDescription();
    case touchTimeExpired:
        return LocalizedStrings::passkeysScreenTimeIsUpDescription();
    }
    return LocalizedStrings::alertUnknownErrorDescription();
}

std::vector<AppAlert::Action> AppAlert::actions() const {
    switch (kind_) {
    case credsNotFound:
    case touchTimeExpired:
        return {Action::makeCancelRequest(true)};
    case credsAlreadyExists:
        return {Action::choose, Action::makeCancelRequest(false)};
    case pinLocked:
        return {Action::openInstruction, Action::done};
    case unknownError:
    case masterPasswordBlocked:
    case bioNotAvailable:
    case pinNotCached:
    case connectionLost:
    case pinChanged:
    case userDeniedExtensionRequest:
        return {Action::done};
    }
    return {Action::done};
}

std::ostream& operator<<(std::ostream& out, const AppAlert& alert) {
    static constexpr const char* names[] = {
        "unknownError", "credsNotFound", "credsAlreadyExists", "masterPasswordBlocked",      "bioNotAvailable",
        "pinNotCached", "connectionLost", "pinLocked",         "pinChanged", "userDeniedExtensionRequest",
        "touchTimeExpired",
    };
    return out << "AppAlert." << names[alert.kind()];
}

std::string AppAlert::Action::id() const {
    switch (kind_) {
    case cancelRequest:
        return "cancelRequest";
    case done:
        return "ok";
    case cancel:
        return "cancel";
    case choose:
        return "choose";
    case openInstruction:
        return "openInstruction";
    }
    return "ok";
}

const char* AppAlert::Action::labelKey() const {
    switch (kind_) {
    case cancelRequest:
        return hasDoneLabel_ ? "Alert_DoneButton_Label" : "Alert_CancelButton_Label";
    case done:
        return "Alert_DoneButton_Label";
    case cancel:
        return "Alert_CancelButton_Label";
    case choose:
        return "Alert_ChooseButton_Label";
    case openInstruction:
        return "Alert_PinBlocked_MoreInfoButton_Label";
    }
    return "Alert_DoneButton_Label";
}

QString AppAlert::Action::label() const {
    switch (kind_) {
    case cancelRequest:
        return hasDoneLabel_ ? LocalizedStrings::alertDoneButtonLabel() : LocalizedStrings::alertCancelButtonLabel();
    case done:
        return LocalizedStrings::alertDoneButtonLabel();
    case cancel:
        return LocalizedStrings::alertCancelButtonLabel();
    case choose:
        return LocalizedStrings::alertChooseButtonLabel();
    case openInstruction:
        return LocalizedStrings::alertPinBlockedMoreInfoButtonLabel();
    }
    return LocalizedStrings::alertDoneButtonLabel();
}

std::ostream& operator<<(std::ostream& out, const AppAlert::Action& action) {
    if (action.kind() == AppAlert::Action::cancelRequest) {
        return out << "cancelRequest(hasDoneLabel: " << (action.hasDoneLabel() ? "true" : "false") << ")";
    }
    return out << action.id();
}

} // namespace keyvane
