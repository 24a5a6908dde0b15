#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/model/DeviceKeyBackend.h"
#include "shared/pin_cache/AuthResult.h"

#include <memory>
#include <string>

namespace keyvane {

// The master-password PIN cache. Every operation fails only with PinCodeCacheError. The ones that hash a password run PBKDF2 (hundreds of milliseconds):
// never call them on the GUI thread.
class PinCodeCacheManagerProtocol {
public:
    virtual ~PinCodeCacheManagerProtocol() = default;
    virtual void eraseCache() = 0;
    // Checks the master password; the fifth consecutive failure erases the cache.
    virtual AuthResult auth(const std::string& masterPassword) = 0;
    // The biometric check.
    virtual void auth() = 0;
    virtual void initCache(const std::string& masterPassword) = 0;
    virtual void deletePin(const std::string& serial) = 0;
    // serialNumber: the token's full serial number (Pkcs11TokenProtocol::serialNumber). The
    // serial shown keeps only its low 32 bits, so two tokens can share a serial: a PIN is
    // answered only to the token it was saved for, and never sent to another.
    virtual void savePin(const std::string& serial, const std::string& pin, const std::string& serialNumber) = 0;
    virtual std::string getPin(const std::string& serial, const std::string& serialNumber) = 0;
    virtual void changePassword(const std::string& masterPassword) = 0;
    // True when a master password guards a usable cache; fails when the cache cannot be read
    // (an unreadable keychain is never taken for "no master password").
    virtual bool isMasterPasswordSet() = 0;
    // What holds the device key that protects the cache; none when no master password is set.
    virtual DeviceKeyBackend protection() = 0;
};

std::shared_ptr<PinCodeCacheManagerProtocol> makeLivePinCodeCacheManager();

inline const DependencyKey<PinCodeCacheManagerProtocol> pinCodeCacheManager{
    "pinCodeCacheManager", makeLivePinCodeCacheManager, makeLivePinCodeCacheManager};

} // namespace keyvane
