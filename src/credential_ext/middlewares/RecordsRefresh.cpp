#include "credential_ext/middlewares/RecordsRefresh.h"

namespace keyvane::ext {

void refreshTokenRecords(PasskeyManagerProtocol& passkeys, CredentialsStorageProtocol& records,
                         CredentialIdentityStoreProtocol& identities, const std::string& serial) {
    records.withTokenRecordsLocked(serial, [&] { records.updateCredentials(passkeys.getCredentials(serial), serial); });
    identities.update([&] { return records.fetchAllCredentials(); });
}

} // namespace keyvane::ext
