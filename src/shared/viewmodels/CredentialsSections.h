#pragma once

#include "shared/redux/CredentialsSection.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace keyvane::views {

// Passkeys grouped per token: one section per token of the list, in the token list's order,
// each holding that token's passkeys in the passkey list's order, always expanded. Passkeys
// of a token missing from the list belong to no section. A token without passkeys gets an
// empty section only when keepEmptyTokens is set (the sidebar shows a card for every token).
std::vector<CredentialsSection> groupIntoSections(const std::vector<TokenInfo>& tokens,
                                                  const std::vector<PasskeyCredentials>& credentials,
                                                  bool keepEmptyTokens = false);

// Whether a passkey matches a search text: its user name or its relying party contains the
// text, ignoring letter case. An empty text matches everything.
bool matchesSearch(const PasskeyCredentials& credential, const QString& searchText);

// What the passkey list shows: the passkeys of the chosen token (all tokens when none is
// chosen) that match the search text, grouped per token; tokens left without a match have
// no section.
std::vector<CredentialsSection> filterSections(const std::vector<TokenInfo>& tokens,
                                               const std::vector<PasskeyCredentials>& credentials,
                                               const QString& searchText,
                                               const std::optional<std::string>& chosenSerial);

} // namespace keyvane::views
