#include "keyvane/state/AppAction.h"

#include "keyvane/state/AppState.h"

#include <sstream>

namespace keyvane::app {

namespace {

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
            [](const updateBiometryType& a) { return "updateBiometryType(type: " + std::string(describeBiometry(a.type)) + ")"; },
            [](const setBiometry& a) {
                return std::string("setBiometry(") + (a.enabled ? "true" : "false") +
                       ", isOnboarding: " + (a.isOnboarding ? "true" : "false") + ")";
            },
            [](const deleteToken& a) { return "deleteToken(" + a.serial + ")"; },
            [](const deleteCredentials& a) { return "deleteCredentials(request: " + describeRequest(a.request) + ")"; },
            [](const deleteButtonPressed& a) {
                return "deleteButtonPressed(request: " + describeRequest(a.request) + ")";
            },
            [](const setupMasterPassword& a) { return "setupMasterPassword(" + streamed(a.password) + ")"; },
            [](const changeMasterPassword& a) { return "changeMasterPassword(" + streamed(a.password) + ")"; },
            [](const hideOnboarding&) { return std::string("hideOnboarding"); },
            [](const quitMasterPasswordSettings&) { return std::string("quitMasterPasswordSettings"); },
            [](const hideMasterPasswordInput&) { return std::string("hideMasterPasswordInput"); },
            [](const startEnteringMasterPasswordSettings&) { return std::string("startEnteringMasterPasswordSettings"); },
            [](const finishEnterMasterPasswordSettings&) { return std::string("finishEnterMasterPasswordSettings"); },
            [](const firstLaunch&) { return std::string("firstLaunch"); },
            [](const disableMasterPassword&) { return std::string("disableMasterPassword"); },
            [](const resetPersistentData&) { return std::string("resetPersistentData"); },
            // The shared cases print alike in both programs.
            []<LoginCase Case>(const Case& a) { return LoginAction(a).description(); },
        },
        value);
}

} // namespace keyvane::app
