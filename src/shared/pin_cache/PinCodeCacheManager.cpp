#include "shared/pin_cache/PinCodeCacheManager.h"

#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/crypto/CryptoManagerError.h"
#include "shared/crypto/CryptoManagerProtocol.h"
#include "shared/crypto/DeviceKeyError.h"
#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"
#include "shared/keychain/VarnelKeychainManagerProtocol.h"
#include "shared/pin_cache/PinCodeCacheError.h"
#include "shared/storage/PinCodeStorageError.h"
#include "shared/storage/PinCodeStorageProtocol.h"
#include "shared/utils/Random.h"
#include "shared/utils/SecureMemory.h"
#include "shared/utils/Utf8.h"

#include <openssl/crypto.h>

#include <algorithm>

namespace keyvane {

namespace fs = std::filesystem;

namespace {

constexpr int hashByteCount = 32;

[[noreturn]] void fail(const char* function, SourceLine line, const char* message) {
    throw PinCodeCacheError::general(function, message, line);
}

Bytes tagBytes(const char* tag = PinCodeCacheManager::kekTag) {
    const std::string_view text = tag;
    return Bytes(text.begin(), text.end());
}

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Equal length and content, in time that does not depend on where they differ.
bool sameHash(const SecureBytes& candidate, const Bytes& stored) {
    return candidate.size() == stored.size() && CRYPTO_memcmp(candidate.data(), stored.data(), stored.size()) == 0;
}

// The device key refused for good (its TPM was cleared or replaced): every sealed value of
// the cache is unreadable from now on.
const DeviceKeyError* deviceKeyCause(const CryptoManagerError& error) {
    const auto& cause = error.as<CryptoManagerError::generalError>()->error;
    return cause ? cause->as<DeviceKeyError>() : nullptr;
}

const DeviceKeyError::keyLost* lostDeviceKey(const CryptoManagerError& error) {
    const auto* deviceKeyError = deviceKeyCause(error);
    return deviceKeyError ? deviceKeyError->as<DeviceKeyError::keyLost>() : nullptr;
}

constexpr const char* cacheItems[] = {PinCodeCacheManager::cekKeychainKey, PinCodeCacheManager::hashKeychainKey,
                                      PinCodeCacheManager::saltKeychainKey,
                                      PinCodeCacheManager::failedAuthKeychainKey};

} // namespace

std::shared_ptr<PinCodeCacheManagerProtocol> makeLivePinCodeCacheManager() {
    return std::make_shared<PinCodeCacheManager>();
}

PinCodeCacheManager::PinCodeCacheManager(std::optional<fs::path> lockDirectory)
    : crypto_(Dependencies::get(cryptoManager)),
      keychain_(Dependencies::get(keychainManager)),
      pinCodeStorage_(Dependencies::get(pinCodeStorage)),
      laContextWrapper_(Dependencies::get(laContextWrapper)),
      lockDirectory_(std::move(lockDirectory)) {}

fs::path PinCodeCacheManager::lockPath() const {
    return (lockDirectory_ ? *lockDirectory_ : groupDirectory()) / "pin-cache.lock";
}

Bytes PinCodeCacheManager::makeSalt() {
    const auto length = 16 + static_cast<int>(randomUniform(17));
    return randomBytes(length);
}

template <class Work>
auto PinCodeCacheManager::locked(const char* function, Work&& work, SourceLine line) -> decltype(work()) {
    try {
        FileLock lock(lockPath());
        return work();
    } catch (const PinCodeCacheError&) {
        throw;
    } catch (...) {
        throw PinCodeCacheError::general(function, AnyError::fromCurrentException(), line);
    }
}

bool PinCodeCacheManager::hasDeviceKey() { return crypto_->kekBackend(tagBytes()) != DeviceKeyBackend::none; }

std::optional<Bytes> PinCodeCacheManager::readBytes(const char* key, const char* function) {
    const auto json = keychain_->readEncoded(key);
    if (!json) {
        return std::nullopt;
    }
    auto value = KeychainCoding<Bytes>::decode(*json);
    if (!value) {
        fail(function, sourceLine(), "A keychain item of the PIN cache is damaged");
    }
    return value;
}

void PinCodeCacheManager::recoverLocked() {
    const Bytes staged = tagBytes(stagedKekTag);
    if (crypto_->kekBackend(staged) != DeviceKeyBackend::none) {
        // A set-up that did not finish: committed when the stored content key opens under the
        // staged key (it becomes the device key), abandoned otherwise (it goes).
        bool committed = false;
        if (const auto sealedCek = readBytes(cekKeychainKey, "initCache(with:)")) {
            try {
                const auto keys = crypto_->getKeysFromEnclave(staged);
                crypto_->decryptCEK(*sealedCek, crypto_->deriveKEK(*keys.privateKey, keys.publicKey));
                committed = true;
            } catch (const CryptoManagerError& error) {
                const auto* cause = deviceKeyCause(error);
                if (cause != nullptr && cause->is<DeviceKeyError::tpmUnavailable>()) {
                    throw; // cannot tell yet: leave everything as it is
                }
            }
        }
        if (committed) {
            pinCodeStorage_->clean();
            crypto_->moveKEK(staged, tagBytes());
        } else {
            crypto_->deleteKEK(staged);
        }
    }
    if (hasDeviceKey()) {
        return;
    }
    // Without the device key nothing sealed can be opened: any item or PIN entry left is an
    // erasure that did not finish. Removing it is tidying, so a failure waits for the next
    // call; only a keychain that cannot be read is an error here.
    bool itemsLeft = false;
    for (const char* key : cacheItems) {
        itemsLeft = itemsLeft || keychain_->readEncoded(key).has_value();
    }
    if (itemsLeft) {
        KeychainBatch batch;
        for (const char* key : cacheItems) {
            batch.remove(key);
        }
        keychain_->apply(batch);
    }
    try {
        if (pinCodeStorage_->hasPins()) {
            pinCodeStorage_->clean();
        }
    } catch (const PinCodeStorageError&) {
    }
}

void PinCodeCacheManager::initCache(const std::string& masterPassword) {
    locked("initCache(with:)", [&] {
        recoverLocked();
        const Bytes salt = makeSalt();
        const SecureBytes hash = crypto_->hash(masterPassword, salt, hashByteCount);
        // The old device key stays until the items that name the new content key are
        // written: a failure before that leaves the old cache whole and readable.
        const Bytes staged = tagBytes(stagedKekTag);
        crypto_->createKEK(staged);
        try {
            const auto keys = crypto_->getKeysFromEnclave(staged);
            const SecureBytes kek = crypto_->deriveKEK(*keys.privateKey, keys.publicKey);
            Bytes cek = randomBytes(32);
            WipeOnExit wipeCek(cek);
            const Bytes sealedCek = crypto_->encryptCEK(cek, kek);
            // One write: a failure leaves the old items whole rather than a mix of old and new.
            KeychainBatch batch;
            batch.remove(failedAuthKeychainKey);
            const bool encoded = batch.set(sealedCek, cekKeychainKey, VNAccessibilityType::any) &&
                                 batch.set(Bytes(hash.begin(), hash.end()), hashKeychainKey, VNAccessibilityType::any) &&
                                 batch.set(salt, saltKeychainKey, VNAccessibilityType::any);
            if (!encoded || !keychain_->apply(batch)) {
                fail("initCache(with:)", sourceLine(), "Something went wrong with cache initialization");
            }
        } catch (...) {
            try {
                crypto_->deleteKEK(staged);
            } catch (...) {
                // recoverLocked removes it at the next call: it opens no stored content key.
            }
            throw;
        }
        try {
            // PINs sealed under the old content key can never be opened again; keeping them
            // would only make hasPins answer yes for PINs that every getPin then refuses.
            pinCodeStorage_->clean();
            crypto_->moveKEK(staged, tagBytes());
        } catch (...) {
            // The old content key is replaced, so the old cache is gone: erase what is left
            // rather than keep a master password that unlocks nothing. What cannot be erased
            // now goes at the next call; without a device key nothing of it is readable.
            const auto cause = AnyError::fromCurrentException();
            try {
                eraseLocked();
            } catch (...) {
            }
            throw PinCodeCacheError::general("initCache(with:)", cause);
        }
    });
}

AuthResult PinCodeCacheManager::auth(const std::string& masterPassword) {
    return locked("auth(with:)", [&]() -> AuthResult {
        recoverLocked();
        const auto salt = readBytes(saltKeychainKey, "auth(with:)");
        auto stored = readBytes(hashKeychainKey, "auth(with:)");
        if (!salt || !stored || !hasDeviceKey()) {
            fail("auth(with:)", sourceLine(), "Failed to retrieve stored credentials");
        }
        WipeOnExit wipeStored(*stored);
        const auto blocked = [&] {
            // Blocked whatever the erasure manages: the device key goes first, and a counter
            // at the limit refuses every later guess until the rest is gone.
            try {
                eraseLocked();
            } catch (...) {
            }
            return AuthResult::masterPasswordBlocked{};
        };
        // A counter that cannot be read as a number counts as spent.
        std::int64_t previous = 0;
        if (const auto counter = keychain_->readEncoded(failedAuthKeychainKey)) {
            previous = std::max<std::int64_t>(0, KeychainCoding<std::int64_t>::decode(*counter).value_or(authAttemptsLimit));
        }
        if (previous >= authAttemptsLimit) {
            return blocked();
        }
        // Counted before it is checked, under the cache lock: a guess that cannot be counted
        // is never compared, and the other deliverable cannot interleave a count of its own.
        const std::int64_t attempt = previous + 1;
        if (!keychain_->set(attempt, failedAuthKeychainKey, VNAccessibilityType::any)) {
            fail("auth(with:)", sourceLine(),
                 "The failed-attempt counter cannot be written; the master password was not checked");
        }
        const SecureBytes candidate = crypto_->hash(masterPassword, *salt, hashByteCount);
        if (sameHash(candidate, *stored)) {
            keychain_->deleteItem(failedAuthKeychainKey);
            return AuthResult::success{};
        }
        if (attempt >= authAttemptsLimit) {
            return blocked();
        }
        return AuthResult::invalidMasterPassword{static_cast<int>(authAttemptsLimit - attempt)};
    });
}

void PinCodeCacheManager::auth() {
    try {
        laContextWrapper_->performBiometricAuthentication();
    } catch (...) {
        throw PinCodeCacheError::general("auth()", AnyError::fromCurrentException());
    }
}

template <class Work>
auto PinCodeCacheManager::eraseWhenKeyLost(const char* function, Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const CryptoManagerError& error) {
        const auto* lost = lostDeviceKey(error);
        if (lost == nullptr) {
            throw;
        }
        // Left in place, the cache would keep a master password that unlocks nothing; erased,
        // the user is asked for a new one and the PINs are typed once more.
        const std::string reason = lost->reason;
        eraseLocked();
        throw PinCodeCacheError::general(
            function, AnyError(DeviceKeyError(DeviceKeyError::keyLost{
                          reason + "; the PIN cache was erased: set the master password again"})));
    }
}

