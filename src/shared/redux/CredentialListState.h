#pragma once

#include "shared/model/TokenInfo.h"
#include "shared/model/PasskeyCredentials.h"

#include <vector>

namespace keyvane {

// The stored tokens and passkeys that the main window lists.
struct CredentialListState {
    std::vector<TokenInfo> tokens; // in the order the record store returns them
    std::vector<PasskeyCredentials> credentials;
};

} // namespace keyvane
