#pragma once

#include "shared/model/TokenInfo.h"
#include "shared/model/PasskeyCredentials.h"

#include <string>
#include <vector>

namespace keyvane {

// What a filtered passkey list watches: a change of any field recomputes its sections.
struct FilterTrigger {
    std::vector<TokenInfo> tokens;
    std::vector<PasskeyCredentials> credentials;
    std::string searchText;

    bool operator==(const FilterTrigger&) const = default;
};

} // namespace keyvane
