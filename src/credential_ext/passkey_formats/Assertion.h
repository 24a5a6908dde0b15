#pragma once

#include "shared/utils/Bytes.h"

#include <string_view>

namespace keyvane {

// The authenticator data of an assertion: 37 bytes, no attested data, no extensions.
struct Assertion {
    Bytes rpIdHash;  // SHA-256 of the relying-party identifier
    Bytes flags;     // 0x1D: UP, UV, BE, BS
    Bytes signCount; // always zero: no counter is kept

    explicit Assertion(std::string_view relyingPartyId);

    Bytes authenticatorData() const;

    bool operator==(const Assertion&) const = default;
};

} // namespace keyvane
