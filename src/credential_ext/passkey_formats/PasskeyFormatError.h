#pragma once

#include "shared/errors/Error.h"

#include <cstddef>
#include <string>

namespace keyvane {

namespace passkey_format_error {
// The token's raw signature is not r || s of 32 bytes each.
struct invalidSignature {
    std::size_t length = 0;
    bool operator==(const invalidSignature&) const = default;
};
// The token's public point is not a P-256 point in a form we know.
struct invalidPublicKey {
    std::string reason;
    bool operator==(const invalidPublicKey&) const = default;
};
// A credential identifier that the authenticator data cannot carry.
struct invalidCredentialId {
    std::size_t length = 0;
    bool operator==(const invalidCredentialId&) const = default;
};
} // namespace passkey_format_error

// Raised where the token hands the format writers something they cannot turn into bytes that a
// relying party would accept; writing such bytes would fail only later, at the site.
class PasskeyFormatError final
    : public ErrorEnum<PasskeyFormatError, passkey_format_error::invalidSignature,
                       passkey_format_error::invalidPublicKey, passkey_format_error::invalidCredentialId> {
public:
    using ErrorEnum::ErrorEnum;
    using invalidSignature = passkey_format_error::invalidSignature;
    using invalidPublicKey = passkey_format_error::invalidPublicKey;
    using invalidCredentialId = passkey_format_error::invalidCredentialId;

    bool operator==(const PasskeyFormatError& other) const { return value == other.value; }

    std::string description() const override {
        if (const auto* signature = as<invalidSignature>()) {
            return "PasskeyFormatError.invalidSignature(" + std::to_string(signature->length) + " bytes, expected 64)";
        }
        if (const auto* key = as<invalidPublicKey>()) {
            return "PasskeyFormatError.invalidPublicKey: " + key->reason;
        }
        return "PasskeyFormatError.invalidCredentialId(" + std::to_string(as<invalidCredentialId>()->length) +
               " bytes)";
    }
};

} // namespace keyvane
