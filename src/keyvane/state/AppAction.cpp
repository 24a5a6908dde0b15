#include "keyvane/state/AppAction.h"

#include "keyvane/state/AppState.h"

#include "shared/redux/StateDescription.h"

#include <sstream>

namespace keyvane::app {

namespace {

template <class T>
std::string joined(const std::vector<T>& values, auto describe) {
    std::string text = "[";
    const char* separator = "";
    for (const auto& value : values) {
        text += separator + describe(value);
        separator = ", ";
    }
    return text + "]";
}

std::string describeRequest(const CredentialsDeleteRequest& request) {
    return "{token: " + request.tokenSerial + ", keys: " + std::to_string(request.credsIds.size()) + "}";
}

template <class T>
std::string streamed(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

std::string describeOptionalError(const std::optional<MasterPassAuthError>& error) {
    return error ? streamed(*error) : "none";
}

} // namespace

std::ostream& operator<<(std::ostream& out, const LoginPuprose& purpose) {
    if (const auto* deletion = purpose.as<LoginPuprose::deleteCredentials>()) {
        return out << "deleteCredentials(" << describeRequest(deletion->request) << ")";
    }
    return out << "justSync";
}

std::string AppAction::description() const {
    // Every secret payload is printed through SecretText, which shows only "<redacted>".
    return std::visit(
        Overloaded{
            [](const handleError& a) { return "handleError(" + a.error.description() + ")"; },
            [](const updateOnboardingStatus& a) { return "updateOnboardingStatus(" + streamed(a.status) + ")"; },
            [](const enableExtension& a) {
                return std::string("enableExtension(isOnboarding: ") + (a.isOnboarding ? "true" : "false") + ")";
            },
            [](const enterMasterPasswordSettings& a) {
                return "enterMasterPasswordSettings(" + streamed(a.password) + ")";
            },
            [](const updateMasterPasswordError& a) {
                return "updateMasterPasswordError(" + describeOptionalError(a.error) + ")";
            },
            [](const setMasterPassAuthError& a) {
                return "setMasterPassAuthError(" + describeOptionalError(a.error) + ")";
            },
            [](const updateBiometryType& a) { return "updateBiometryType(type: " + std::string(describeBiometry(a.type)) + ")"; },
            [](const setBiometry& a) {
                return std::string("setBiometry(") + (a.enabled ? "true" : "false") +
                       ", isOnboarding: " + (a.isOnboarding ? "true" : "false") + ")";
            },
            [](const updateMasterPasswordState& a) {
                return "updateMasterPasswordState(" + streamed(a.state) +
                       (a.protection && *a.protection != DeviceKeyBackend::none ? ", protection: " + streamed(*a.protection)
                                                                          : std::string()) + ")";
            },
            [](const receiveTokenEvents& a) {
                return "receiveTokenEvents(" + joined(a.events, streamed<TokenMonitoringEvent>) + ")";
            },
            [](const selectConnectedToken& a) { return "selectConnectedToken(" + describeToken(a.token) + ")"; },
            [](const performLoginOnToken& a) {
                return "performLoginOnToken(serial: " + a.serial + ", pin: " + (a.pin ? streamed(*a.pin) : "none") +
                       ")";
            },
            [](const updatePinVerificationStatus& a) {
                return "updatePinVerificationStatus(" + streamed(a.status) + ")";
            },
            [](const enumerateCredentials& a) { return "enumerateCredentials(serial: " + a.serial + ")"; },
            [](const updateTokenList& a) { return "updateTokenList(" + joined(a.tokens, describeToken) + ")"; },
            [](const updateCredentialsList& a) {
                return "updateCredentialsList(" + joined(a.credentials, describeCredential) + ")";
            },
            [](const deleteToken& a) { return "deleteToken(" + a.serial + ")"; },
            [](const deleteCredentials& a) { return "deleteCredentials(request: " + describeRequest(a.request) + ")"; },
            [](const deleteButtonPressed& a) {
                return "deleteButtonPressed(request: " + describeRequest(a.request) + ")";
            },
            [](const setupMasterPassword& a) { return "setupMasterPassword(" + streamed(a.password) + ")"; },
            [](const changeMasterPassword& a) { return "changeMasterPassword(" + streamed(a.password) + ")"; },
            [](const validateMasterPassword& a) { return "validateMasterPassword(" + streamed(a.password) + ")"; },
            [](const setPassAuth& a) { return "setPassAuth(" + streamed(a.status) + ")"; },
            [](const checkHasPinForToken& a) { return "checkHasPinForToken(" + a.serial + ")"; },
            [](const setPinExist& a) { return "setPinExist(" + streamed(a.state) + ")"; },
            [](const setPinCacheHasPins& a) {
                return std::string("setPinCacheHasPins(") + (a.hasPins ? "true" : "false") + ")";
            },
            [](const switchToPinView& a) { return "switchToPinView(" + describeToken(a.token) + ")"; },
            [](const hideAlert&) { return std::string("hideAlert"); },
            [](const hideOnboarding&) { return std::string("hideOnboarding"); },
            [](const quitMasterPasswordSettings&) { return std::string("quitMasterPasswordSettings"); },
            [](const hideMasterPasswordInput&) { return std::string("hideMasterPasswordInput"); },
            [](const startEnteringMasterPasswordSettings&) { return std::string("startEnteringMasterPasswordSettings"); },
            [](const finishEnterMasterPasswordSettings&) { return std::string("finishEnterMasterPasswordSettings"); },
            [](const appLaunched&) { return std::string("appLaunched"); },
            [](const firstLaunch&) { return std::string("firstLaunch"); },
            [](const startMonitoring&) { return std::string("startMonitoring"); },
            [](const stopMonitoring&) { return std::string("stopMonitoring"); },
            [](const syncingButtonPressed&) { return std::string("syncingButtonPressed"); },
            [](const startSync&) { return std::string("startSync"); },
            [](const dismissLoginView&) { return std::string("dismissLoginView"); },
            [](const disableMasterPassword&) { return std::string("disableMasterPassword"); },
            [](const validateBio&) { return std::string("validateBio"); },
            [](const resetPersistentData&) { return std::string("resetPersistentData"); },
        },
        value);
}

} // namespace keyvane::app
