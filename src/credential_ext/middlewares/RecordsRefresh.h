#pragma once

#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/passkeys/PasskeyManagerProtocol.h"
#include "shared/storage/CredentialsStorageProtocol.h"

#include <string>

namespace keyvane::ext {

// Makes a token's records what the token lists, then publishes the identities from all
// records. The token is read and its records written under the token's records lock, as one
// step for other programs, so a passkey the main program deletes meanwhile is never written
// back. Failures leave as the services' own errors.
void refreshTokenRecords(PasskeyManagerProtocol& passkeys, CredentialsStorageProtocol& records,
                         CredentialIdentityStoreProtocol& identities, const std::string& serial);

} // namespace keyvane::ext
