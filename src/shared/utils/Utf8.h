#pragma once

#include <cstdint>
#include <span>

namespace keyvane {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::span<const std::uint8_t> bytes);

} // namespace keyvane
