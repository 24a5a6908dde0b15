#include "credential_ext/host/HostRequest.h"

#include "shared/utils/Base64.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

namespace keyvane::ext {

namespace {

using nlohmann::json;

// A refusal travels as an exception inside the reader only, so each check is one line.
struct Refusal {
    std::string reason;
};

constexpr std::size_t clientDataHashSize = 32;
// A user handle is at most 64 bytes and never empty.
constexpr std::size_t maximumUserHandleSize = 64;

const json& member(const json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end()) {
        throw Refusal{std::string("member \"") + name + "\" is missing"};
    }
    return *found;
}

std::string text(const json& object, const char* name) {
    const auto& value = member(object, name);
    if (!value.is_string()) {
        throw Refusal{std::string("member \"") + name + "\" is not a text"};
    }
    return value.get<std::string>();
}

std::string nonEmptyText(const json& object, const char* name) {
    auto value = text(object, name);
    if (value.empty()) {
        throw Refusal{std::string("member \"") + name + "\" is empty"};
    }
    return value;
}

Bytes bytesOf(const json& value, const std::string& what) {
    if (!value.is_string()) {
        throw Refusal{what + " is not a text"};
    }
    auto decoded = base64UrlDecode(value.get_ref<const std::string&>());
    if (!decoded) {
        throw Refusal{what + " is not base64url without padding"};
    }
    return std::move(*decoded);
}

Bytes bytes(const json& object, const char* name) {
    return bytesOf(member(object, name), std::string("member \"") + name + "\"");
}

Bytes clientDataHash(const json& object) {
    auto hash = bytes(object, "clientDataHash");
    if (hash.size() != clientDataHashSize) {
        throw Refusal{"member \"clientDataHash\" is " + std::to_string(hash.size()) + " bytes, not 32"};
    }
    return hash;
}

Bytes userHandle(const json& object) {
    auto handle = bytes(object, "userHandle");
    if (handle.empty() || handle.size() > maximumUserHandleSize) {
        throw Refusal{"member \"userHandle\" is " + std::to_string(handle.size()) + " bytes, not 1 to 64"};
    }
    return handle;
}

const json& list(const json& object, const char* name) {
    const auto& value = member(object, name);
    if (!value.is_array()) {
        throw Refusal{std::string("member \"") + name + "\" is not a list"};
    }
    return value;
}

ASPasskeyCredentialRequest namedPasskeyRequest(const json& object) {
    ASPasskeyCredentialRequest request;
    request.credentialIdentity.serviceIdentifier = serviceIdentifierFromText(nonEmptyText(object, "serviceIdentifier"));
    request.credentialIdentity.relyingPartyIdentifier = nonEmptyText(object, "relyingPartyId");
    request.credentialIdentity.userHandle = userHandle(object);
    request.clientDataHash = clientDataHash(object);
    return request;
}

HostRequest read(const json& object) {
    if (!object.is_object()) {
        throw Refusal{"the request is not a JSON object"};
    }
    const auto kind = text(object, "request");
    if (kind == "registration") {
        RegistrationHostRequest result;
        auto& identity = result.request.credentialIdentity;
        identity.relyingPartyIdentifier = nonEmptyText(object, "relyingPartyId");
        identity.userName = text(object, "userName");
        identity.userHandle = userHandle(object);
        identity.serviceIdentifier = serviceIdentifierFromText(identity.relyingPartyIdentifier);
        result.request.clientDataHash = clientDataHash(object);
        return result;
    }
    if (kind == "credentialList") {
        CredentialListHostRequest result;
        for (const auto& identifier : list(object, "serviceIdentifiers")) {
            if (!identifier.is_string()) {
                throw Refusal{"an element of \"serviceIdentifiers\" is not a text"};
            }
            result.serviceIdentifiers.push_back(serviceIdentifierFromText(identifier.get<std::string>()));
        }
        result.parameters.relyingPartyIdentifier = nonEmptyText(object, "relyingPartyId");
        result.parameters.clientDataHash = clientDataHash(object);
        for (const auto& credential : list(object, "allowedCredentials")) {
            result.parameters.allowedCredentials.push_back(bytesOf(credential, "an element of \"allowedCredentials\""));
        }
        return result;
    }
    if (kind == "onePasskey") {
        return OnePasskeyHostRequest{namedPasskeyRequest(object)};
    }
    if (kind == "withoutUserInteraction") {
        return WithoutUserInteractionHostRequest{namedPasskeyRequest(object)};
    }
    throw Refusal{"unknown request kind"};
}

bool isJsonWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

} // namespace

