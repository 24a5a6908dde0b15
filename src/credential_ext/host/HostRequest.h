#pragma once

// The one request that the host program reads from its standard input, and the reader that
// turns its JSON into the values an extension entry takes. Byte strings travel as base64url
// without padding; a request that is anything but well formed is refused with a reason.

#include "credential_ext/platform/AuthenticationServices.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace keyvane::ext {

// Nothing longer is read: a request is a few hundred bytes, and a caller that sends more has
// gone wrong.
inline constexpr std::size_t maximumHostRequestSize = 1024 * 1024;

struct RegistrationHostRequest {
    ASPasskeyCredentialRequest request;
    bool operator==(const RegistrationHostRequest&) const = default;
};

struct CredentialListHostRequest {
    std::vector<ASCredentialServiceIdentifier> serviceIdentifiers;
    ASPasskeyCredentialRequestParameters parameters;
    bool operator==(const CredentialListHostRequest&) const = default;
};

struct OnePasskeyHostRequest {
    ASPasskeyCredentialRequest request;
    bool operator==(const OnePasskeyHostRequest&) const = default;
};

struct WithoutUserInteractionHostRequest {
    ASPasskeyCredentialRequest request;
    bool operator==(const WithoutUserInteractionHostRequest&) const = default;
};

using HostRequest = std::variant<RegistrationHostRequest, CredentialListHostRequest, OnePasskeyHostRequest,
                                 WithoutUserInteractionHostRequest>;

// Why a request was refused: one line for standard error, never echoing the request's bytes.
struct BadHostRequest {
    std::string reason;
    bool operator==(const BadHostRequest&) const = default;
};

using HostRequestReading = std::variant<HostRequest, BadHostRequest>;

// Reads one request. Any input is taken: the answer is a request or the reason it was refused.
// Only white space may stand before and after the object, and no NUL byte anywhere (a JSON
// parser may take it for the end of the input and act on less than the caller sent).
HostRequestReading readHostRequest(std::string_view json);

// Tells, while the request arrives, where it ends. A caller may keep its end of standard input
// open while it waits for the answer (browser bridges do), so the program cannot wait for the
// end of input: it stops reading once one whole JSON object has arrived. The bytes are only
// counted here (braces and brackets outside texts); readHostRequest judges them.
class HostRequestFrame {
public:
    // Takes the next bytes read; true once reading may stop: the object's closing brace has
    // arrived, or the input can no longer be a request (it starts with anything but white
    // space and "{", holds a NUL byte, or is longer than the limit). Bytes after that point
    // are not looked at.
    bool take(std::string_view bytes);
    bool isComplete() const { return complete_; }

private:
    enum class Place { beforeObject, inObject, inText, afterEscape };
    Place place_ = Place::beforeObject;
    std::size_t depth_ = 0;
    std::size_t size_ = 0;
    bool complete_ = false;
};

// A service identifier as text: a full URL when it names a scheme, a domain otherwise.
ASCredentialServiceIdentifier serviceIdentifierFromText(std::string text);

// base64url without padding, strict: the URL alphabet only, no "=", no stray bits in the
// last character; anything else answers nothing.
std::string base64UrlEncode(const Bytes& bytes);
std::optional<Bytes> base64UrlDecode(std::string_view text);

} // namespace keyvane::ext
