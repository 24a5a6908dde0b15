#pragma once

#include "shared/model/TokenInfo.h"
#include "shared/model/PasskeyCredentials.h"

#include <string>
#include <vector>

namespace keyvane {

// One token's group in a passkey list, identified by the token's serial. Folding a section
// open or shut is not a change of its content: isExpanded takes no part in equality.
struct CredentialsSection {
    TokenInfo token;
    std::vector<PasskeyCredentials> credentials;
    bool isExpanded = false;

    const std::string& id() const { return token.serial; }
    bool operator==(const CredentialsSection& other) const {
        return token == other.token && credentials == other.credentials;
    }
};

} // namespace keyvane
