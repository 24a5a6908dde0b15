#pragma once

#include "shared/utils/Bytes.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace keyvane {

// The 32-byte SHA-256 digest.
Bytes sha256(std::span<const std::uint8_t> data);
// The digest of the UTF-8 bytes of a text, without a terminator.
Bytes sha256(std::string_view text);

} // namespace keyvane
