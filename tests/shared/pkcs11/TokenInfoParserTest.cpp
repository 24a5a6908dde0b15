#include "shared/pkcs11/ExtendedTokenInfo.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11TokenVersion.h"
#include "shared/pkcs11/TokenInfoParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace keyvane {
namespace {

CK_TOKEN_INFO infoWith(const Bytes& serial, const Bytes& label) {
    CK_TOKEN_INFO info{};
    std::memset(info.serialNumber, ' ', sizeof info.serialNumber);
    std::copy_n(serial.begin(), std::min(serial.size(), sizeof info.serialNumber), info.serialNumber);
    std::memset(info.label, ' ', sizeof info.label);
    std::copy_n(label.begin(), std::min(label.size(), sizeof info.label), info.label);
    std::memset(info.model, ' ', sizeof info.model);
    return info;
}

Bytes text(const std::string& value) { return Bytes(value.begin(), value.end()); }

struct SerialCase {
    const char* field;
    std::optional<std::string> serial; // absent: the token cannot be opened
};

TEST(TokenInfoParserTest, SerialTable) {
    const SerialCase cases[] = {
        {"12AB34CD", "0313210061"},
        {"12ab34cd", "0313210061"},
        {"1", "0000000001"},
        {"FFFFFFFF", "-0000000001"},
        {"+1A", "0000000026"},
        {"-1", "-0000000001"},
        {"\t12AB34CD\n", "0313210061"},
        {"100000001", "0000000001"},         // only the low 32 bits are kept
        {"7fffffffffffffff", "-0000000001"}, // the largest signed value
        // SoftHSM2 serials at or above 2^63 must open like any other.
        {"8000000000000000", "0000000000"},
        {"9f8e7d6c5b4a3921", "1531590945"},
        {"ffffffffffffffff", "-0000000001"},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"12 34", std::nullopt},
        {"0x12", std::nullopt},
        {"12G4", std::nullopt},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.field);
        const auto info = infoWith(text(row.field), text("Label"));
        if (row.serial) {
            EXPECT_EQ(token_info_parser::parse(info).serial, *row.serial);
            // The full number stays, so tokens that share the serial shown are told apart.
            EXPECT_EQ(token_info_parser::parse(info).serialNumber,
                      *token_info_parser::fixedFieldText(std::span(info.serialNumber)));
        } else {
            EXPECT_THROW(token_info_parser::parse(info), Pkcs11Error);
        }
    }
}

TEST(TokenInfoParserTest, SerialFieldFailuresCarryNoReturnValue) {
    Bytes zeroPadded(16, 0);
    zeroPadded[0] = '1';
    for (const Bytes& field : {zeroPadded, Bytes(16, ' '), Bytes{0xFF, '1'}}) {
        try {
            token_info_parser::parse(infoWith(field, text("Label")));
            ADD_FAILURE() << "the serial field should not read";
        } catch (const Pkcs11Error& error) {
            const auto* internal = error.as<Pkcs11Error::internalError>();
            ASSERT_NE(internal, nullptr);
            EXPECT_EQ(internal->func, "init(with:)");
            EXPECT_FALSE(internal->rv);
            EXPECT_FALSE(internal->desc);
        }
    }
    // A number past 64 bits overflows (the field holds 16 digits; the parser sees more).
    EXPECT_FALSE(token_info_parser::parseHex("1ffffffffffffffff"));
    EXPECT_EQ(token_info_parser::parseHex("ffffffffffffffff"), 0xffffffffffffffffULL);
    // A negative serial stays within the signed range.
    EXPECT_EQ(token_info_parser::parseHex("-8000000000000000"), 0x8000000000000000ULL);
    EXPECT_FALSE(token_info_parser::parseHex("-8000000000000001"));
}

