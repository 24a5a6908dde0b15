#pragma once

#include "shared/pkcs11/ExtendedTokenInfo.h"
#include "shared/pkcs11/Pkcs11Object.h"
#include "shared/pkcs11/TokenInfoParser.h"

#include <p11-kit/pkcs11.h>

#include <string>
#include <vector>

namespace keyvane {

// A token's model name and whether Keyvane can keep passkeys on it.
struct TokenModel {
    std::string model;
    bool isSupported = false;
    bool operator==(const TokenModel&) const = default;
};

// The model of a token of the maker whose vendor data the module gives: from the token
// class, the mechanisms, the versions and, for newer firmware, the model-name attribute of
// the hardware-feature object. An unsupported token class is a Pkcs11Error.
TokenModel getTokenModel(const CK_TOKEN_INFO& tokenInfo, const ExtendedTokenInfo& tokenInfoEx,
                         const std::vector<CK_MECHANISM_TYPE>& supportedMechs,
                         const Pkcs11ObjectProtocol& hwFeaturesObject);

// The model of any other token, from standard data only: the model field of its token
// information, and supported when it can generate EC key pairs and sign with ECDSA.
TokenModel getGenericTokenModel(const ParsedTokenInfo& tokenInfo, const std::vector<CK_MECHANISM_TYPE>& supportedMechs);

} // namespace keyvane
