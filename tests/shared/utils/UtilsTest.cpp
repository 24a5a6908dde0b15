#include "shared/utils/Base64.h"
#include "shared/utils/Random.h"
#include "shared/utils/Utf8.h"
#include "shared/utils/Version.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using keyvane::Version;

struct ParseCase {
    const char* text;
    std::optional<Version> expected;
};

TEST(VersionTest, ParsesOnlyThreeUnsignedDecimalPieces) {
    constexpr std::uint64_t max = UINT64_MAX;
    const ParseCase cases[] = {
        {"1.2.3", Version(1, 2, 3)},
        {"01.002.3", Version(1, 2, 3)},
        {"1..2.3", Version(1, 2, 3)},
        {".1.2.3.", Version(1, 2, 3)},
        {"+1.+2.+3", Version(1, 2, 3)},
        {"18446744073709551615.0.0", Version(max, 0, 0)},
        {"1.2", std::nullopt},
        {"1.2.3.4", std::nullopt},
        {"1.2.x", std::nullopt},
        {" 1.2.3", std::nullopt},
        {"1.2.3 ", std::nullopt},
        {"", std::nullopt},
        {"...", std::nullopt},
        {"-1.2.3", std::nullopt},            // strtoull would wrap this to 2^64-1
        {"18446744073709551616.0.0", std::nullopt},
        {"1.+.3", std::nullopt},
        {"1.++2.3", std::nullopt},
        {"0x1.2.3", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Version::parse(text), expected) << '"' << text << '"';
    }
}

TEST(VersionTest, OrdersFieldByFieldAndStoresItsCanonicalText) {
    EXPECT_GT(Version(1, 10, 0), Version(1, 9, 9));
    EXPECT_GT(Version(2, 0, 0), Version(1, 99, 99));
    EXPECT_LT(Version(1, 2, 3), Version(1, 2, 4));
    EXPECT_LE(Version(1, 2, 3), Version(1, 2, 3));
    EXPECT_GT(Version(UINT64_MAX, 0, 0), Version(1, 0, 0)); // compared unsigned

    EXPECT_EQ(Version::decode("01.002.3").encode(), "1.2.3");
    EXPECT_EQ(Version(2, 15, 1).encode(), "2.15.1");
    try {
        Version::decode("abc");
        FAIL() << "decoding abc succeeded";
    } catch (const keyvane::DecodingError& error) {
        EXPECT_EQ(error.description(), "Invalid version format");
    }
}

TEST(RandomTest, AlphanumericTextHasTheLengthAndAlphabetAsked) {
    EXPECT_EQ(keyvane::randomAlphanumericString(0), "");
    const auto text = keyvane::randomAlphanumericString(4096);
    ASSERT_EQ(text.size(), 4096u);
    std::set<char> seen(text.begin(), text.end());
    for (const char c : seen) {
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
    }
    // 4096 uniform draws over 62 characters miss one with probability ~62·e^-66.
    EXPECT_EQ(seen.size(), 62u);
    EXPECT_NE(keyvane::randomAlphanumericString(16), keyvane::randomAlphanumericString(16));
}

TEST(RandomTest, BytesAndBoundedDrawsStayInRange) {
    EXPECT_TRUE(keyvane::randomBytes(0).empty());
    EXPECT_TRUE(keyvane::randomBytes(-3).empty());
    EXPECT_EQ(keyvane::randomBytes(32).size(), 32u);
    std::set<std::uint64_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const auto value = keyvane::randomUniform(17);
        ASSERT_LT(value, 17u);
        seen.insert(value);
    }
    EXPECT_EQ(seen.size(), 17u);
}

TEST(Base64Test, RoundTripsAndRefusesMalformedText) {
    for (std::size_t length = 0; length < 10; ++length) {
        const auto bytes = keyvane::randomBytes(static_cast<int>(length));
        EXPECT_EQ(keyvane::base64Decode(keyvane::base64Encode(bytes)), bytes);
    }
    EXPECT_EQ(keyvane::base64Encode({0xfb, 0xff}), "+/8=");
    for (const char* bad : {"A", "AB=C", "A===", "AB?D", "QQ=Q", "QR==", "====", "QQ== "}) {
        EXPECT_FALSE(keyvane::base64Decode(bad).has_value()) << bad;
    }
}

TEST(Utf8Test, AcceptsWellFormedTextOnly) {
    auto check = [](std::initializer_list<std::uint8_t> bytes) {
        const std::vector<std::uint8_t> data(bytes);
        return keyvane::isValidUtf8(data);
    };
    EXPECT_TRUE(check({}));
    EXPECT_TRUE(check({'1', '2', '3', '4'}));
    EXPECT_TRUE(check({0xd0, 0xbf, 0xd0, 0xb8, 0xd0, 0xbd}));  // "пин"
    EXPECT_TRUE(check({0xf0, 0x9f, 0x94, 0x91}));              // U+1F511
    EXPECT_FALSE(check({0xff}));
    EXPECT_FALSE(check({0xc0, 0xaf}));                         // overlong "/"
    EXPECT_FALSE(check({0xed, 0xa0, 0x80}));                   // surrogate
    EXPECT_FALSE(check({0xf4, 0x90, 0x80, 0x80}));             // above U+10FFFF
    EXPECT_FALSE(check({0xd0}));                               // cut short
}

} // namespace
