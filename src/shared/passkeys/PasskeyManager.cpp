#include "shared/passkeys/PasskeyManager.h"

#include "shared/files/FileError.h"
#include "shared/pkcs11/Pkcs11Error.h"

#include <QDebug>

#include <map>

namespace keyvane {

Pkcs11Template passkeyMetadataTemplate() {
    auto result = dataObjectTemplate();
    result.dataAttrs[Pkcs11DataAttribute::objectId] = passkeyObjectId();
    return result;
}

PasskeyManager::PasskeyManager() : PasskeyManager(Dependencies::get(pkcs11Manager)) {}

PasskeyManager::PasskeyManager(std::shared_ptr<Pkcs11ManagerProtocol> pkcsManager,
                               std::optional<std::filesystem::path> lockFolder)
    : pkcsManager_(std::move(pkcsManager)), lockFolder_(std::move(lockFolder)) {}

std::filesystem::path PasskeyManager::registrationLockPath(const std::string& serial) const {
    return tokenLockPath(lockFolder_.path(), "registration", serial);
}

namespace {
class HeldRegistration final : public RegistrationHold {
public:
    explicit HeldRegistration(SharedFileLock lock) : lock_(std::move(lock)) {}

private:
    SharedFileLock lock_;
};
} // namespace

std::unique_ptr<RegistrationHold> PasskeyManager::holdForRegistration(const std::string& serial) {
    return PasskeyManagerError::mapping([&]() -> std::unique_ptr<RegistrationHold> {
        return std::make_unique<HeldRegistration>(
            SharedFileLock::take(registrationLockPath(serial), SharedFileLock::Mode::shared));
    });
}

std::shared_ptr<Pkcs11TokenProtocol> PasskeyManager::getToken(const std::string& serial) {
    auto token = pkcsManager_->getToken(serial);
    if (!token) {
        throw PasskeyManagerError(PasskeyManagerError::tokenNotFound{});
    }
    return token;
}

void PasskeyManager::withLoggedInToken(const std::string& serial, const char* function,
                                       const std::function<void(const Pkcs11TokenProtocol&)>& operation) {
    const auto token = getToken(serial);
    token->runAsOneJob([&] {
        if (!token->isLoggedIn()) {
            throw PasskeyManagerError::general(function, "The token session is not logged in");
        }
        operation(*token);
    });
}

namespace {

constexpr const char* findPrivateKeyFunction = "findPrivateKey(for:by:)";

// The key that a search by one CKA_ID found: none, that one, or an error for several.
std::optional<Pkcs11Object> onlyKey(std::vector<Pkcs11Object> found) {
    if (found.empty()) {
        return std::nullopt;
    }
    if (found.size() > 1) {
        throw PasskeyManagerError::general(findPrivateKeyFunction, "More than 1 private key were found");
    }
    return std::move(found.front());
}

// Whether the library call failed because the object no longer exists: another program
// destroyed it between the search that found it and this call.
bool isGone(const Pkcs11Error& error) {
    const auto* internal = error.as<Pkcs11Error::internalError>();
    return internal != nullptr && internal->rv == CKR_OBJECT_HANDLE_INVALID;
}

// Destroys the object; one that another program destroyed meanwhile is gone as asked.
void destroy(const Pkcs11Object& object) {
    try {
        object.deleteObject();
    } catch (const Pkcs11Error& error) {
        if (!isGone(error)) {
            throw;
        }
    }
}

// Visits every passkey metadata object with its record, in the order of the token's search.
// An unreadable record (a newer format, a damaged write) or one without a key identifier is
// logged and passed over: it must not hide or endanger the other passkeys, nor be destroyed as
// if it were an orphan. One that another program destroyed since the search is passed over too.
// Any other failing library call ends the walk.
void forEachPasskey(const Pkcs11TokenProtocol& token,
                    const std::function<void(const Pkcs11Object&, const KeyInfo&)>& visit) {
    for (const auto& object : token.findObjects(passkeyMetadataTemplate())) {
        Bytes value;
        try {
            value = object.getValue(Pkcs11DataAttribute::value);
        } catch (const Pkcs11Error& error) {
            if (!isGone(error)) {
                throw;
            }
            continue;
        }
        std::optional<PasskeyMetadata> metadata;
        try {
            metadata = PasskeyMetadata::from(value);
        } catch (const PasskeyMetadataError& error) {
            qWarning("passkey metadata object %llu on token %s cannot be read (%s); left as it is",
                     static_cast<unsigned long long>(object.object()), token.serial().c_str(),
                     error.description().c_str());
            continue;
        }
        if (metadata->keyInfo.ckaID.empty()) {
            qWarning("passkey metadata object %llu on token %s has no key identifier; left as it is",
                     static_cast<unsigned long long>(object.object()), token.serial().c_str());
            continue;
        }
        visit(object, metadata->keyInfo);
    }
}

// The token's private keys by CKA_ID, from one search made when the first passkey asks for its
// key (so a failing search ends the operation at the same point as a search per passkey
// would). It answers exactly what findPrivateKey would answer for each identifier. Should a
// key's CKA_ID be unreadable, the index cannot tell whether it matches, and every lookup falls
// back to findPrivateKey's own search rather than take a passkey for an orphan; so does a key
// that another program destroyed between the search and the read of its CKA_ID.
class PrivateKeyIndex {
public:
    PrivateKeyIndex(const PasskeyManager& manager, const Pkcs11TokenProtocol& token)
        : manager_(manager), token_(token) {}

