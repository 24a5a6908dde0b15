#include "shared/passkeys/PasskeyManager.h"

#include "shared/pkcs11/Pkcs11Error.h"

#include <QDebug>

namespace keyvane {

Pkcs11Template passkeyMetadataTemplate() {
    auto result = dataObjectTemplate();
    result.dataAttrs[Pkcs11DataAttribute::objectId] = passkeyObjectId();
    return result;
}

PasskeyManager::PasskeyManager() : PasskeyManager(Dependencies::get(pkcs11Manager)) {}

PasskeyManager::PasskeyManager(std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager)
    : pkcsManager_(std::move(pkcsManager)) {}

std::shared_ptr<Pkcs11TokenProtocol> PasskeyManager::getToken(const std::string& serial) {
    auto token = pkcsManager_->getToken(serial);
    if (!token) {
        throw PasskeyManagerError(PasskeyManagerError::tokenNotFound{});
    }
    return token;
}

std::shared_ptr<Pkcs11TokenProtocol> PasskeyManager::getLoggedInToken(const std::string& serial,
                                                                      const char* function) {
    auto token = getToken(serial);
    if (!token->isLoggedIn()) {
        throw PasskeyManagerError(PasskeyManagerError::generalError{
            function, sourceLine(), TextError("The token session is not logged in")});
    }
    return token;
}

std::vector<PasskeyManager::MetadataObject> PasskeyManager::readMetadataObjects(
    const Pkcs11TokenProtocol& token) const {
    std::vector<MetadataObject> result;
    for (auto& object : token.findObjects(passkeyMetadataTemplate())) {
        const Bytes value = object.getValue(Pkcs11DataAttribute::value);
        std::optional<PasskeyMetadata> metadata;
        try {
            metadata = PasskeyMetadata::from(value);
            if (metadata->keyInfo.ckaID.empty()) {
                metadata.reset();
                qWarning("passkey metadata object %llu on token %s has no key identifier; left as it is",
                         static_cast<unsigned long long>(object.object()), token.serial().c_str());
            }
        } catch (const PasskeyMetadataError& error) {
            // One unreadable object (a newer format, a damaged write) must not hide or endanger
            // the other passkeys, nor be destroyed as if it were an orphan.
            qWarning("passkey metadata object %llu on token %s cannot be read (%s); left as it is",
                     static_cast<unsigned long long>(object.object()), token.serial().c_str(),
                     error.description().c_str());
        }
        result.push_back({std::move(object), std::move(metadata)});
    }
    return result;
}

std::vector<PasskeyCredentials> PasskeyManager::getCredentials(const std::string& serial) {
    return PasskeyManagerError::mapping([&] {
        const auto token = getLoggedInToken(serial, "getCredentials(serial:)");
        std::vector<PasskeyCredentials> credentials;
        for (const auto& [object, metadata] : readMetadataObjects(*token)) {
            if (!metadata) {
                continue;
            }
            if (findPrivateKey(*token, metadata->keyInfo.ckaID)) {
                credentials.push_back(metadata->keyInfo.credentials(serial));
            } else {
                object.deleteObject(); // an orphan: its key is gone
            }
        }
        return credentials;
    });
}

void PasskeyManager::deleteCredentials(const std::set<Bytes>& keyIds, const std::string& serial) {
    PasskeyManagerError::mapping([&] {
        const auto token = getLoggedInToken(serial, "deleteCredentials(_:serial:)");
        for (const auto& [object, metadata] : readMetadataObjects(*token)) {
            if (!metadata || keyIds.count(metadata->keyInfo.ckaID) == 0) {
                continue;
            }
            const auto key = findPrivateKey(*token, metadata->keyInfo.ckaID);
            object.deleteObject();
            if (key) {
                key->deleteObject();
            }
        }
    });
}

std::optional<Pkcs11Object> PasskeyManager::findPrivateKey(const Pkcs11TokenProtocol& token,
                                                           const Bytes& keyId) const {
    return PasskeyManagerError::mapping([&]() -> std::optional<Pkcs11Object> {
        if (keyId.empty()) {
            throw PasskeyManagerError(PasskeyManagerError::generalError{
                "findPrivateKey(for:by:)", sourceLine(), TextError("Empty key identifier")});
        }
        auto keyTemplate = privateKeyTemplate();
        keyTemplate.dataAttrs[Pkcs11DataAttribute::id] = keyId;
        auto objects = token.findObjects(keyTemplate);
        if (objects.empty()) {
            return std::nullopt;
        }
        if (objects.size() > 1) {
            throw PasskeyManagerError(PasskeyManagerError::generalError{
                "findPrivateKey(for:by:)", sourceLine(), TextError("More than 1 private key were found")});
        }
        return std::move(objects.front());
    });
}

Bytes PasskeyManager::createKeyPair(const std::string&, const Bytes&, const Bytes&) {
    throw PasskeyManagerError(PasskeyManagerError::generalError{
        "createKeyPair(serial:keyId:label:)", sourceLine(), TextError("Only the extension creates passkeys")});
}

Bytes PasskeyManager::sign(const PasskeyCredentials&, const Bytes&) {
    throw PasskeyManagerError(PasskeyManagerError::generalError{
        "sign(with:_:)", sourceLine(), TextError("Only the extension signs with passkeys")});
}

std::shared_ptr<PasskeyManagerProtocol> makeLivePasskeyManager() { return std::make_shared<PasskeyManager>(); }

} // namespace keyvane
