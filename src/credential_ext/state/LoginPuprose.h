#pragma once

#include "shared/errors/CaseEnum.h"
#include "shared/model/PasskeyCredentials.h"

#include <ostream>

namespace keyvane::ext {

namespace login_puprose {
// Sign an assertion with the chosen passkey: the login must happen on its token.
struct auth {
    PasskeyCredentials selectedCred;
    bool operator==(const auth&) const = default;
};
// Register the requested passkey on whichever token the user logs in to.
struct completeRegistration {
    bool operator==(const completeRegistration&) const = default;
};
// Log in to any token only to refresh the list of its passkeys.
struct justSync {
    bool operator==(const justSync&) const = default;
};
} // namespace login_puprose

// Why the extension's login sheet is open (the name's spelling is the established one).
class LoginPuprose final
    : public CaseEnum<login_puprose::auth, login_puprose::completeRegistration, login_puprose::justSync> {
public:
    using CaseEnum::CaseEnum;
    using auth = login_puprose::auth;
    using completeRegistration = login_puprose::completeRegistration;
    using justSync = login_puprose::justSync;

    friend std::ostream& operator<<(std::ostream& out, const LoginPuprose& purpose);
};

} // namespace keyvane::ext