TEST(TokenInfoParserTest, LabelTable) {
    const std::pair<Bytes, std::optional<std::string>> cases[] = {
        {text("My token"), "My token"},
        {Bytes{}, ""}, // blanks only: an empty label, not an absent one
        {text("  padded  "), "padded"},
        {text("Токен Ивана"), "Токен Ивана"},
        {text("<no label>"), std::nullopt},
        {text("Token <no label>"), std::nullopt},
        {text("<corrupted label!>"), std::nullopt},
        {text("<no label> later"), "<no label> later"},
    };
    for (const auto& [field, label] : cases) {
        EXPECT_EQ(token_info_parser::parse(infoWith(text("1"), field)).label, label);
    }
    // A label field cut inside a multi-byte character is not text.
    Bytes cut = text("xАААААААААААААААА"); // one byte and 16 two-byte letters: the last is cut in half
    EXPECT_THROW(token_info_parser::parse(infoWith(text("1"), cut)), Pkcs11Error);
}

TEST(TokenInfoParserTest, ZeroBytesAreKeptAsCharacters) {
    const auto trimmed = token_info_parser::fixedFieldText(Bytes{' ', 'a', 0, ' '});
    ASSERT_TRUE(trimmed);
    EXPECT_EQ(*trimmed, std::string("a\0", 2));
}

TEST(TokenInfoParserTest, VersionsAndMemory) {
    auto info = infoWith(text("1"), text("L"));
    info.hardwareVersion = {60, 1};
    info.firmwareVersion = {30, 2};
    info.ulTotalPublicMemory = 1700000000;
    auto parsed = token_info_parser::parse(info);
    EXPECT_EQ(parsed.version.versionString(), "60.1.30.2");
    EXPECT_EQ(parsed.totalMemory, 1700000000U);

    info.ulTotalPublicMemory = CK_UNAVAILABLE_INFORMATION;
    EXPECT_EQ(token_info_parser::parse(info).totalMemory, std::nullopt);
    EXPECT_EQ(Pkcs11TokenVersion{}.versionString(), "0.0.0.0");
    EXPECT_EQ((Pkcs11TokenVersion{255, 0, 7, 10}.versionString()), "255.0.7.10");
}

TEST(TokenInfoParserTest, ModelFieldIsTrimmedAndNeverFatal) {
    auto info = infoWith(text("1"), text("L"));
    std::memcpy(info.model, "SoftHSM v2      ", 16);
    EXPECT_EQ(token_info_parser::parse(info).model, "SoftHSM v2");
    info.model[0] = 0xFF;
    EXPECT_EQ(token_info_parser::parse(info).model, "\xEF\xBF\xBDoftHSM v2");
}

TEST(TokenInfoParserTest, LossyDecodingReplacesEachInvalidSequence) {
    EXPECT_EQ(token_info_parser::decodeLossy(text("Сигма")), "Сигма");
    EXPECT_EQ(token_info_parser::decodeLossy(Bytes{'a', 0xC0, 0x80, 'b'}), "a\uFFFD\uFFFDb");
    EXPECT_EQ(token_info_parser::decodeLossy(Bytes{0xE2, 0x82}), "\uFFFD"); // a truncated sequence
    EXPECT_EQ(token_info_parser::decodeLossy(Bytes{0xED, 0xA0, 0x80}), "\uFFFD\uFFFD\uFFFD"); // a surrogate
}

TEST(ExtendedTokenInfoTest, ReadsTheWordsAtTheirOffsets) {
    std::array<std::uint8_t, 256> record{};
    const std::uint64_t flags = 0x200 | 0x1, attempts = 7, tokenClass = 9;
    std::memcpy(record.data() + 40, &flags, 8);
    std::memcpy(record.data() + 104, &attempts, 8);
    std::memcpy(record.data() + 208, &tokenClass, 8);
    const auto parsed = ExtendedTokenInfo::parse(record);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, (ExtendedTokenInfo{flags, attempts, tokenClass}));
    EXPECT_TRUE(parsed->needsTouch());
    EXPECT_FALSE((ExtendedTokenInfo{0x1FF, 0, 1}.needsTouch()));
    EXPECT_FALSE(ExtendedTokenInfo::parse(std::span(record).first(215)));
}

} // namespace
} // namespace keyvane
