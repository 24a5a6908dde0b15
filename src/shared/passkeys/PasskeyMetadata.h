#pragma once

#include "shared/passkeys/KeyInfo.h"
#include "shared/passkeys/PasskeyMetadataError.h"
#include "shared/pkcs11/Pkcs11Template.h"
#include "shared/utils/Bytes.h"

#include <cstdint>
#include <span>

namespace keyvane {

// The CKA_VALUE of a passkey metadata object: the format version 1, a byte 0, then the
// KeyInfo record in its Protocol Buffers binary form.
struct PasskeyMetadata {
    KeyInfo keyInfo;

    PasskeyMetadata() = default;
    explicit PasskeyMetadata(KeyInfo keyInfo) : keyInfo(std::move(keyInfo)) {}

    // Reads a metadata value. Throws PasskeyMetadataError only; the second byte is not
    // examined, so values written with any byte there stay readable.
    static PasskeyMetadata from(std::span<const std::uint8_t> data);

    // Writes the metadata value. Throws PasskeyMetadataError::generalError for a record that
    // from() would not read back as this record: one with nothing in it (two bytes, which every
    // reader refuses and which would break the listing of the token), text that is not UTF-8,
    // or kept unknown fields that are not well formed.
    Bytes toData() const;

    bool operator==(const PasskeyMetadata&) const = default;
};

// CKA_APPLICATION of every passkey metadata object: passkeyApplicationData(), declared with
// the token's data-object template.
// CKA_OBJECT_ID of every passkey metadata object, by which listing finds them.
const Bytes& passkeyObjectId();

} // namespace keyvane
