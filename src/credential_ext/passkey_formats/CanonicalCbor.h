#pragma once

#include "shared/utils/Bytes.h"

#include <QCborMap>

namespace keyvane {

// The canonical CBOR encoding of a map: pairs ordered by their encoded keys, shorter first,
// then bytewise (the length-first order that WebAuthn's CTAP2 canonical form uses). QCborMap
// keeps insertion order, so the order is ours to make. Keys and values are encoded whole by
// Qt's encoder (shortest heads); a map nested as a value is not reordered.
Bytes encodeCanonicalMap(const QCborMap& map);

} // namespace keyvane
