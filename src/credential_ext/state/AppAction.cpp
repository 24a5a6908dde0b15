#include "credential_ext/state/AppAction.h"

#include "shared/redux/StateDescription.h"

namespace keyvane::ext {

namespace {

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
            [](const waitForTouch& a) { return "waitForTouch(seconds: " + std::to_string(a.seconds) + ")"; },
            [](const credForAuthenticationSelected& a) {
                return "credForAuthenticationSelected(" + describeCredential(a.credential) + ")";
            },
            [](const setMasterPassStateUpdated& a) {
                return std::string("setMasterPassStateUpdated(") + (a.updated ? "true" : "false") + ")";
            },
            [](const cancelRequest&) { return named("cancelRequest"); },
            [](const completeRegistrationButtonIsPressed&) { return named("completeRegistrationButtonIsPressed"); },
            // The shared cases print alike in both programs.
            []<LoginCase Case>(const Case& a) { return LoginAction(a).description(); },
        },
        value);
}

} // namespace keyvane::ext
