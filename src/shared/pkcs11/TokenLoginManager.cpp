#include "shared/pkcs11/TokenLoginManager.h"

#include "shared/pkcs11/Pkcs11Error.h"

namespace keyvane {

TokenLoginManager::TokenLoginManager() : TokenLoginManager(Dependencies::get(pkcs11Manager)) {}

TokenLoginManager::TokenLoginManager(std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager)
    : pkcsManager_(std::move(pkcsManager)) {}

std::shared_ptr<Pkcs11TokenProtocol> TokenLoginManager::getToken(const std::string& serial) {
    auto token = pkcsManager_->getToken(serial);
    if (!token) {
        throw TokenLoginManagerError(TokenLoginManagerError::tokenNotFound{});
    }
    return token;
}

void TokenLoginManager::login(const std::string& serial, const std::string& pin) {
    try {
        getToken(serial)->login(pin);
    } catch (const Pkcs11Error& error) {
        if (const auto* wrong = error.as<Pkcs11Error::incorrectPin>()) {
            throw TokenLoginManagerError(TokenLoginManagerError::incorrectPin{wrong->attemptsLeft});
        }
        if (error.is<Pkcs11Error::pinLocked>()) {
            throw TokenLoginManagerError(TokenLoginManagerError::pinLocked{});
        }
        throw TokenLoginManagerError::from(error);
    } catch (const TokenLoginManagerError&) {
        throw;
    } catch (...) {
        throw TokenLoginManagerError::from(std::current_exception());
    }
}

std::shared_ptr<TokenLoginManagerProtocol> makeLiveTokenLoginManager() {
    return std::make_shared<TokenLoginManager>();
}

} // namespace keyvane