void PinCodeCacheManager::eraseLocked() {
    try {
        crypto_->deleteKEK(tagBytes(stagedKekTag));
        crypto_->deleteKEK(tagBytes());
    } catch (...) {
        throw PinCodeCacheError::general("eraseCache()", AnyError::fromCurrentException());
    }
    KeychainBatch batch;
    for (const char* key : cacheItems) {
        batch.remove(key);
    }
    if (!keychain_->apply(batch)) {
        fail("eraseCache()", sourceLine(), "Something went wrong with removing the cache items");
    }
    try {
        pinCodeStorage_->clean();
    } catch (...) {
        throw PinCodeCacheError::general("eraseCache()", AnyError::fromCurrentException());
    }
}

void PinCodeCacheManager::eraseCache() {
    locked("eraseCache()", [&] { eraseLocked(); });
}

void PinCodeCacheManager::savePin(const std::string& serial, const std::string& pin,
                                  const std::string& serialNumber) {
    locked("savePin(for:pin:)", [&] {
        recoverLocked();
        const auto sealedCek = readBytes(cekKeychainKey, "savePin(for:pin:)");
        if (!sealedCek) {
            fail("savePin(for:pin:)", sourceLine(), "Something went wrong with reading CEK from keychain");
        }
        const Bytes box = eraseWhenKeyLost("savePin(for:pin:)", [&] {
            return crypto_->encrypt(bytesOf(pin), *sealedCek, tagBytes());
        });
        pinCodeStorage_->savePin(serial, box, serialNumber);
    });
}