HostRequestReading readHostRequest(std::string_view input) {
    if (input.size() > maximumHostRequestSize) {
        return BadHostRequest{"the request is longer than 1 MiB"};
    }
    if (input.find('\0') != std::string_view::npos) {
        return BadHostRequest{"the request holds a NUL byte"};
    }
    // What the program's reader takes for the start of a request: anything else (a byte order
    // mark among others) would have ended its reading before the object arrived.
    const auto start = std::find_if_not(input.begin(), input.end(), isJsonWhiteSpace);
    if (start == input.end() || *start != '{') {
        return BadHostRequest{"the request is not a JSON object"};
    }
    json object;
    // A member named twice in one object: the parser keeps the last, a caller's reader may
    // have kept the first, and the two would act on different requests.
    std::vector<std::set<std::string>> names;
    bool repeated = false;
    const json::parser_callback_t noteNames = [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) {
            names.emplace_back();
        } else if (event == json::parse_event_t::object_end) {
            names.pop_back();
        } else if (event == json::parse_event_t::key && !names.back().insert(parsed.get<std::string>()).second) {
            repeated = true;
        }
        return true;
    };
    try {
        // Strict JSON: no comments, and text that is not UTF-8 is refused by the parser.
        object = json::parse(input.begin(), input.end(), noteNames);
    } catch (const json::exception&) {
        return BadHostRequest{"the request is not valid JSON"};
    }
    if (repeated) {
        return BadHostRequest{"a member is given twice"};
    }
    try {
        return read(object);
    } catch (const Refusal& refusal) {
        return BadHostRequest{refusal.reason};
    }
}

bool HostRequestFrame::take(std::string_view bytes) {
    for (const char c : bytes) {
        if (complete_) {
            break;
        }
        ++size_;
        if (c == '\0' || size_ > maximumHostRequestSize) {
            complete_ = true;
            break;
        }
        switch (place_) {
        case Place::beforeObject:
            if (c == '{') {
                place_ = Place::inObject;
                depth_ = 1;
            } else if (!isJsonWhiteSpace(c)) {
                complete_ = true;
            }
            break;
        case Place::inObject:
            if (c == '"') {
                place_ = Place::inText;
            } else if (c == '{' || c == '[') {
                ++depth_;
            } else if ((c == '}' || c == ']') && --depth_ == 0) {
                complete_ = true;
            }
            break;
        case Place::inText:
            if (c == '\\') {
                place_ = Place::afterEscape;
            } else if (c == '"') {
                place_ = Place::inObject;
            }
            break;
        case Place::afterEscape:
            place_ = Place::inText;
            break;
        }
    }
    return complete_;
}

ASCredentialServiceIdentifier serviceIdentifierFromText(std::string text) {
    const bool isUrl = text.find("://") != std::string::npos;
    return {std::move(text), isUrl ? ASCredentialServiceIdentifier::IdentifierType::URL
                                   : ASCredentialServiceIdentifier::IdentifierType::domain};
}

std::string base64UrlEncode(const Bytes& bytes) {
    auto text = base64Encode(bytes);
    while (!text.empty() && text.back() == '=') {
        text.pop_back();
    }
    std::replace(text.begin(), text.end(), '+', '-');
    std::replace(text.begin(), text.end(), '/', '_');
    return text;
}

std::optional<Bytes> base64UrlDecode(std::string_view text) {
    // The standard decoder does the strict work (alphabet, stray bits) once the URL alphabet
    // is mapped back; a "+", "/" or "=" in the input is foreign to base64url.
    if (text.find_first_of("+/=") != std::string_view::npos || text.size() % 4 == 1) {
        return std::nullopt;
    }
    std::string standard(text);
    std::replace(standard.begin(), standard.end(), '-', '+');
    std::replace(standard.begin(), standard.end(), '_', '/');
    standard.append((4 - standard.size() % 4) % 4, '=');
    return base64Decode(standard);
}

} // namespace keyvane::ext
