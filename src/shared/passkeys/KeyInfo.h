#pragma once

#include "shared/model/PasskeyCredentials.h"
#include "shared/utils/Bytes.h"

#include <string>
#include <utility>

namespace keyvane {

// What a passkey metadata object says about its passkey. The same credential as
// PasskeyCredentials without the token serial: ckaID is the key identifier (the private key's
// CKA_ID and the WebAuthn credential identifier).
struct KeyInfo {
    std::string relyingPartyID;
    std::string userName;
    Bytes userHandle;
    Bytes ckaID;
    // Fields this version does not know, in their binary form and in the order they were read,
    // so that a record written by a newer version survives being read and written again.
    Bytes unknownFields;

    bool operator==(const KeyInfo&) const = default;

    static KeyInfo from(const PasskeyCredentials& credentials) {
        return {credentials.relyingPartyId, credentials.username, credentials.userHandle, credentials.keyId, {}};
    }
    PasskeyCredentials credentials(std::string tokenSerial) const {
        return {ckaID, relyingPartyID, userName, userHandle, std::move(tokenSerial)};
    }
};

} // namespace keyvane
