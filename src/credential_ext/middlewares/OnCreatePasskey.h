#pragma once

#include "credential_ext/middlewares/ExtMiddleware.h"
#include "credential_ext/middlewares/RegistrationOutcome.h"
#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/passkeys/PasskeyManagerProtocol.h"
#include "shared/storage/CredentialsStorageProtocol.h"

#include <memory>

namespace keyvane::ext {

// The registration ceremony, after the login to the chosen token: refuses a second passkey for
// the same relying party and user name, writes the metadata object, has the token generate
// the key pair, checks that the token now lists the new passkey, refreshes the records and
// the published identities, and completes the request with the attestation.
//
// Whatever fails once the metadata object is written takes the new passkey off the token
// again (best effort), so the site is never left without a passkey that the token keeps and
// a retry is never refused as a duplicate. One ceremony runs at a time.
//
// The request may be answered cancelled while the ceremony runs (the window closes, the
// process is told to stop): the outcome then settles it. A ceremony that has not written yet
// stops; one that has takes its passkey off the token the same way, and raises no alert.
class OnCreatePasskey final : public ExtMiddleware {
public:
    explicit OnCreatePasskey(std::shared_ptr<RegistrationOutcome> outcome = std::make_shared<RegistrationOutcome>());

    MaybeStream process(const AppAction& action) override;

private:
    std::shared_ptr<PasskeyManagerProtocol> passkeyManager_;
    std::shared_ptr<CredentialsStorageProtocol> credentialsStorage_;
    std::shared_ptr<CredentialIdentityStoreProtocol> credentialIdentityStore_;
    std::shared_ptr<RegistrationOutcome> outcome_;
    CeremonyGuard guard_;
};

} // namespace keyvane::ext
