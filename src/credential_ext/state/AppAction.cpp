#include "credential_ext/state/AppAction.h"

#include "shared/redux/StateDescription.h"

#include <sstream>

namespace keyvane::ext {

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

std::string sized(const Bytes& bytes) { return std::to_string(bytes.size()) + " bytes"; }

std::string named(const char* name) { return name; }

} // namespace

std::ostream& operator<<(std::ostream& out, const LoginPuprose& purpose) {
    return std::visit(Overloaded{
                          [&](const LoginPuprose::auth& a) -> std::ostream& {
                              return out << "auth(" << describeCredential(a.selectedCred) << ")";
                          },
                          [&](const LoginPuprose::completeRegistration&) -> std::ostream& {
                              return out << "completeRegistration";
                          },
                          [&](const LoginPuprose::justSync&) -> std::ostream& { return out << "justSync"; },
                      },
                      purpose.value);
}

std::string AppAction::description() const {
    return std::visit(
        Overloaded{
            [](const handleError& a) { return "handleError(" + a.error.description() + ")"; },
            [](const completeRegistrationRequest& a) {
                return "completeRegistrationRequest(rp: " + a.credential.relyingParty +
                       ", credentialID: " + sized(a.credential.credentialID) + ")";
            },
            [](const finishRegistration& a) {
                return "finishRegistration(serial: " + a.serial + ", rp: " + a.regInfo.relyingPartyId +
                       ", user: " + a.regInfo.username + ")";
            },
            [](const startProvidingPasskey& a) {
                return "startProvidingPasskey(rp: " + a.relyingPartyId + ", userHandle: " + sized(a.userHandle) + ")";
            },
            [](const completeAuthenticationRequest& a) {
                return "completeAuthenticationRequest(rp: " + a.credential.relyingParty +
                       ", credentialID: " + sized(a.credential.credentialID) + ")";
            },
            [](const finishAuthentication& a) {
                return "finishAuthentication(" + describeCredential(a.cred) + ", hash: " + sized(a.hash) + ")";
            },
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
            [](const waitForTouch& a) { return "waitForTouch(seconds: " + std::to_string(a.seconds) + ")"; },
            [](const credForAuthenticationSelected& a) {
                return "credForAuthenticationSelected(" + describeCredential(a.credential) + ")";
            },
            [](const updateMasterPasswordState& a) { return "updateMasterPasswordState(" + streamed(a.state) + ")"; },
            [](const setMasterPassStateUpdated& a) {
                return std::string("setMasterPassStateUpdated(") + (a.updated ? "true" : "false") + ")";
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
            [](const cancelRequest&) { return named("cancelRequest"); },
            [](const startMonitoring&) { return named("startMonitoring"); },
            [](const stopMonitoring&) { return named("stopMonitoring"); },
            [](const dismissLoginView&) { return named("dismissLoginView"); },
            [](const completeRegistrationButtonIsPressed&) { return named("completeRegistrationButtonIsPressed"); },
            [](const startSync&) { return named("startSync"); },
            [](const syncingButtonPressed&) { return named("syncingButtonPressed"); },
            [](const validateBio&) { return named("validateBio"); },
        },
        value);
}

} // namespace keyvane::ext
