#pragma once

#include "credential_ext/passkey_formats/PublicPoint.h"
#include "shared/utils/Bytes.h"

#include <string_view>

namespace keyvane {

// The parts of a registration's authenticator data (attested credential data, no extensions),
// in the order they are joined.
struct Attestation {
    Bytes rpIdHash;            // SHA-256 of the relying-party identifier
    Bytes flags;               // 0x5D: UP, UV, BE, BS, AT
    Bytes signCount;           // always zero: no counter is kept
    Bytes aaguid;
    Bytes credentialIdLength;  // 00, length
    Bytes credentialId;
    Bytes credentialPublicKey; // COSE_Key

    // The registration of a new passkey. The identifier must be 1 to 255 bytes (the length field
    // is 00 and one byte); otherwise PasskeyFormatError::invalidCredentialId.
    static Attestation make(std::string_view relyingPartyId, const Bytes& credentialId, const PublicPoint& publicKey);

    Bytes authenticatorData() const;
    // The attestation object: {"fmt": "none", "attStmt": {}, "authData": authenticator data} in
    // canonical CBOR.
    Bytes makeAttestationObject() const;

    bool operator==(const Attestation&) const = default;
};

// Keyvane's AAGUID, which tells relying parties what made the passkey.
const Bytes& keyvaneAaguid();

} // namespace keyvane
