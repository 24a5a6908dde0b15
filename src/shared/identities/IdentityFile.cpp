#include "shared/identities/IdentityFile.h"

#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"
#include "shared/utils/Base64.h"

#include <nlohmann/json.hpp>

namespace keyvane {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {
constexpr int fileFormat = 1;

std::optional<std::string> stringField(const json& object, const char* name) {
    const auto field = object.find(name);
    if (field == object.end() || !field->is_string()) {
        return std::nullopt;
    }
    return field->get<std::string>();
}
} // namespace

std::optional<IdentityFileContent> parseIdentityFile(std::string_view text) {
    const json document = json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return std::nullopt;
    }
    const auto format = document.find("format");
    const auto enabled = document.find("extensionEnabled");
    const auto identities = document.find("identities");
    if (format == document.end() || !format->is_number_integer() || format->get<std::int64_t>() != fileFormat ||
        enabled == document.end() || !enabled->is_boolean() || identities == document.end() ||
        !identities->is_array()) {
        return std::nullopt;
    }
    IdentityFileContent content;
    content.extensionEnabled = enabled->get<bool>();
    for (const auto& entry : *identities) {
        if (!entry.is_object()) {
            return std::nullopt;
        }
        auto relyingParty = stringField(entry, "relyingPartyIdentifier");
        auto userName = stringField(entry, "userName");
        const auto credentialText = stringField(entry, "credentialID");
        const auto handleText = stringField(entry, "userHandle");
        if (!relyingParty || !userName || !credentialText || !handleText) {
            return std::nullopt;
        }
        auto credentialID = base64Decode(*credentialText);
        auto userHandle = base64Decode(*handleText);
        if (!credentialID || !userHandle) {
            return std::nullopt;
        }
        PublishedIdentity identity{std::move(*relyingParty), std::move(*userName), std::move(*credentialID),
                                   std::move(*userHandle), std::nullopt};
        if (const auto record = entry.find("recordIdentifier"); record != entry.end() && !record->is_null()) {
            if (!record->is_string()) {
                return std::nullopt;
            }
            identity.recordIdentifier = record->get<std::string>();
        }
        content.identities.push_back(std::move(identity));
    }
    return content;
}

std::string serializeIdentityFile(const IdentityFileContent& content) {
    json identities = json::array();
    for (const auto& identity : content.identities) {
        identities.push_back(json{
            {"relyingPartyIdentifier", identity.relyingPartyIdentifier},
            {"userName", identity.userName},
            {"credentialID", base64Encode(identity.credentialID)},
            {"userHandle", base64Encode(identity.userHandle)},
            {"recordIdentifier", identity.recordIdentifier ? json(*identity.recordIdentifier) : json(nullptr)},
        });
    }
    json document{{"format", fileFormat}, {"extensionEnabled", content.extensionEnabled},
                  {"identities", std::move(identities)}};
    return document.dump(2) + "\n";
}

namespace {
constexpr const char* fileName = "credential-identities.json";
} // namespace

IdentityFileContent IdentityFile::read() const {
    try {
        if (const auto text = readSecureFile(folder_.file(fileName))) {
            return parseIdentityFile(*text).value_or(IdentityFileContent{});
        }
    } catch (const std::exception&) {
    }
    return {};
}

void IdentityFile::modify(const std::function<bool(IdentityFileContent&)>& change) const {
    updateSecureFile(folder_.file(fileName), [&](const std::optional<std::string>& text) -> std::optional<std::string> {
        IdentityFileContent content;
        if (text) {
            content = parseIdentityFile(*text).value_or(IdentityFileContent{});
        }
        if (!change(content)) {
            return std::nullopt;
        }
        return serializeIdentityFile(content);
    });
}

} // namespace keyvane
