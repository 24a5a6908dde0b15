#pragma once

// The one answer that the host program writes to its standard output: a JSON object on one
// line, byte strings in base64url without padding.

#include "credential_ext/platform/AuthenticationServices.h"

#include <string>
#include <variant>

namespace keyvane::ext {

using HostAnswer = std::variant<ASPasskeyRegistrationCredential, ASPasskeyAssertionCredential, ASExtensionErrorCode>;

// The answer's line, ending in a newline.
std::string writeHostAnswer(const HostAnswer& answer);

} // namespace keyvane::ext
