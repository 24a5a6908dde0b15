#pragma once

#include "credential_ext/platform/AuthenticationServices.h"
#include "credential_ext/state/LoginPuprose.h"
#include "shared/login/LoginState.h"
#include "shared/redux/AppAlert.h"
#include "shared/redux/MasterPassInputState.h"
#include "shared/utils/Bytes.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace keyvane::ext {

// Which alert shows and what the pending token login is for.
struct NavigationState {
    std::optional<AppAlert> alert;
    std::optional<LoginPuprose> loginPurpose;
    MasterPassInputState masterPassInputState; // no action of the extension changes it
};

// The registration request: the passkey to create.
struct RegistrationState {
    std::string username;
    Bytes clientDataHash;
    Bytes userHandle;
    std::string relyingPartyId;

    bool operator==(const RegistrationState&) const = default;
};

// A sign-in request: where it comes from and which passkeys it accepts.
struct AuthState {
    std::vector<ASCredentialServiceIdentifier> serviceIdentifiers;
    std::string relyingPartyId;
    Bytes clientDataHash;
    // Credential identifiers the site accepts; empty when it accepts any of its passkeys.
    std::vector<Bytes> allowedCredentials;

    bool operator==(const AuthState&) const = default;

    // Whether the passkey may answer this request: it belongs to the request's relying party
    // (compared in normalisation form C) and, when the request names credentials, is one of
    // them. A passkey of another site must never be offered or used: its assertion would hand
    // that site's user handle and identifier to the requester.
    bool admits(const PasskeyCredentials& passkey) const;
};

// The state of one request's store; its defaults are the state every request starts from
// (the entry then fills in the request). The login's fields (loginViewState,
// credentialListState, pinCacheState, masterPasswordState) come from LoginState, which the
// main program's state shares.
struct AppState : LoginState {
    NavigationState navigationState;
    std::optional<RegistrationState> registrationState;
    AuthState authState;

    friend std::ostream& operator<<(std::ostream& out, const AppState& state);
};

// The stored passkeys that may answer the state's sign-in request, in list order: what the
// passkey choice shows.
std::vector<PasskeyCredentials> passkeysForRequest(const AppState& state);

} // namespace keyvane::ext
