#pragma once

#include <cstdint>
#include <vector>

namespace keyvane {

// A byte string: key identifiers, user handles, attribute values.
using Bytes = std::vector<std::uint8_t>;

} // namespace keyvane
