#include "credential_ext/passkey_formats/Attestation.h"

#include "credential_ext/passkey_formats/CanonicalCbor.h"
#include "credential_ext/passkey_formats/CborHelper.h"
#include "credential_ext/passkey_formats/PasskeyFormatError.h"
#include "credential_ext/passkey_formats/Sha256.h"

#include <QByteArray>
#include <QCborMap>
#include <QString>

namespace keyvane {

namespace {

constexpr std::uint8_t registrationFlags = 0x5D;

} // namespace

const Bytes& keyvaneAaguid() {
    static const Bytes aaguid{0x3f, 0x7c, 0x1d, 0x92, 0x8e, 0x4b, 0x4a, 0x06,
                              0x9d, 0x35, 0xc2, 0xe1, 0xb8, 0xf4, 0x7a, 0x60};
    return aaguid;
}

Attestation Attestation::make(std::string_view relyingPartyId, const Bytes& credentialId,
                              const PublicPoint& publicKey) {
    if (credentialId.empty() || credentialId.size() > 255) {
        throw PasskeyFormatError(PasskeyFormatError::invalidCredentialId{credentialId.size()});
    }
    return {sha256(relyingPartyId),
            {registrationFlags},
            {0, 0, 0, 0},
            keyvaneAaguid(),
            {0, static_cast<std::uint8_t>(credentialId.size())},
            credentialId,
            CborHelper::encodeCoseKey(publicKey.x, publicKey.y)};
}

Bytes Attestation::authenticatorData() const {
    Bytes data;
    for (const Bytes* part : {&rpIdHash, &flags, &signCount, &aaguid, &credentialIdLength, &credentialId,
                              &credentialPublicKey}) {
        data.insert(data.end(), part->begin(), part->end());
    }
    return data;
}

Bytes Attestation::makeAttestationObject() const {
    const Bytes data = authenticatorData();
    QCborMap object;
    object.insert(QStringLiteral("fmt"), QStringLiteral("none"));
    object.insert(QStringLiteral("attStmt"), QCborMap());
    object.insert(QStringLiteral("authData"),
                  QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())));
    return encodeCanonicalMap(object);
}

} // namespace keyvane
