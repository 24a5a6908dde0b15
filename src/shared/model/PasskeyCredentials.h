#pragma once

#include "shared/utils/Bytes.h"

#include <string>

namespace keyvane {

// One passkey as the state, the views and the services see it. Its identity (for lists and
// selections) is keyId, the credential identifier that is also the key's CKA_ID on the token;
// two values are equal when all five fields are equal.
struct PasskeyCredentials {
    Bytes keyId;
    std::string relyingPartyId;
    std::string username;
    Bytes userHandle;
    std::string tokenSerial;

    const Bytes& id() const { return keyId; }
    bool operator==(const PasskeyCredentials&) const = default;
};

} // namespace keyvane