std::string PinCodeCacheManager::getPin(const std::string& serial, const std::string& serialNumber) {
    return locked("getPin(for:)", [&] {
        recoverLocked();
        const auto sealedCek = readBytes(cekKeychainKey, "getPin(for:)");
        if (!sealedCek) {
            fail("getPin(for:)", sourceLine(), "Something went wrong with reading CEK from keychain");
        }
        const auto entry = pinCodeStorage_->getPin(serial);
        if (!entry) {
            fail("getPin(for:)", sourceLine(), "Something went wrong with PIN retrieving");
        }
        // Each wrong PIN spends one of the token's retries: a PIN saved for another token
        // with the same serial, or before the full serial number was kept, is never sent.
        if (entry->serialNumber != serialNumber) {
            fail("getPin(for:)", sourceLine(), "The cached PIN was saved for another token");
        }
        const SecureBytes pin = eraseWhenKeyLost("getPin(for:)", [&] {
            return crypto_->decrypt(entry->encryptedPin, *sealedCek, tagBytes());
        });
        // A damaged PIN must not reach the token as replacement characters: each wrong PIN
        // spends one of the token's few retries.
        if (!isValidUtf8(pin)) {
            fail("getPin(for:)", sourceLine(), "The cached PIN is not valid UTF-8");
        }
        return std::string(pin.begin(), pin.end());
    });
}

