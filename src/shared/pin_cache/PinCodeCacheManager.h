#pragma once

#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/utils/Bytes.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace keyvane {

class CryptoManagerProtocol;
class VarnelKeychainManagerProtocol;
class PinCodeStorageProtocol;
class LAContextWrapperProtocol;

// The PIN cache over the crypto manager, keychain, PIN entry store and biometric wrapper that
// the registry holds when it is made (resolved once: a call on any thread reaches the same
// services). Each operation that reads or changes the cache holds one lock across threads and
// processes ("pin-cache.lock" in the group directory) from start to end.
//
// The cache is either whole or absent after any failure, told by the device key alone: items
// or PIN entries without a device key are what an interrupted erasure left, and the next
// operation removes them. A set-up makes its device key under a staging tag and writes the
// items that name the new content key in one keychain write (the commit); only then does the
// staged key replace the old one. A set-up that fails before the commit leaves the old cache
// whole; one that fails after it erases the cache.
class PinCodeCacheManager final : public PinCodeCacheManagerProtocol {
public:
    // Without a directory, the group directory is looked up at each operation.
    explicit PinCodeCacheManager(std::optional<std::filesystem::path> lockDirectory = std::nullopt);

    void eraseCache() override;
    AuthResult auth(const std::string& masterPassword) override;
    void auth() override;
    void initCache(const std::string& masterPassword) override;
    void deletePin(const std::string& serial) override;
    void savePin(const std::string& serial, const std::string& pin, const std::string& serialNumber) override;
    std::string getPin(const std::string& serial, const std::string& serialNumber) override;
    void changePassword(const std::string& masterPassword) override;
    bool isMasterPasswordSet() override;
    DeviceKeyBackend protection() override;

    static constexpr const char* kekTag = "Keyvane.PinCodeCache.kek";
    // Where a set-up makes its device key until its items are written.
    static constexpr const char* stagedKekTag = "Keyvane.PinCodeCache.kek.staged";
    static constexpr int authAttemptsLimit = 5;
    static constexpr const char* failedAuthKeychainKey = "Keyvane.PinCodeCache.failedAuthCounter";
    static constexpr const char* cekKeychainKey = "Keyvane.PinCodeCache.cek";
    static constexpr const char* hashKeychainKey = "Keyvane.PinCodeCache.master.password.hash";
    static constexpr const char* saltKeychainKey = "Keyvane.PinCodeCache.hash.salt";

    // A new salt: 16 to 32 random bytes, the length drawn uniformly.
    static Bytes makeSalt();

private:
    // Runs the operation under the cache lock; any failure leaves as PinCodeCacheError named
    // after the operation, with the caller's line (one that already is a PinCodeCacheError
    // leaves unchanged).
    template <class Work>
    auto locked(const char* function, Work&& work, SourceLine line = __builtin_LINE()) -> decltype(work());
    // Runs a crypto step of a PIN; when the device key is lost for good, erases the cache
    // (lock held) and fails with that DeviceKeyError::keyLost.
    template <class Work>
    auto eraseWhenKeyLost(const char* function, Work&& work) -> decltype(work());
    // Lock held. Finishes or undoes what an interrupted set-up or erasure left.
    void recoverLocked();
    // Lock held. Device keys first (that alone makes every sealed PIN unreadable), then the
    // items, then the PIN entries; fails at the first step that fails, leaving the rest to
    // recoverLocked.
    void eraseLocked();
    bool hasDeviceKey();
    // An item as stored; fails when the items cannot be read (never "absent").
    std::optional<Bytes> readBytes(const char* key, const char* function);
    std::filesystem::path lockPath() const;

    std::shared_ptr<CryptoManagerProtocol> crypto_;
    std::shared_ptr<VarnelKeychainManagerProtocol> keychain_;
    std::shared_ptr<PinCodeStorageProtocol> pinCodeStorage_;
    std::shared_ptr<LAContextWrapperProtocol> laContextWrapper_;
    std::optional<std::filesystem::path> lockDirectory_;
};

} // namespace keyvane
