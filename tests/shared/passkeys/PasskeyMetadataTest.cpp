#include "shared/passkeys/PasskeyMetadata.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <variant>

namespace {

using keyvane::Bytes;
using keyvane::KeyInfo;
using keyvane::PasskeyMetadata;
using keyvane::PasskeyMetadataError;

// The ways a read can fail; the two general failures differ only by their line.
enum class Failure { tooShort, badRecord, wrongVersion };
using Outcome = std::variant<KeyInfo, Failure>;

struct ReadCase {
    std::string label;
    Bytes value;
    Outcome expected;
};

KeyInfo record(std::string rp, std::string user = {}, Bytes handle = {}, Bytes id = {}, Bytes unknown = {}) {
    return {std::move(rp), std::move(user), std::move(handle), std::move(id), std::move(unknown)};
}

constexpr auto TooShort = Failure::tooShort;
constexpr auto BadRecord = Failure::badRecord;
constexpr auto WrongVersion = Failure::wrongVersion;

TEST(PasskeyMetadataTest, ReadsValuesAsTheTokenHoldsThem) {
    const std::vector<ReadCase> cases{
        {"relying party only", {0x01, 0x00, 0x0A, 0x03, 'a', 'b', 'c'}, record("abc")},
        {"empty", {}, TooShort},
        {"one byte", {0x01}, TooShort},
        {"version and zero only", {0x01, 0x00}, TooShort},
        {"length checked before version", {0x00, 0x00}, TooShort},
        {"version 0", {0x00, 0x00, 0x0A, 0x01, 'a'}, WrongVersion},
        {"version 2", {0x02, 0x00, 0x0A, 0x01, 'a'}, WrongVersion},
        {"second byte ignored", {0x01, 0xFF, 0x0A, 0x01, 'a'}, record("a")},
        {"length past the end", {0x01, 0x00, 0x0A, 0x05, 'a'}, BadRecord},
        {"truncated varint", {0x01, 0x00, 0x0A, 0x80}, BadRecord},
        {"field number 0", {0x01, 0x00, 0x02, 0x01, 'a'}, BadRecord},
        {"invalid wire type", {0x01, 0x00, 0x0F, 0x01}, BadRecord},
        {"relying party not UTF-8", {0x01, 0x00, 0x0A, 0x01, 0xFF}, BadRecord},
        {"user name with a surrogate", {0x01, 0x00, 0x12, 0x03, 0xED, 0xA0, 0x80}, BadRecord},
        {"user handle may hold any bytes", {0x01, 0x00, 0x1A, 0x02, 0xFF, 0x00}, record("", "", {0xFF, 0x00})},
        {"all four fields",
         {0x01, 0x00, 0x0A, 0x01, 'r', 0x12, 0x02, 0xD0, 0xAF, 0x1A, 0x01, 0x07, 0x22, 0x02, 'I', 'D'},
         record("r", "\xD0\xAF", {0x07}, {'I', 'D'})},
        {"fields out of order",
         {0x01, 0x00, 0x22, 0x02, 'I', 'D', 0x1A, 0x01, 0x07, 0x12, 0x02, 0xD0, 0xAF, 0x0A, 0x01, 'r'},
         record("r", "\xD0\xAF", {0x07}, {'I', 'D'})},
        {"last occurrence wins", {0x01, 0x00, 0x0A, 0x01, 'a', 0x0A, 0x01, 'b'}, record("b")},
        {"unknown field kept",
         {0x01, 0x00, 0x2A, 0x01, 'x', 0x0A, 0x01, 'a', 0x30, 0x05},
         record("a", "", {}, {}, {0x2A, 0x01, 'x', 0x30, 0x05})},
    };

    std::map<Failure, std::uint64_t> lines;
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        const auto* failure = std::get_if<Failure>(&row.expected);
        try {
            const auto metadata = PasskeyMetadata::from(row.value);
            ASSERT_EQ(failure, nullptr);
            EXPECT_EQ(metadata.keyInfo, std::get<KeyInfo>(row.expected));
        } catch (const PasskeyMetadataError& error) {
            ASSERT_NE(failure, nullptr) << error.description();
            if (*failure == WrongVersion) {
                EXPECT_TRUE(error.is<PasskeyMetadataError::wrongVersion>());
                continue;
            }
            const auto* general = error.as<PasskeyMetadataError::generalError>();
            ASSERT_NE(general, nullptr);
            EXPECT_EQ(general->func, "init(from:)");
            // One failure, one place: every row of a kind reports the same line.
            const auto [known, inserted] = lines.emplace(*failure, general->line);
            EXPECT_EQ(known->second, general->line);
        }
    }
    // The two general failures are told apart by their lines.
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_NE(lines[TooShort], lines[BadRecord]);
}

