#include "shared/login/LoginAction.h"

#include "shared/redux/StateDescription.h"

#include <sstream>

namespace keyvane {

namespace {

template <class T>
std::string streamed(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

template <class T, class Describe>
std::string joined(const std::vector<T>& values, Describe describe) {
    std::string text = "[";
    const char* separator = "";
    for (const auto& value : values) {
        text += separator + describe(value);
        separator = ", ";
    }
    return text + "]";
}

std::string named(const char* name) { return name; }

} // namespace

std::string LoginAction::description() const {
    using namespace login_action;
    // Every secret payload is printed through SecretText, which shows only "<redacted>".
    return std::visit(
        Overloaded{
            [](const handleError& a) { return "handleError(" + a.error.description() + ")"; },
            [](const performLoginOnToken& a) {
                return "performLoginOnToken(serial: " + a.serial + ", pin: " + (a.pin ? streamed(*a.pin) : "none") +
                       ")";
            },
            [](const receiveTokenEvents& a) {
                return "receiveTokenEvents(" + joined(a.events, streamed<TokenMonitoringEvent>) + ")";
            },
            [](const selectConnectedToken& a) { return "selectConnectedToken(" + describeToken(a.token) + ")"; },
            [](const enumerateCredentials& a) { return "enumerateCredentials(serial: " + a.serial + ")"; },
            [](const updateTokenList& a) { return "updateTokenList(" + joined(a.tokens, describeToken) + ")"; },
            [](const updateCredentialsList& a) {
                return "updateCredentialsList(" + joined(a.credentials, describeCredential) + ")";
            },
            [](const updatePinVerificationStatus& a) {
                return "updatePinVerificationStatus(" + streamed(a.status) + ")";
            },
            [](const updateMasterPasswordState& a) {
                return "updateMasterPasswordState(" + streamed(a.state) +
                       (a.protection && *a.protection != DeviceKeyBackend::none
                            ? ", protection: " + streamed(*a.protection)
                            : std::string()) +
                       ")";
            },
            [](const validateMasterPassword& a) { return "validateMasterPassword(" + streamed(a.password) + ")"; },
            [](const setPassAuth& a) { return "setPassAuth(" + streamed(a.status) + ")"; },
            [](const setMasterPassAuthError& a) {
                return "setMasterPassAuthError(" + (a.error ? streamed(*a.error) : std::string("none")) + ")";
            },
            [](const checkHasPinForToken& a) { return "checkHasPinForToken(" + a.serial + ")"; },
            [](const setPinExist& a) { return "setPinExist(" + streamed(a.state) + ")"; },
            [](const setPinCacheHasPins& a) {
                return std::string("setPinCacheHasPins(") + (a.hasPins ? "true" : "false") + ")";
            },
            [](const switchToPinView& a) { return "switchToPinView(" + describeToken(a.token) + ")"; },
            [](const hideAlert&) { return named("hideAlert"); },
            [](const appLaunched&) { return named("appLaunched"); },
            [](const startMonitoring&) { return named("startMonitoring"); },
            [](const stopMonitoring&) { return named("stopMonitoring"); },
            [](const dismissLoginView&) { return named("dismissLoginView"); },
            [](const startSync&) { return named("startSync"); },
            [](const syncingButtonPressed&) { return named("syncingButtonPressed"); },
            [](const validateBio&) { return named("validateBio"); },
        },
        value);
}

} // namespace keyvane
