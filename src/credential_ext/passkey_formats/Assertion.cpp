#include "credential_ext/passkey_formats/Assertion.h"

#include "credential_ext/passkey_formats/Sha256.h"

namespace keyvane {

Assertion::Assertion(std::string_view relyingPartyId)
    : rpIdHash(sha256(relyingPartyId)), flags{0x1D}, signCount{0, 0, 0, 0} {}

Bytes Assertion::authenticatorData() const {
    Bytes data = rpIdHash;
    data.insert(data.end(), flags.begin(), flags.end());
    data.insert(data.end(), signCount.begin(), signCount.end());
    return data;
}

} // namespace keyvane
