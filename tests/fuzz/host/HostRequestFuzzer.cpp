// The host program's standard input is whatever its caller sends: the reader must take any
// bytes, refuse with a one-line reason, and what it accepts must hold what the checks promise
// and be what the program reads as it arrives.
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

// The program stops reading where the frame says the request ends: for a request accepted
// whole, that is its object's closing brace, however the bytes arrive, and never before.
void checkFrame(std::string_view input) {
    const auto end = input.find_last_not_of(" \t\n\r");
    check(end != std::string_view::npos && input[end] == '}');
    keyvane::ext::HostRequestFrame bytewise;
    for (std::size_t i = 0; i < end; ++i) {
        check(!bytewise.take(input.substr(i, 1)));
    }
    check(bytewise.take(input.substr(end, 1)));
    keyvane::ext::HostRequestFrame whole;
    check(whole.take(input));
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
    checkFrame(input);
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