    std::optional<Pkcs11Object> find(const Bytes& keyId) {
        load();
        if (!isComplete_) {
            return manager_.findPrivateKey(token_, keyId);
        }
        const auto found = keys_.find(keyId);
        return found == keys_.end() ? std::nullopt : onlyKey(found->second);
    }
    // The key of the identifier was destroyed.
    void forget(const Bytes& keyId) { keys_.erase(keyId); }
    // Whether the lookups answer from the one search already made (rather than a search each).
    bool isComplete() const { return isLoaded_ && isComplete_; }

private:
    void load() {
        if (isLoaded_) {
            return;
        }
        for (auto& key : token_.findObjects(privateKeyTemplate())) {
            try {
                keys_[key.getValue(Pkcs11DataAttribute::id)].push_back(std::move(key));
            } catch (const Pkcs11Error& error) {
                const auto* internal = error.as<Pkcs11Error::internalError>();
                if (internal == nullptr ||
                    (internal->rv != CKR_ATTRIBUTE_SENSITIVE && internal->rv != CKR_ATTRIBUTE_TYPE_INVALID &&
                     internal->rv != CKR_OBJECT_HANDLE_INVALID)) {
                    throw;
                }
                isComplete_ = false;
            }
        }
        isLoaded_ = true;
    }

    const PasskeyManager& manager_;
    const Pkcs11TokenProtocol& token_;
    std::map<Bytes, std::vector<Pkcs11Object>> keys_;
    bool isLoaded_ = false;
    bool isComplete_ = true;
};

} // namespace

std::optional<SharedFileLock> PasskeyManager::lockOutRegistrations(const std::string& serial) const {
    try {
        return SharedFileLock::tryTake(registrationLockPath(serial), SharedFileLock::Mode::exclusive);
    } catch (const FileError& error) {
        qWarning("the registration lock cannot be used (%s); orphaned passkey metadata is left on the token",
                 error.description().c_str());
        return std::nullopt;
    }
}

std::vector<PasskeyCredentials> PasskeyManager::getCredentials(const std::string& serial) {
    return PasskeyManagerError::mapping([&] {
        std::vector<PasskeyCredentials> credentials;
        constexpr const char* function = "getCredentials(serial:)";
        withLoggedInToken(serial, function, [&](const Pkcs11TokenProtocol& token) {
            // Taken before the searches: a registration that wrote its metadata object before
            // them still holds its share until its key exists, so the lock is not free then.
            const auto noRegistration = lockOutRegistrations(serial);
            PrivateKeyIndex keys(*this, token);
            bool loginConfirmed = false;
            forEachPasskey(token, [&](const Pkcs11Object& object, const KeyInfo& keyInfo) {
                if (keys.find(keyInfo.ckaID)) {
                    credentials.push_back(keyInfo.credentials(serial));
                    return;
                }
                if (!noRegistration) {
                    return; // perhaps a registration's passkey before its key: a later listing decides
                }
                // Private keys are hidden from a session that is not logged in: a login lost
                // during the key search (another program's logout on a token whose login all
                // share, the token's timeout, a reset) would make every passkey look orphaned.
                // The verdict stands only when the session is still logged in after the search.
                if (!loginConfirmed && !token.isLoggedIn()) {
                    throw PasskeyManagerError::general(function, "The token session was logged out during the listing");
                }
                loginConfirmed = keys.isComplete();
                destroy(object); // an orphan: its key is gone
            });
        });
        return credentials;
    });
}

void PasskeyManager::deleteCredentials(const std::set<Bytes>& keyIds, const std::string& serial) {
    PasskeyManagerError::mapping([&] {
        withLoggedInToken(serial, "deleteCredentials(_:serial:)", [&](const Pkcs11TokenProtocol& token) {
            PrivateKeyIndex keys(*this, token);
            forEachPasskey(token, [&](const Pkcs11Object& object, const KeyInfo& keyInfo) {
                if (keyIds.count(keyInfo.ckaID) == 0) {
                    return;
                }
                const auto key = keys.find(keyInfo.ckaID); // looked up before anything is destroyed
                destroy(object);
                if (key) {
                    destroy(*key);
                    keys.forget(keyInfo.ckaID);
                }
            });
        });
    });
}

std::optional<Pkcs11Object> PasskeyManager::findPrivateKey(const Pkcs11TokenProtocol& token,
                                                           const Bytes& keyId) const {
    return PasskeyManagerError::mapping([&]() -> std::optional<Pkcs11Object> {
        if (keyId.empty()) {
            throw PasskeyManagerError::general(findPrivateKeyFunction, "Empty key identifier");
        }
        auto keyTemplate = privateKeyTemplate();
        keyTemplate.dataAttrs[Pkcs11DataAttribute::id] = keyId;
        return onlyKey(token.findObjects(keyTemplate));
    });
}

Bytes PasskeyManager::createKeyPair(const std::string&, const Bytes&, const Bytes&) {
    throw PasskeyManagerError::general("createKeyPair(serial:keyId:label:)", "Only the extension creates passkeys");
}

Bytes PasskeyManager::sign(const PasskeyCredentials&, const Bytes&) {
    throw PasskeyManagerError::general("sign(with:_:)", "Only the extension signs with passkeys");
}

std::shared_ptr<PasskeyManagerProtocol> makeLivePasskeyManager() { return std::make_shared<PasskeyManager>(); }

} // namespace keyvane
