#pragma once

#include "shared/pkcs11/Pkcs11Token.h"

namespace keyvane {

// What the state knows of an open token. The free memory is read from the token now; when it
// cannot be read the token is still shown, without it.
inline TokenInfo readTokenInfo(const Pkcs11TokenProtocol& token) {
    std::optional<std::uint64_t> freeMemory;
    try {
        freeMemory = token.getFreeMemory();
    } catch (...) {
        freeMemory.reset();
    }
    return makeTokenInfo(token, freeMemory);
}

} // namespace keyvane
