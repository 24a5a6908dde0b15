#include "shared/pin_cache/PinCodeCacheManager.h"

#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/crypto/CryptoManagerError.h"
#include "shared/crypto/CryptoManagerProtocol.h"
#include "shared/crypto/DeviceKeyError.h"
#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"
#include "shared/keychain/VarnelKeychainManagerProtocol.h"
#include "shared/pin_cache/PinCodeCacheError.h"
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

Bytes tagBytes() {
    const std::string tag = PinCodeCacheManager::kekTag;
    return Bytes(tag.begin(), tag.end());
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
const DeviceKeyError::keyLost* lostDeviceKey(const CryptoManagerError& error) {
    const auto& cause = error.as<CryptoManagerError::generalError>()->error;
    const auto* deviceKeyError = cause ? cause->as<DeviceKeyError>() : nullptr;
    return deviceKeyError ? deviceKeyError->as<DeviceKeyError::keyLost>() : nullptr;
}

} // namespace

std::shared_ptr<PinCodeCacheManagerProtocol> makeLivePinCodeCacheManager() {
    return std::make_shared<PinCodeCacheManager>();
}

PinCodeCacheManager::PinCodeCacheManager(std::optional<fs::path> lockDirectory)
    : lockDirectory_(std::move(lockDirectory)) {}

fs::path PinCodeCacheManager::lockPath() const {
    return (lockDirectory_ ? *lockDirectory_ : groupDirectory()) / "pin-cache.lock";
}

Bytes PinCodeCacheManager::makeSalt() {
    const auto length = 16 + static_cast<int>(randomUniform(17));
    return randomBytes(length);
}

template <class Work>
auto PinCodeCacheManager::locked(const char* function, Work&& work) -> decltype(work()) {
    const SourceLine line = sourceLine();
    try {
        FileLock lock(lockPath());
        return work();
    } catch (const PinCodeCacheError&) {
        throw;
    } catch (...) {
        throw PinCodeCacheError(PinCodeCacheError::generalError{function, line, AnyError::fromCurrentException()});
    }
}

void PinCodeCacheManager::initCache(const std::string& masterPassword) {
    locked("initCache(with:)", [&] {
        auto crypto = Dependencies::get(cryptoManager);
        const Bytes salt = makeSalt();
        const SecureBytes hash = crypto->hash(masterPassword, salt, hashByteCount);
        const Bytes tag = tagBytes();
        crypto->createKEK(tag);
        const auto keys = crypto->getKeysFromEnclave(tag);
        const SecureBytes kek = crypto->deriveKEK(*keys.privateKey, keys.publicKey);
        Bytes cek = randomBytes(32);
        WipeOnExit wipeCek(cek);
        const Bytes sealedCek = crypto->encryptCEK(cek, kek);

        // One write: a failure leaves the old items whole rather than a mix of old and new.
        KeychainBatch batch;
        batch.remove(failedAuthKeychainKey);
        const bool encoded = batch.set(sealedCek, cekKeychainKey, VNAccessibilityType::any) &&
                             batch.set(Bytes(hash.begin(), hash.end()), hashKeychainKey, VNAccessibilityType::any) &&
                             batch.set(salt, saltKeychainKey, VNAccessibilityType::any);
        if (!encoded || !Dependencies::get(keychainManager)->apply(batch)) {
            fail("initCache(with:)", sourceLine(), "Something went wrong with cache initialization");
        }
        // PINs sealed under an earlier content key can never be opened again; keeping them
        // would only make hasPins answer yes for PINs that every getPin then refuses.
        Dependencies::get(pinCodeStorage)->clean();
    });
}

AuthResult PinCodeCacheManager::auth(const std::string& masterPassword) {
    return locked("auth(with:)", [&]() -> AuthResult {
        auto keychain = Dependencies::get(keychainManager);
        const auto salt = keychain->get<Bytes>(saltKeychainKey);
        auto stored = keychain->get<Bytes>(hashKeychainKey);
        if (!salt || !stored) {
            fail("auth(with:)", sourceLine(), "Failed to retrieve stored credentials");
        }
        WipeOnExit wipeStored(*stored);
        const SecureBytes candidate = Dependencies::get(cryptoManager)->hash(masterPassword, *salt, hashByteCount);
        if (sameHash(candidate, *stored)) {
            keychain->deleteItem(failedAuthKeychainKey);
            return AuthResult::success{};
        }
        // Read and written under the cache lock: the other deliverable cannot interleave a
        // count of its own, so every failure counts.
        const std::int64_t previous = std::max<std::int64_t>(0, keychain->get<std::int64_t>(failedAuthKeychainKey).value_or(0));
        const std::int64_t failures = std::min<std::int64_t>(previous, authAttemptsLimit) + 1;
        const bool written = keychain->set(failures, failedAuthKeychainKey, VNAccessibilityType::any);
        if (failures >= authAttemptsLimit || !written) {
            eraseLocked();
            return AuthResult::masterPasswordBlocked{};
        }
        return AuthResult::invalidMasterPassword{static_cast<int>(authAttemptsLimit - failures)};
    });
}

