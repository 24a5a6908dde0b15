#pragma once

#include "shared/files/GroupDirectory.h"
#include "shared/utils/Bytes.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyvane {

// One published passkey identity (the token serial is not published).
struct PublishedIdentity {
    std::string relyingPartyIdentifier;
    std::string userName;
    Bytes credentialID;
    Bytes userHandle;
    std::optional<std::string> recordIdentifier;
    bool operator==(const PublishedIdentity&) const = default;
};

// The identity file: whether the extension is turned on, and what it published.
struct IdentityFileContent {
    bool extensionEnabled = false;
    std::vector<PublishedIdentity> identities;
    bool operator==(const IdentityFileContent&) const = default;
};

// Nothing when the text is not a well-formed identity file.
std::optional<IdentityFileContent> parseIdentityFile(std::string_view text);
std::string serializeIdentityFile(const IdentityFileContent& content);

// The file "credential-identities.json" of the group directory, read and changed under its
// cross-process lock. A damaged file reads as "turned off, nothing published".
class IdentityFile {
public:
    explicit IdentityFile(std::optional<std::filesystem::path> directory = std::nullopt)
        : folder_(std::move(directory)) {}

    IdentityFileContent read() const;
    // Runs change on the current content under the lock and writes the result back when it
    // answers true. Fails with FileError.
    void modify(const std::function<bool(IdentityFileContent&)>& change) const;

private:
    GroupFolder folder_;
};

} // namespace keyvane
