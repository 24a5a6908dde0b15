#pragma once

#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/utils/Bytes.h"

#include <filesystem>
#include <mutex>
#include <optional>

namespace keyvane {

// The PIN cache over the registry's crypto manager, keychain, PIN entry store and biometric
// wrapper (read at each use). Each operation that reads or changes the cache holds one lock
// across threads and processes ("pin-cache.lock" in the group directory) from start to end,
// and writes the items it changes in one atomic keychain write, so the two deliverables never
// lose a failed-attempt count or see half of a password change.
class PinCodeCacheManager final : public PinCodeCacheManagerProtocol {
public:
    // Without a directory, the group directory is looked up at each operation.
    explicit PinCodeCacheManager(std::optional<std::filesystem::path> lockDirectory = std::nullopt);

    void eraseCache() override;
    AuthResult auth(const std::string& masterPassword) override;
    void auth() override;
    void initCache(const std::string& masterPassword) override;
    void deletePin(const std::string& serial) override;
    void savePin(const std::string& serial, const std::string& pin) override;
    std::string getPin(const std::string& serial) override;
    void changePassword(const std::string& masterPassword) override;
    bool isMasterPasswordSet() override;

    static constexpr const char* kekTag = "Keyvane.PinCodeCache.kek";
    static constexpr int authAttemptsLimit = 5;
    static constexpr const char* failedAuthKeychainKey = "Keyvane.PinCodeCache.failedAuthCounter";
    static constexpr const char* cekKeychainKey = "Keyvane.PinCodeCache.cek";
    static constexpr const char* hashKeychainKey = "Keyvane.PinCodeCache.master.password.hash";
    static constexpr const char* saltKeychainKey = "Keyvane.PinCodeCache.hash.salt";

    // A new salt: 16 to 32 random bytes, the length drawn uniformly.
    static Bytes makeSalt();

private:
    // Runs the operation under the cache lock; any failure leaves as PinCodeCacheError named
    // after the operation (one that already is a PinCodeCacheError leaves unchanged).
    template <class Work>
    auto locked(const char* function, Work&& work) -> decltype(work());
    // Runs a crypto step of a PIN; when the device key is lost for good, erases the cache
    // (lock held) and fails with that DeviceKeyError::keyLost.
    template <class Work>
    auto eraseWhenKeyLost(const char* function, Work&& work) -> decltype(work());
    // The erasure itself, with the lock already held.
    void eraseLocked();
    std::filesystem::path lockPath() const;

    std::optional<std::filesystem::path> lockDirectory_;
};

} // namespace keyvane
