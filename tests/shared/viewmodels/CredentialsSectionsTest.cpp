#include "shared/viewmodels/CredentialsSections.h"

#include <gtest/gtest.h>

namespace keyvane::views {
namespace {

TokenInfo token(const std::string& serial) {
    return TokenInfo{std::nullopt, "Model " + serial, serial, "1.0", 64000, 1000, true};
}

PasskeyCredentials passkey(std::uint8_t id, const std::string& serial, const std::string& site, const std::string& user) {
    return PasskeyCredentials{Bytes{id}, site, user, Bytes{id}, serial};
}

// The sections as "serial: ids", in order, for comparing whole results at a glance.
std::vector<std::string> shape(const std::vector<CredentialsSection>& sections) {
    std::vector<std::string> result;
    for (const auto& section : sections) {
        std::string line = section.token.serial + ":";
        for (const auto& credential : section.credentials) {
            line += " " + std::to_string(credential.keyId.at(0));
        }
        EXPECT_TRUE(section.isExpanded);
        result.push_back(line);
    }
    return result;
}

const std::vector<TokenInfo> tokens{token("B"), token("A"), token("C")};
// Interleaved on purpose: sections follow the token list, passkeys keep the input order;
// passkey 9 belongs to a token that is not listed; "b" differs from "B" only in case.
const std::vector<PasskeyCredentials> passkeys{
    passkey(1, "A", "mail.example", "Alice"), passkey(2, "B", "shop.example", "bob"),
    passkey(3, "A", "bank.example", "carol"), passkey(9, "Z", "mail.example", "alice"),
    passkey(4, "b", "mail.example", "dave"),  passkey(5, "B", "Mail.Example", "erin"),
};

TEST(CredentialsSectionsTest, GroupingFollowsTheTokenListAndKeepsThePasskeyOrder) {
    EXPECT_EQ(shape(groupIntoSections(tokens, passkeys)), (std::vector<std::string>{"B: 2 5", "A: 1 3"}));
    EXPECT_EQ(shape(groupIntoSections(tokens, passkeys, true)), (std::vector<std::string>{"B: 2 5", "A: 1 3", "C:"}));
    EXPECT_TRUE(groupIntoSections({}, passkeys, true).empty());
}

TEST(CredentialsSectionsTest, FilterBySearchTextAndChosenToken) {
    struct Case {
        const char* name;
        QString search;
        std::optional<std::string> chosen;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"everything", {}, std::nullopt, {"B: 2 5", "A: 1 3"}},
        {"chosen token only", {}, "A", {"A: 1 3"}},
        {"chosen token without passkeys", {}, "C", {}},
        {"relying party in another case", QStringLiteral("MAIL"), std::nullopt, {"B: 5", "A: 1"}},
        {"user name of one, relying party of another", QStringLiteral("b"), std::nullopt, {"B: 2", "A: 3"}},
        {"search within the chosen token", QStringLiteral("mail"), "B", {"B: 5"}},
        {"nothing matches", QStringLiteral("nowhere"), std::nullopt, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shape(filterSections(tokens, passkeys, c.search, c.chosen)), c.expected) << c.name;
    }
    // Case-insensitive beyond ASCII.
    const std::vector<PasskeyCredentials> cyrillic{passkey(7, "A", "сайт.рф", "Пользователь")};
    EXPECT_EQ(shape(filterSections(tokens, cyrillic, QStringLiteral("ПОЛЬЗ"), std::nullopt)),
              (std::vector<std::string>{"A: 7"}));
}

} // namespace
} // namespace keyvane::views