void PinCodeCacheManager::deletePin(const std::string& serial) {
    locked("deletePin(for:)", [&] { pinCodeStorage_->deletePin(serial); });
}

void PinCodeCacheManager::changePassword(const std::string& masterPassword) {
    locked("changePassword(with:)", [&] {
        recoverLocked();
        if (!hasDeviceKey()) {
            fail("changePassword(with:)", sourceLine(), "Something went wrong with master password changing");
        }
        const Bytes salt = makeSalt();
        const SecureBytes hash = crypto_->hash(masterPassword, salt, hashByteCount);
        // Hash and salt in one write: a failure between them would lock the user out.
        KeychainBatch batch;
        batch.remove(failedAuthKeychainKey);
        const bool encoded = batch.set(Bytes(hash.begin(), hash.end()), hashKeychainKey, VNAccessibilityType::any) &&
                             batch.set(salt, saltKeychainKey, VNAccessibilityType::any);
        if (!encoded || !keychain_->apply(batch)) {
            fail("changePassword(with:)", sourceLine(), "Something went wrong with master password changing");
        }
    });
}

bool PinCodeCacheManager::isMasterPasswordSet() {
    return locked("isMasterPasswordSet()", [&] {
        try {
            recoverLocked();
        } catch (...) {
            // Whatever is left, the answer below holds: without a device key there is no cache.
        }
        return hasDeviceKey() && readBytes(hashKeychainKey, "isMasterPasswordSet()").has_value();
    });
}

DeviceKeyBackend PinCodeCacheManager::protection() {
    return isMasterPasswordSet() ? locked("protection()", [&] { return crypto_->kekBackend(tagBytes()); })
                                 : DeviceKeyBackend::none;
}

} // namespace keyvane
