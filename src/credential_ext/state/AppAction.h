#pragma once

#include "credential_ext/platform/AuthenticationServices.h"
#include "credential_ext/state/AppState.h"
#include "shared/errors/CaseEnum.h"
#include "shared/login/LoginAction.h"
#include "shared/model/PasskeyCredentials.h"
#include "shared/utils/Bytes.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace keyvane::ext {

// The extension's own cases of AppAction: those with a payload first.
namespace app_action {
struct completeRegistrationRequest {
    ASPasskeyRegistrationCredential credential;
};
struct finishRegistration {
    std::string serial;
    RegistrationState regInfo;
};
struct startProvidingPasskey {
    // The passkey the request names. A user handle is unique only within its relying party,
    // so both are needed to find it.
    Bytes userHandle;
    std::string relyingPartyId;
};
struct completeAuthenticationRequest {
    ASPasskeyAssertionCredential credential;
};
struct finishAuthentication {
    PasskeyCredentials cred;
    Bytes hash; // the client-data hash
};
struct waitForTouch {
    std::uint64_t seconds = 0;
};
struct credForAuthenticationSelected {
    PasskeyCredentials credential;
};
struct setMasterPassStateUpdated {
    bool updated = false;
};
struct cancelRequest {};
struct completeRegistrationButtonIsPressed {};
} // namespace app_action

// Every action of the extension: its own cases, then those it shares with the main program
// (shared/login), under the same names. Handle it with std::visit over `value` and one handler
// per case, so a new case cannot be forgotten.
class AppAction final
    : public WithLoginCases<
          app_action::completeRegistrationRequest, app_action::finishRegistration, app_action::startProvidingPasskey,
          app_action::completeAuthenticationRequest, app_action::finishAuthentication, app_action::waitForTouch,
          app_action::credForAuthenticationSelected, app_action::setMasterPassStateUpdated, app_action::cancelRequest,
          app_action::completeRegistrationButtonIsPressed>,
      public LoginCaseNames {
public:
    using CaseEnum::CaseEnum;
    using completeRegistrationRequest = app_action::completeRegistrationRequest;
    using finishRegistration = app_action::finishRegistration;
    using startProvidingPasskey = app_action::startProvidingPasskey;
    using completeAuthenticationRequest = app_action::completeAuthenticationRequest;
    using finishAuthentication = app_action::finishAuthentication;
    using waitForTouch = app_action::waitForTouch;
    using credForAuthenticationSelected = app_action::credForAuthenticationSelected;
    using setMasterPassStateUpdated = app_action::setMasterPassStateUpdated;
    using cancelRequest = app_action::cancelRequest;
    using completeRegistrationButtonIsPressed = app_action::completeRegistrationButtonIsPressed;

    // The case's name and its payload, for logs and test messages. PINs and passwords show
    // only as "<redacted>"; byte strings only by their length.
    std::string description() const;
    friend std::ostream& operator<<(std::ostream& out, const AppAction& action) { return out << action.description(); }
};

} // namespace keyvane::ext
