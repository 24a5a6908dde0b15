#include "shared/crypto/CryptoManager.h"

#include "shared/crypto/CryptoManagerError.h"
#include "shared/crypto/DeviceKeyError.h"
#include "shared/crypto/OpenSslError.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <optional>

namespace keyvane {

namespace {

constexpr std::size_t nonceLength = 12;
constexpr std::size_t tagLength = 16;
constexpr std::size_t keyLength = 32;

struct CipherCtxDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter>;
struct KdfDeleter {
    void operator()(EVP_KDF* kdf) const noexcept { EVP_KDF_free(kdf); }
};
struct KdfCtxDeleter {
    void operator()(EVP_KDF_CTX* ctx) const noexcept { EVP_KDF_CTX_free(ctx); }
};

int intLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT32_MAX)) {
        throw OpenSslError("input too long");
    }
    return static_cast<int>(size);
}

Bytes toBytes(ByteView view) { return Bytes(view.begin(), view.end()); }

} // namespace

std::optional<Bytes> sealCombined(ByteView plaintext, ByteView key) {
    if (key.size() != keyLength) {
        return std::nullopt;
    }
    Bytes box(nonceLength + plaintext.size() + tagLength);
    if (RAND_bytes(box.data(), static_cast<int>(nonceLength)) != 1) {
        return std::nullopt;
    }
    CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    int written = 0;
    int finalWritten = 0;
    if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(nonceLength), nullptr) != 1 ||
        EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), box.data()) != 1 ||
        EVP_EncryptUpdate(ctx.get(), box.data() + nonceLength, &written, plaintext.data(),
                          intLength(plaintext.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), box.data() + nonceLength + written, &finalWritten) != 1 ||
        static_cast<std::size_t>(written + finalWritten) != plaintext.size() ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(tagLength),
                            box.data() + nonceLength + plaintext.size()) != 1) {
        return std::nullopt;
    }
    return box;
}

std::optional<SecureBytes> openCombined(ByteView box, ByteView key) {
    // Too short to hold a nonce and a tag: refused before any decryption.
    if (key.size() != keyLength || box.size() < nonceLength + tagLength) {
        return std::nullopt;
    }
    const std::size_t cipherLength = box.size() - nonceLength - tagLength;
    SecureBytes plaintext(cipherLength);
    Bytes tag(box.end() - static_cast<std::ptrdiff_t>(tagLength), box.end());
    CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    int written = 0;
    int finalWritten = 0;
    std::uint8_t scratch[16];
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(nonceLength), nullptr) != 1 ||
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), box.data()) != 1 ||
        EVP_DecryptUpdate(ctx.get(), cipherLength > 0 ? plaintext.data() : scratch, &written,
                          box.data() + nonceLength, intLength(cipherLength)) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(tagLength), tag.data()) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), scratch, &finalWritten) != 1) {
        // A tag failure is a failure, never an empty or partial plaintext.
        return std::nullopt;
    }
    return plaintext;
}

std::shared_ptr<CryptoManagerProtocol> makeLiveCryptoManager() { return std::make_shared<CryptoManager>(); }

void CryptoManager::createKEK(ByteView tag) {
    try {
        Dependencies::get(deviceKeyStore)->createKey(toBytes(tag));
    } catch (...) {
        throw CryptoManagerError::general("createKEK(with:)", AnyError::fromCurrentException());
    }
}

EnclaveKeys CryptoManager::getKeysFromEnclave(ByteView tag) {
    EnclaveKeys keys;
    try {
        keys.privateKey = Dependencies::get(deviceKeyStore)->findKey(toBytes(tag));
        if (keys.privateKey) {
            keys.publicKey = keys.privateKey->publicKey();
        }
    } catch (const DeviceKeyError&) {
        // Kept as the cause: the PIN cache must tell a TPM that lost the key (erase, set up
        // again) from one that is only out of reach (wait for it).
        throw CryptoManagerError::general("getKeysFromEnclave(with:)", AnyError::fromCurrentException());
    } catch (...) {
        keys.privateKey.reset();
    }
    if (!keys.privateKey || keys.publicKey.empty()) {
        throw CryptoManagerError::general("getKeysFromEnclave(with:)", "Something went wrong with key pair retrieval");
    }
    return keys;
}

