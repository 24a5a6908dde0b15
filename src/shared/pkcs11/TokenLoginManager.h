#pragma once

#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/pkcs11/TokenLoginManagerProtocol.h"

#include <memory>
#include <string>

namespace keyvane {

// Logs in through the tokens that the PKCS#11 manager keeps open. It holds no state of its
// own, so calls from several threads need no serialising here: the library calls are
// serialised on the PKCS#11 executor.
class TokenLoginManager final : public TokenLoginManagerProtocol {
public:
    // Reads the PKCS#11 manager from the registry.
    TokenLoginManager();
    explicit TokenLoginManager(std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager);

    std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) override;
    void login(const std::string& serial, const std::string& pin) override;

private:
    std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager_;
};

} // namespace keyvane
