#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/storage/NotImplemented.h"
#include "shared/model/PasskeyCredentials.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace keyvane {

// The computer's copy of the passkeys listed from the tokens. Every operation fails only with
// CredentialsStorageError.
class CredentialsStorageProtocol {
public:
    virtual ~CredentialsStorageProtocol() = default;
    // Makes the passkey records of the token with this serial exactly one new record per
    // element (the elements' own tokenSerial is not used).
    virtual void updateCredentials(const std::vector<PasskeyCredentials>& credentials,
                                   const std::string& tokenSerial) = 0;
    // Every passkey record that belongs to a token.
    virtual std::vector<PasskeyCredentials> fetchAllCredentials() = 0;
    // Deletes the records of every token whose keyId is in the set.
    virtual void deleteCredentials(const std::set<Bytes>& keyIds) = 0;
    // Runs work while the records of the token are locked against every other thread and
    // process that goes through here: a read of the token and the write of its records inside
    // work are one step for the others, so a refresh never writes back a passkey that a
    // deletion took off the token and out of the records meanwhile. Not reentrant. Fails with
    // CredentialsStorageError when the lock cannot be taken; work's own exceptions pass through.
    virtual void withTokenRecordsLocked(const std::string& tokenSerial, const std::function<void()>& work) = 0;
};

inline const DependencyKey<CredentialsStorageProtocol> credentialsStorage{
    "credentialsStorage",
    detail::notImplemented<CredentialsStorageProtocol>("CredentialsStorage.liveValue не реализован"),
    detail::notImplemented<CredentialsStorageProtocol>("CredentialsStorage.liveValue не реализован")};

} // namespace keyvane
