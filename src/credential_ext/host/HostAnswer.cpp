#include "credential_ext/host/HostAnswer.h"

#include "credential_ext/host/HostRequest.h"

#include <nlohmann/json.hpp>

namespace keyvane::ext {

namespace {

using nlohmann::ordered_json;

// Texts from a token record may hold bytes that are not UTF-8; they are replaced rather than
// making the one answer fail to write.
constexpr auto replaceInvalid = ordered_json::error_handler_t::replace;

ordered_json toJson(const ASPasskeyRegistrationCredential& credential) {
    ordered_json object;
    object["result"] = "registration";
    object["relyingParty"] = credential.relyingParty;
    object["clientDataHash"] = base64UrlEncode(credential.clientDataHash);
    object["credentialId"] = base64UrlEncode(credential.credentialID);
    object["attestationObject"] = base64UrlEncode(credential.attestationObject);
    return object;
}

ordered_json toJson(const ASPasskeyAssertionCredential& credential) {
    ordered_json object;
    object["result"] = "assertion";
    object["userHandle"] = base64UrlEncode(credential.userHandle);
    object["relyingParty"] = credential.relyingParty;
    object["signature"] = base64UrlEncode(credential.signature);
    object["clientDataHash"] = base64UrlEncode(credential.clientDataHash);
    object["authenticatorData"] = base64UrlEncode(credential.authenticatorData);
    object["credentialId"] = base64UrlEncode(credential.credentialID);
    return object;
}

ordered_json toJson(ASExtensionErrorCode code) {
    ordered_json object;
    object["result"] = "cancelled";
    object["code"] = static_cast<int>(code);
    return object;
}

} // namespace

std::string writeHostAnswer(const HostAnswer& answer) {
    const auto object = std::visit([](const auto& value) { return toJson(value); }, answer);
    return object.dump(-1, ' ', false, replaceInvalid) + "\n";
}

} // namespace keyvane::ext
