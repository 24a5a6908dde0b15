#pragma once

#include "shared/model/PasskeyCredentials.h"
#include "shared/utils/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace keyvane {

// The record of a passkey listed from a token. It belongs to at most one token record
// (tokenSerial is that record's serial, read with it); deleting the token deletes it.
struct PasskeyStorableInfo {
    std::optional<std::int64_t> persistentId;
    Bytes keyId;
    std::string relyingPartyId;
    std::string username;
    Bytes userHandle;
    std::optional<std::int64_t> token;           // the token record's persistent identifier
    std::optional<std::string> tokenSerial;      // that record's serial

    PasskeyStorableInfo() = default;
    // A new record of the four passkey fields; the value's tokenSerial is not used, the
    // storing operation decides the token.
    explicit PasskeyStorableInfo(const PasskeyCredentials& credentials)
        : keyId(credentials.keyId), relyingPartyId(credentials.relyingPartyId), username(credentials.username),
          userHandle(credentials.userHandle) {}

    // Nothing for a record without a token.
    std::optional<PasskeyCredentials> toPasskeyCredentials() const {
        if (!token || !tokenSerial) {
            return std::nullopt;
        }
        return PasskeyCredentials{keyId, relyingPartyId, username, userHandle, *tokenSerial};
    }

    bool operator==(const PasskeyStorableInfo& other) const {
        return persistentId && other.persistentId && *persistentId == *other.persistentId;
    }
};

} // namespace keyvane
