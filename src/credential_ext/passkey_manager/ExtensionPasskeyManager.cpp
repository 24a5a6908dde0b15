#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"

#include "credential_ext/passkey_formats/PublicPoint.h"
#include "shared/pkcs11/Pkcs11Error.h"

#include <algorithm>

namespace keyvane {

namespace {

// DER object identifier 1.2.840.10045.3.1.7: the curve P-256.
const Bytes& p256Parameters() {
    static const Bytes parameters{0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
    return parameters;
}

void addKeyAttributes(Pkcs11Template& keyTemplate, const Bytes& keyId, const Bytes& label) {
    keyTemplate.dataAttrs[Pkcs11DataAttribute::id] = keyId;
    keyTemplate.ulongAttrs[Pkcs11CkUlongAttribute::keyType] = CKK_EC;
    keyTemplate.dataAttrs[Pkcs11DataAttribute::label] = label;
}

} // namespace

Bytes ExtensionPasskeyManager::createKeyPair(const std::string& serial, const Bytes& keyId, const Bytes& label) {
    constexpr const char* function = "createKeyPair(serial:keyId:label:)";
    return PasskeyManagerError::mapping([&] {
        if (keyId.empty()) {
            // A key without identifier could never be told apart from another application's.
            throw PasskeyManagerError::general(function, "Empty key identifier");
        }
        const auto token = getToken(serial);

        auto publicTemplate = publicKeyTemplate();
        addKeyAttributes(publicTemplate, keyId, label);
        publicTemplate.dataAttrs[Pkcs11DataAttribute::ecdsa] = p256Parameters();
        auto privateTemplate = privateKeyTemplate();
        addKeyAttributes(privateTemplate, keyId, label);
        privateTemplate.boolAttrs[Pkcs11BoolAttribute::sign] = true;
        privateTemplate.boolAttrs[Pkcs11BoolAttribute::sensitive] = true;
        privateTemplate.boolAttrs[Pkcs11BoolAttribute::extractable] = false;

        const auto pair = token->generateKeyPair(publicTemplate, privateTemplate);
        // A failure after the generation must not leave a key that nobody received: it would
        // block a retry with the same identifier. Removal is best effort; the first error is the
        // one the caller hears.
        bool isPublicKeyRemoved = false;
        const auto removeGenerated = [&] {
            for (const auto* key : {&pair.publicKey, &pair.privateKey}) {
                if (key == &pair.publicKey && isPublicKeyRemoved) {
                    continue;
                }
                try {
                    key->deleteObject();
                } catch (const Error&) {
                }
            }
        };
        Bytes ecPoint;
        try {
            ecPoint = pair.publicKey.getValue(Pkcs11DataAttribute::ecpoint);
            pair.publicKey.deleteObject();
            isPublicKeyRemoved = true;
        } catch (...) {
            removeGenerated();
            throw;
        }
        try {
            (void)PublicPoint::fromEcPoint(ecPoint);
        } catch (const Error& error) {
            removeGenerated();
            throw PasskeyManagerError::general(function, AnyError(error));
        }
        return ecPoint;
    });
}

Bytes ExtensionPasskeyManager::sign(const PasskeyCredentials& credentials, const Bytes& data) {
    try {
        const auto token = getToken(credentials.tokenSerial);
        const auto listed = getCredentials(credentials.tokenSerial);
        if (std::find(listed.begin(), listed.end(), credentials) == listed.end()) {
            throw PasskeyManagerError(PasskeyManagerError::credsNotFound{});
        }
        const auto key = findPrivateKey(*token, credentials.keyId);
        if (!key) {
            throw PasskeyManagerError::general("sign(with:_:)", "Private key wasn't found");
        }
        return token->sign(data, *key);
    } catch (const Pkcs11Error& error) {
        if (error.is<Pkcs11Error::touchTimeExpired>()) {
            throw PasskeyManagerError(PasskeyManagerError::touchTimeExpired{});
        }
        throw PasskeyManagerError::from(error);
    } catch (const PasskeyManagerError&) {
        throw;
    } catch (...) {
        throw PasskeyManagerError::from(std::current_exception());
    }
}

} // namespace keyvane
