#pragma once

#include "shared/utils/Bytes.h"

namespace keyvane {

// The affine coordinates of a passkey's P-256 public key, 32 bytes each.
struct PublicPoint {
    Bytes x;
    Bytes y;

    // From the public-key object's CKA_EC_POINT: the DER octet string 04 41 04 || X || Y that
    // PKCS#11 prescribes, or the bare 04 || X || Y that some modules answer. Anything else, or a
    // point that is not on the curve, throws PasskeyFormatError::invalidPublicKey: a key built
    // from it would give the site a registration that no signature can ever match.
    static PublicPoint fromEcPoint(const Bytes& ecPoint);

    bool operator==(const PublicPoint&) const = default;
};

} // namespace keyvane
