// The host program's standard input is whatever its caller sends: the reader must take any
// bytes, refuse with a one-line reason, and what it accepts must hold what the checks promise.
#include "credential_ext/host/HostRequest.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void checkNamed(const keyvane::ext::ASPasskeyCredentialRequest& request) {
    check(request.clientDataHash.size() == 32);
    check(!request.credentialIdentity.relyingPartyIdentifier.empty());
    check(!request.credentialIdentity.userHandle.empty() && request.credentialIdentity.userHandle.size() <= 64);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace keyvane::ext;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto read = readHostRequest(input);
    if (const auto* bad = std::get_if<BadHostRequest>(&read)) {
        check(!bad->reason.empty() && bad->reason.find('\n') == std::string::npos);
        return 0;
    }
    std::visit(
        [](const auto& request) {
            using Kind = std::decay_t<decltype(request)>;
            if constexpr (std::is_same_v<Kind, CredentialListHostRequest>) {
                check(request.parameters.clientDataHash.size() == 32);
                check(!request.parameters.relyingPartyIdentifier.empty());
                for (const auto& credential : request.parameters.allowedCredentials) {
                    check(base64UrlDecode(base64UrlEncode(credential)) == credential);
                }
            } else {
                checkNamed(request.request);
            }
        },
        std::get<HostRequest>(read));
    return 0;
}
