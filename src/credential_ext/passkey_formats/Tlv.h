#pragma once

#include "shared/utils/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

namespace keyvane {

// The few DER values an ECDSA signature needs.
struct Tlv {
    struct sequence {
        std::vector<Tlv> items;
        bool operator==(const sequence&) const = default;
    };
    // An unsigned big-endian magnitude, written as a minimal non-negative INTEGER.
    struct integer {
        Bytes magnitude;
        bool operator==(const integer&) const = default;
    };

    std::variant<sequence, integer> value;

    Tlv(sequence value) : value(std::move(value)) {} // NOLINT: cases convert implicitly
    Tlv(integer value) : value(std::move(value)) {}  // NOLINT

    Bytes encode() const;
    static Bytes encodeLength(std::size_t length);

    bool operator==(const Tlv&) const = default;
};

// The DER Ecdsa-Sig-Value of the token's raw signature r || s. A P-256 signature is exactly 64
// bytes; anything else throws PasskeyFormatError::invalidSignature rather than sending the site
// a signature made of the wrong bytes.
Bytes derSignature(std::span<const std::uint8_t> rawSignature);

} // namespace keyvane
