#pragma once

#include "shared/model/TokenInfo.h"
#include "shared/model/PasskeyCredentials.h"

#include <ostream>
#include <string>

namespace keyvane {

// Short texts of the values that state and actions carry, for debug printers and test
// failure messages. Nothing here ever sees a PIN or password.
std::string describeToken(const TokenInfo& token);
std::string describeCredential(const PasskeyCredentials& credential);

} // namespace keyvane
