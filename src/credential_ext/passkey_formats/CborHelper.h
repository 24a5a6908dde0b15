#pragma once

#include "shared/utils/Bytes.h"

namespace keyvane {

class CborHelper {
public:
    // The credential public key as a COSE_Key (EC2, ES256, P-256) in canonical CBOR, 77 bytes
    // for 32-byte coordinates. Take the coordinates from PublicPoint, which has checked them.
    static Bytes encodeCoseKey(const Bytes& x, const Bytes& y);
};

} // namespace keyvane
