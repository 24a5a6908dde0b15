#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/pkcs11/Pkcs11Token.h"
#include "shared/pkcs11/TokenLoginManagerError.h"

#include <memory>
#include <string>

namespace keyvane {

// Logs the user in to a connected token. Every failure is a TokenLoginManagerError.
class TokenLoginManagerProtocol {
public:
    virtual ~TokenLoginManagerProtocol() = default;

    // The open token with the serial; none is tokenNotFound.
    virtual std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) = 0;
    // incorrectPin (with the attempts left when the token tells), pinLocked, tokenNotFound, or
    // generalError wrapping any other failure. A session already logged in is verified again.
    virtual void login(const std::string& serial, const std::string& pin) = 0;
};

std::shared_ptr<TokenLoginManagerProtocol> makeLiveTokenLoginManager();

inline const DependencyKey<TokenLoginManagerProtocol> tokenLoginManager{
    "tokenLoginManager", makeLiveTokenLoginManager, makeLiveTokenLoginManager};

} // namespace keyvane
