#include "shared/viewmodels/CredentialsSections.h"

#include <unordered_map>

namespace keyvane::views {

std::vector<CredentialsSection> groupIntoSections(const std::vector<TokenInfo>& tokens,
                                                  const std::vector<PasskeyCredentials>& credentials,
                                                  bool keepEmptyTokens) {
    std::unordered_map<std::string, std::vector<PasskeyCredentials>> groups;
    for (const auto& credential : credentials) {
        groups[credential.tokenSerial].push_back(credential);
    }
    std::vector<CredentialsSection> sections;
    for (const auto& token : tokens) {
        auto group = groups.find(token.serial);
        if (group == groups.end()) {
            if (keepEmptyTokens) {
                sections.push_back(CredentialsSection{token, {}, true});
            }
            continue;
        }
        // A token listed twice shows its passkeys in both of its sections.
        sections.push_back(CredentialsSection{token, group->second, true});
    }
    return sections;
}

bool matchesSearch(const PasskeyCredentials& credential, const QString& searchText) {
    if (searchText.isEmpty()) {
        return true;
    }
    return QString::fromStdString(credential.username).contains(searchText, Qt::CaseInsensitive)
        || QString::fromStdString(credential.relyingPartyId).contains(searchText, Qt::CaseInsensitive);
}

std::vector<CredentialsSection> filterSections(const std::vector<TokenInfo>& tokens,
                                               const std::vector<PasskeyCredentials>& credentials,
                                               const QString& searchText,
                                               const std::optional<std::string>& chosenSerial) {
    std::vector<PasskeyCredentials> remaining;
    for (const auto& credential : credentials) {
        if (chosenSerial && credential.tokenSerial != *chosenSerial) {
            continue;
        }
        if (matchesSearch(credential, searchText)) {
            remaining.push_back(credential);
        }
    }
    return groupIntoSections(tokens, remaining);
}

} // namespace keyvane::views
