#include "credential_ext/passkey_formats/Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace keyvane {

Bytes sha256(std::span<const std::uint8_t> data) {
    Bytes digest(32);
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 || length != 32) {
        // Only a broken crypto library gets here; there is no sensible digest to answer.
        throw std::runtime_error("SHA-256 failed");
    }
    return digest;
}

Bytes sha256(std::string_view text) {
    return sha256(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

} // namespace keyvane
