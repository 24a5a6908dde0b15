#pragma once

#include "shared/passkeys/PasskeyManager.h"

#include <memory>
#include <string>

namespace keyvane {

// The passkey manager of the extension: the shared listing and deletion, plus generating a
// passkey's key pair on the token and signing with it. The extension's entry installs it under
// the passkeyManager key.
class ExtensionPasskeyManager final : public PasskeyManager {
public:
    using PasskeyManager::PasskeyManager;

    // Only the private key stays on the token: CKA_SIGN true, CKA_SENSITIVE true and
    // CKA_EXTRACTABLE false are set explicitly rather than left to the token's defaults. The
    // public point is checked before it is answered. When reading the point, removing the
    // public key or the check fails, both new objects are removed (best effort) and the first
    // error is raised.
    Bytes createKeyPair(const std::string& serial, const Bytes& keyId, const Bytes& label) override;
    Bytes sign(const PasskeyCredentials& credentials, const Bytes& data) override;
};

} // namespace keyvane
