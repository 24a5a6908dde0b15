#pragma once

#include "shared/utils/Bytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace keyvane {

// Standard Base64 with "=" padding.
std::string base64Encode(const Bytes& bytes);

// Strict: only the standard alphabet, whole quads, correct padding; anything else answers
// nothing rather than a guess.
std::optional<Bytes> base64Decode(std::string_view text);

} // namespace keyvane