PasskeyMetadataError::generalError writeFailure(const KeyInfo& keyInfo) {
    try {
        const auto data = PasskeyMetadata(keyInfo).toData();
        ADD_FAILURE() << "written as " << data.size() << " bytes";
    } catch (const PasskeyMetadataError& error) {
        if (const auto* general = error.as<PasskeyMetadataError::generalError>()) {
            return *general;
        }
        ADD_FAILURE() << error.description();
    }
    return {};
}

TEST(PasskeyMetadataTest, WritesFieldsInNumberOrderWithKeptFieldsLast) {
    const auto data =
        PasskeyMetadata(record("r", "\xD0\xAF", {0x07}, {'I', 'D'}, {0x2A, 0x01, 'x'})).toData();
    EXPECT_EQ(data, (Bytes{0x01, 0x00, 0x0A, 0x01, 'r', 0x12, 0x02, 0xD0, 0xAF, 0x1A, 0x01, 0x07, 0x22, 0x02, 'I', 'D',
                           0x2A, 0x01, 'x'}));

    // Empty fields are left out; a long field takes a two-byte length.
    const Bytes id(200, 0x41);
    Bytes expected{0x01, 0x00, 0x22, 0xC8, 0x01};
    expected.resize(expected.size() + id.size(), 0x41);
    EXPECT_EQ(PasskeyMetadata(record("", "", {}, id)).toData(), expected);
}

TEST(PasskeyMetadataTest, WhatIsReadIsWrittenBackUnchanged) {
    const Bytes stored{0x01, 0x00, 0x0A, 0x01, 'a', 0x2A, 0x01, 'x', 0x22, 0x01, 0x09, 0x30, 0x05};
    const auto metadata = PasskeyMetadata::from(stored);
    EXPECT_EQ(metadata.keyInfo.ckaID, Bytes{0x09});
    // Known fields move into number order; the unknown ones follow in the order read.
    EXPECT_EQ(metadata.toData(), (Bytes{0x01, 0x00, 0x0A, 0x01, 'a', 0x22, 0x01, 0x09, 0x2A, 0x01, 'x', 0x30, 0x05}));
    EXPECT_EQ(PasskeyMetadata::from(metadata.toData()), metadata);
}

// The writer never puts onto a token what the reader refuses: such an object would fail every
// later listing of the token.
TEST(PasskeyMetadataTest, RefusesToWriteWhatCannotBeReadBack) {
    const std::vector<std::pair<std::string, KeyInfo>> cases{
        {"nothing in it", KeyInfo{}},
        {"relying party not UTF-8", record("\xC0\xAF")},
        {"user name cut inside a character", record("a", "\xD0")},
        {"kept field cut short", record("a", "", {}, {}, {0x2A, 0x05, 'x'})},
        {"kept field with a known number", record("a", "", {}, {}, {0x0A, 0x01, 'b'})},
    };
    for (const auto& [label, keyInfo] : cases) {
        SCOPED_TRACE(label);
        const auto failure = writeFailure(keyInfo);
        EXPECT_EQ(failure.func, "toData()");
        EXPECT_NE(failure.line, 0U);
    }
}

TEST(PasskeyMetadataTest, KeyInfoIsTheCredentialWithoutItsToken) {
    const keyvane::PasskeyCredentials credentials{{'K'}, "example.com", "alice", {'U'}, "0042"};
    const auto keyInfo = KeyInfo::from(credentials);
    EXPECT_EQ(keyInfo, record("example.com", "alice", {'U'}, {'K'}));
    EXPECT_EQ(keyInfo.credentials("0042"), credentials);
}

} // namespace
