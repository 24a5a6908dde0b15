#pragma once

#include "shared/utils/Bytes.h"

#include <cstdint>
#include <string>

namespace keyvane {

// One 64-bit value from the operating system's cryptographically secure source (getrandom).
std::uint64_t randomUInt64();

// A value drawn uniformly from 0 to upperBound - 1 without modulo bias (rejection sampling).
// upperBound must be at least 1.
std::uint64_t randomUniform(std::uint64_t upperBound);

// count bytes, each the low byte of one 64-bit draw. A negative count gives nothing.
Bytes randomBytes(int count);

// length characters, each drawn uniformly from a-z, A-Z and 0-9. A negative length gives
// the empty text.
std::string randomAlphanumericString(int length);

} // namespace keyvane
