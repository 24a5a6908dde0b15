#include "shared/redux/StateDescription.h"

namespace keyvane {

namespace {
std::string hex(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (auto byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0f];
    }
    return text;
}
} // namespace

std::string describeToken(const TokenInfo& token) {
    std::string text = token.serial + " \"" + token.label.value_or("") + "\" " + token.model + " v" + token.version +
                       " mem " + (token.availableMemory ? std::to_string(*token.availableMemory) : "?") + "/" +
                       std::to_string(token.totalMemory);
    if (!token.isSupported) {
        text += " unsupported";
    }
    return text;
}

std::string describeCredential(const PasskeyCredentials& credential) {
    return credential.relyingPartyId + "/" + credential.username + " key " + hex(credential.keyId) + " on " +
           credential.tokenSerial;
}

} // namespace keyvane
