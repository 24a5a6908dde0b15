#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/model/TokenInfo.h"
#include "shared/storage/NotImplemented.h"

#include <memory>
#include <string>
#include <vector>

namespace keyvane {

// The records of the tokens that were seen. Every operation fails only with
// TokenStorageError; callers wait while it runs (one call at a time per store).
class TokenStorageProtocol {
public:
    virtual ~TokenStorageProtocol() = default;
    // Updates the record of the serial (label, version, memory) or inserts one.
    virtual void syncToken(const TokenInfo& tokenInfo) = 0;
    virtual std::vector<TokenInfo> listTokens() = 0;
    // tokenNotFound / multipleTokensWithSameSerial when not exactly one record has the serial.
    virtual TokenInfo getToken(const std::string& serial) = 0;
    // Deletes every record of the serial and their passkey records.
    virtual void deleteToken(const std::string& serial) = 0;
};

// Only the program entry (or the extension, per request) can build the store on its object
// store; until it installs one, using the key stops the program.
inline const DependencyKey<TokenStorageProtocol> tokenStorage{
    "tokenStorage", detail::notImplemented<TokenStorageProtocol>("TokenStorage.liveValue не реализован"),
    detail::notImplemented<TokenStorageProtocol>("TokenStorage.liveValue не реализован")};

} // namespace keyvane
