#include "credential_ext/passkey_formats/CborHelper.h"

#include "credential_ext/passkey_formats/CanonicalCbor.h"

#include <QByteArray>
#include <QCborMap>

namespace keyvane {

namespace {

QByteArray byteArray(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

} // namespace

Bytes CborHelper::encodeCoseKey(const Bytes& x, const Bytes& y) {
    QCborMap key;
    key.insert(1, 2);   // kty: EC2
    key.insert(3, -7);  // alg: ES256
    key.insert(-1, 1);  // crv: P-256
    key.insert(-2, byteArray(x));
    key.insert(-3, byteArray(y));
    return encodeCanonicalMap(key);
}

} // namespace keyvane
