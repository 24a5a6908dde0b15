#pragma once

// What a credential-provider extension receives from, and hands back to, whoever starts it.
// On Linux nothing starts an extension: the host program reads one request, builds these
// values from it, and writes the one answer that the extension context receives.

#include "shared/utils/Bytes.h"

#include <string>
#include <vector>

namespace keyvane::ext {

// Where a credential request comes from: a web domain or a full URL.
struct ASCredentialServiceIdentifier {
    enum class IdentifierType { domain, URL };

    std::string identifier;
    IdentifierType type = IdentifierType::domain;

    bool operator==(const ASCredentialServiceIdentifier&) const = default;
};

// The passkey a request names (a sign-in for one known passkey), or the one a registration
// would create.
struct ASPasskeyCredentialIdentity {
    std::string relyingPartyIdentifier;
    std::string userName;
    Bytes credentialID;
    Bytes userHandle;
    ASCredentialServiceIdentifier serviceIdentifier;

    bool operator==(const ASPasskeyCredentialIdentity&) const = default;
};

// A registration, or a sign-in with one named passkey.
struct ASPasskeyCredentialRequest {
    ASPasskeyCredentialIdentity credentialIdentity;
    Bytes clientDataHash;

    bool operator==(const ASPasskeyCredentialRequest&) const = default;
};

// What a sign-in that lets the user choose carries besides the service identifiers.
struct ASPasskeyCredentialRequestParameters {
    std::string relyingPartyIdentifier;
    Bytes clientDataHash;
    std::vector<Bytes> allowedCredentials;

    bool operator==(const ASPasskeyCredentialRequestParameters&) const = default;
};

// The answer to a registration.
struct ASPasskeyRegistrationCredential {
    std::string relyingParty;
    Bytes clientDataHash;
    Bytes credentialID;
    Bytes attestationObject;

    bool operator==(const ASPasskeyRegistrationCredential&) const = default;
};

// The answer to a sign-in.
struct ASPasskeyAssertionCredential {
    Bytes userHandle;
    std::string relyingParty;
    Bytes signature;
    Bytes clientDataHash;
    Bytes authenticatorData;
    Bytes credentialID;

    bool operator==(const ASPasskeyAssertionCredential&) const = default;
};

// Why a request ended without a credential; the values are the ones callers see.
enum class ASExtensionErrorCode : int {
    failed = 0,
    userCanceled = 1,
    userInteractionRequired = 100,
};

// Where a request's one answer goes. Implementations take the first answer and ignore the
// rest: a request ends once.
class ASCredentialProviderExtensionContext {
public:
    virtual ~ASCredentialProviderExtensionContext() = default;

    virtual void completeRegistrationRequest(const ASPasskeyRegistrationCredential& credential) = 0;
    virtual void completeAssertionRequest(const ASPasskeyAssertionCredential& credential) = 0;
    virtual void cancelRequest(ASExtensionErrorCode code) = 0;
};

} // namespace keyvane::ext