void PinCodeCacheManager::auth() {
    try {
        Dependencies::get(laContextWrapper)->performBiometricAuthentication();
    } catch (...) {
        throw PinCodeCacheError(PinCodeCacheError::generalError{"auth()", sourceLine(), AnyError::fromCurrentException()});
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
        throw PinCodeCacheError(PinCodeCacheError::generalError{
            function, sourceLine(),
            AnyError(DeviceKeyError(DeviceKeyError::keyLost{
                reason + "; the PIN cache was erased: set the master password again"}))});
    }
}

void PinCodeCacheManager::eraseLocked() {
    try {
        Dependencies::get(pinCodeStorage)->clean();
        Dependencies::get(cryptoManager)->deleteKEK(tagBytes());
    } catch (...) {
        throw PinCodeCacheError(
            PinCodeCacheError::generalError{"eraseCache()", sourceLine(), AnyError::fromCurrentException()});
    }
    KeychainBatch batch;
    batch.remove(cekKeychainKey);
    batch.remove(hashKeychainKey);
    batch.remove(saltKeychainKey);
    batch.remove(failedAuthKeychainKey);
    Dependencies::get(keychainManager)->apply(batch);
}

void PinCodeCacheManager::eraseCache() {
    locked("eraseCache()", [&] { eraseLocked(); });
}

void PinCodeCacheManager::savePin(const std::string& serial, const std::string& pin) {
    locked("savePin(for:pin:)", [&] {
        const auto sealedCek = Dependencies::get(keychainManager)->get<Bytes>(cekKeychainKey);
        if (!sealedCek) {
            fail("savePin(for:pin:)", sourceLine(), "Something went wrong with reading CEK from keychain");
        }
        const Bytes box = eraseWhenKeyLost("savePin(for:pin:)", [&] {
            return Dependencies::get(cryptoManager)->encrypt(bytesOf(pin), *sealedCek, tagBytes());
        });
        Dependencies::get(pinCodeStorage)->savePin(serial, box);
    });
}

std::string PinCodeCacheManager::getPin(const std::string& serial) {
    return locked("getPin(for:)", [&] {
        const auto sealedCek = Dependencies::get(keychainManager)->get<Bytes>(cekKeychainKey);
        if (!sealedCek) {
            fail("getPin(for:)", sourceLine(), "Something went wrong with reading CEK from keychain");
        }
        const auto box = Dependencies::get(pinCodeStorage)->getPin(serial);
        if (!box) {
            fail("getPin(for:)", sourceLine(), "Something went wrong with PIN retrieving");
        }
        const SecureBytes pin = eraseWhenKeyLost("getPin(for:)", [&] {
            return Dependencies::get(cryptoManager)->decrypt(*box, *sealedCek, tagBytes());
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
    locked("deletePin(for:)", [&] { Dependencies::get(pinCodeStorage)->deletePin(serial); });
}

void PinCodeCacheManager::changePassword(const std::string& masterPassword) {
    locked("changePassword(with:)", [&] {
        const Bytes salt = makeSalt();
        const SecureBytes hash = Dependencies::get(cryptoManager)->hash(masterPassword, salt, hashByteCount);
        // Hash and salt in one write: a failure between them would lock the user out.
        KeychainBatch batch;
        batch.remove(failedAuthKeychainKey);
        const bool encoded = batch.set(Bytes(hash.begin(), hash.end()), hashKeychainKey, VNAccessibilityType::any) &&
                             batch.set(salt, saltKeychainKey, VNAccessibilityType::any);
        if (!encoded || !Dependencies::get(keychainManager)->apply(batch)) {
            fail("changePassword(with:)", sourceLine(), "Something went wrong with master password changing");
        }
    });
}

bool PinCodeCacheManager::isMasterPasswordSet() {
    try {
        return Dependencies::get(keychainManager)->get<Bytes>(hashKeychainKey).has_value();
    } catch (...) {
        return false;
    }
}

} // namespace keyvane
