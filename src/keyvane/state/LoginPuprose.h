#pragma once

#include "shared/errors/CaseEnum.h"
#include "shared/utils/Bytes.h"

#include <ostream>
#include <set>
#include <string>

namespace keyvane::app {

// The passkeys the user asked to delete, and the token that holds them.
struct CredentialsDeleteRequest {
    std::set<Bytes> credsIds; // key identifiers
    std::string tokenSerial;

    bool operator==(const CredentialsDeleteRequest&) const = default;
};

namespace login_puprose {
// The login window is open so that the user logs in to the token holding passkeys to delete.
struct deleteCredentials {
    CredentialsDeleteRequest request;
    bool operator==(const deleteCredentials&) const = default;
};
// The login window is open to log in to any token and refresh its passkey list.
struct justSync {
    bool operator==(const justSync&) const = default;
};
} // namespace login_puprose

// Why the login window is open (the name's spelling is the established one).
class LoginPuprose final : public CaseEnum<login_puprose::deleteCredentials, login_puprose::justSync> {
public:
    using CaseEnum::CaseEnum;
    using deleteCredentials = login_puprose::deleteCredentials;
    using justSync = login_puprose::justSync;

    friend std::ostream& operator<<(std::ostream& out, const LoginPuprose& purpose);
};

} // namespace keyvane::app