SecureBytes CryptoManager::deriveKEK(const DeviceKey& privateKey, const Bytes& publicKey) {
    try {
        SecureBytes shared = privateKey.keyAgreement(publicKey);
        std::unique_ptr<EVP_KDF, KdfDeleter> kdf(EVP_KDF_fetch(nullptr, "X963KDF", nullptr));
        std::unique_ptr<EVP_KDF_CTX, KdfCtxDeleter> ctx(kdf ? EVP_KDF_CTX_new(kdf.get()) : nullptr);
        char digest[] = "SHA256";
        const OSSL_PARAM params[] = {
            OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
            OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, shared.data(), shared.size()),
            OSSL_PARAM_construct_end(),
        };
        SecureBytes kek(keyLength);
        if (ctx && EVP_KDF_derive(ctx.get(), kek.data(), kek.size(), params) == 1) {
            return kek;
        }
    } catch (...) {
    }
    throw CryptoManagerError::general("deriveKEK(_:_:)", "Something went wrong with KEK deriving");
}

Bytes CryptoManager::encryptCEK(ByteView cek, const SecureBytes& kek) {
    auto box = sealCombined(cek, kek);
    if (!box) {
        throw CryptoManagerError::general("encryptCEK(cek:kek:)", OpenSslError("AES-GCM seal"));
    }
    return std::move(*box);
}

SecureBytes CryptoManager::decryptCEK(ByteView encryptedCEK, const SecureBytes& kek) {
    auto cek = openCombined(encryptedCEK, kek);
    if (!cek) {
        throw CryptoManagerError::general("decryptCEK(encryptedCEK:kek:)",
                                          "AES-GCM open failed: the box is too short or not authentic");
    }
    return std::move(*cek);
}

Bytes CryptoManager::encrypt(ByteView plaintext, ByteView sealedCEK, ByteView tag) {
    const auto keys = getKeysFromEnclave(tag);
    const SecureBytes kek = deriveKEK(*keys.privateKey, keys.publicKey);
    const SecureBytes cek = decryptCEK(sealedCEK, kek);
    auto box = sealCombined(plaintext, cek);
    if (!box) {
        throw CryptoManagerError::general("encrypt(_:with:_:)", "Something went wrong with data encryption");
    }
    return std::move(*box);
}

SecureBytes CryptoManager::decrypt(ByteView box, ByteView sealedCEK, ByteView tag) {
    const auto keys = getKeysFromEnclave(tag);
    const SecureBytes kek = deriveKEK(*keys.privateKey, keys.publicKey);
    const SecureBytes cek = decryptCEK(sealedCEK, kek);
    auto plaintext = openCombined(box, cek);
    if (!plaintext) {
        throw CryptoManagerError::general("decrypt(_:with:_:)", "Something went wrong with data decryption");
    }
    return std::move(*plaintext);
}

SecureBytes CryptoManager::hash(const std::string& password, ByteView salt, int keyByteCount) {
    if (keyByteCount > 0) {
        SecureBytes derived(static_cast<std::size_t>(keyByteCount));
        // An empty password is accepted; its pointer must still be valid.
        const char* text = password.empty() ? "" : password.data();
        static const std::uint8_t emptySalt[1] = {0};
        if (PKCS5_PBKDF2_HMAC(text, static_cast<int>(password.size()), salt.empty() ? emptySalt : salt.data(),
                              static_cast<int>(salt.size()), pbkdf2Iterations, EVP_sha256(), keyByteCount,
                              derived.data()) == 1) {
            return derived;
        }
    }
    throw CryptoManagerError::general("hash(password:salt:keyByteCount:)",
                                      "Something went wrong with password hashing");
}

DeviceKeyBackend CryptoManager::kekBackend(ByteView tag) {
    try {
        return Dependencies::get(deviceKeyStore)->backendOf(toBytes(tag));
    } catch (...) {
        throw CryptoManagerError::general("kekBackend(with:)", AnyError::fromCurrentException());
    }
}

void CryptoManager::moveKEK(ByteView from, ByteView to) {
    try {
        if (!Dependencies::get(deviceKeyStore)->moveKey(toBytes(from), toBytes(to))) {
            throw CryptoManagerError::general("moveKEK(from:to:)", "Something went wrong with key pair retrieval");
        }
    } catch (const CryptoManagerError&) {
        throw;
    } catch (...) {
        throw CryptoManagerError::general("moveKEK(from:to:)", AnyError::fromCurrentException());
    }
}

void CryptoManager::deleteKEK(ByteView tag) {
    try {
        Dependencies::get(deviceKeyStore)->deleteKey(toBytes(tag));
    } catch (...) {
        throw CryptoManagerError::general("deleteKEK(with:)", "Something went wrong with deleting KEK");
    }
}

} // namespace keyvane
