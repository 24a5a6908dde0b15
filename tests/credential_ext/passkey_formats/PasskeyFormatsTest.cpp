#include "TestBytes.h"

#include "credential_ext/passkey_formats/Assertion.h"
#include "credential_ext/passkey_formats/Attestation.h"
#include "credential_ext/passkey_formats/CanonicalCbor.h"
#include "credential_ext/passkey_formats/CborHelper.h"
#include "credential_ext/passkey_formats/CredentialId.h"
#include "credential_ext/passkey_formats/PasskeyFormatError.h"
#include "credential_ext/passkey_formats/PublicPoint.h"

#include <QCborMap>
#include <QRegularExpression>
#include <QString>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using keyvane::Bytes;
using keyvane::PasskeyFormatError;
using keyvane::testing::concat;
using keyvane::testing::hex;

// The generator of P-256: a point known to be on the curve.
const Bytes generatorX = hex("6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296");
const Bytes generatorY = hex("4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5");
const Bytes exampleComHash = hex("a379a6f6eeafb9a55e378c118034e2751e682fab9f2d30ab13d2125586ce1947");

TEST(PasskeyFormatsTest, CoseKeyOfFixedCoordinates) {
    const Bytes key = keyvane::CborHelper::encodeCoseKey(Bytes(32, 0x11), Bytes(32, 0x22));
    EXPECT_EQ(key, concat({hex("A5 01 02 03 26 20 01 21 58 20"), Bytes(32, 0x11), hex("22 58 20"), Bytes(32, 0x22)}));
    EXPECT_EQ(key.size(), 77U);
}

TEST(PasskeyFormatsTest, RegistrationWithASystemCredentialId) {
    const Bytes credentialId = keyvane::makeCredentialId();
    const auto attestation = keyvane::Attestation::make("example.com", credentialId, {generatorX, generatorY});

    const Bytes data = attestation.authenticatorData();
    ASSERT_EQ(data.size(), 168U);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 32), exampleComHash);
    EXPECT_EQ(Bytes(data.begin() + 32, data.begin() + 37), hex("5D 00 00 00 00"));
    EXPECT_EQ(Bytes(data.begin() + 37, data.begin() + 53), hex("3f7c1d92 8e4b 4a06 9d35 c2e1b8f47a60"));
    EXPECT_EQ(Bytes(data.begin() + 53, data.begin() + 55), hex("00 24"));
    EXPECT_EQ(Bytes(data.begin() + 55, data.begin() + 91), credentialId);
    EXPECT_EQ(Bytes(data.begin() + 91, data.end()), keyvane::CborHelper::encodeCoseKey(generatorX, generatorY));

    const Bytes object = attestation.makeAttestationObject();
    ASSERT_EQ(object.size(), 198U);
    EXPECT_EQ(object, concat({hex("A3 63 666D74 64 6E6F6E65 67 61747453746D74 A0 68 6175746844617461 58 A8"), data}));
}

TEST(PasskeyFormatsTest, CredentialIdLengthMustFitItsField) {
    const keyvane::PublicPoint point{generatorX, generatorY};
    EXPECT_EQ(keyvane::Attestation::make("a", Bytes(255, 'A'), point).credentialIdLength, hex("00 FF"));
    for (const std::size_t length : {std::size_t{0}, std::size_t{256}}) {
        try {
            keyvane::Attestation::make("a", Bytes(length, 'A'), point);
            ADD_FAILURE() << length << " bytes accepted";
        } catch (const PasskeyFormatError& error) {
            EXPECT_EQ(error, PasskeyFormatError(PasskeyFormatError::invalidCredentialId{length}));
        }
    }
}

TEST(PasskeyFormatsTest, CredentialIdIsAnUpperCaseUuid) {
    const Bytes first = keyvane::makeCredentialId();
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(first.data()), static_cast<qsizetype>(first.size()));
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$").match(text).hasMatch())
        << text.toStdString();
    EXPECT_NE(first, keyvane::makeCredentialId());
}

TEST(PasskeyFormatsTest, AssertionAuthenticatorData) {
    const Bytes data = keyvane::Assertion("example.com").authenticatorData();
    EXPECT_EQ(data, concat({exampleComHash, hex("1D 00 00 00 00")}));
    // Relying-party identifiers are hashed as given: letter case matters.
    EXPECT_NE(keyvane::Assertion("Example.com").rpIdHash, exampleComHash);
}

TEST(PasskeyFormatsTest, PublicPointFromTheTokensEcPoint) {
    const Bytes bare = concat({hex("04"), generatorX, generatorY});
    const keyvane::PublicPoint expected{generatorX, generatorY};
    EXPECT_EQ(keyvane::PublicPoint::fromEcPoint(concat({hex("04 41"), bare})), expected);
    EXPECT_EQ(keyvane::PublicPoint::fromEcPoint(bare), expected);

    Bytes offCurve = bare;
    offCurve.back() ^= 0x01;
    const std::vector<std::pair<std::string, Bytes>> refused{
        {"empty", {}},
        {"point off the curve", offCurve},
        {"coordinate outside the field", concat({hex("04"), Bytes(32, 0xFF), generatorY})},
        {"compressed form", concat({hex("02"), generatorX})},
        {"wrong prefix in the bare form", concat({hex("05"), generatorX, generatorY})},
        {"wrong octet-string length", concat({hex("04 40"), bare})},
        {"trailing byte", concat({hex("04 41"), bare, hex("00")})},
        {"cut short", Bytes(bare.begin(), bare.end() - 1)},
    };
    for (const auto& [label, ecPoint] : refused) {
        SCOPED_TRACE(label);
        try {
            keyvane::PublicPoint::fromEcPoint(ecPoint);
            ADD_FAILURE() << "accepted";
        } catch (const PasskeyFormatError& error) {
            EXPECT_TRUE(error.is<PasskeyFormatError::invalidPublicKey>()) << error.description();
        }
    }
}

struct MapCase {
    std::string label;
    QCborMap map;
    Bytes expected;
};

QCborMap mapOf(std::initializer_list<std::pair<QCborValue, QCborValue>> pairs) {
    QCborMap map;
    for (const auto& [key, value] : pairs) {
        map.insert(key, value);
    }
    return map;
}

TEST(PasskeyFormatsTest, CanonicalMapOrder) {
    QCborMap wide;
    for (int key = 23; key >= 0; --key) {
        wide.insert(key, 0);
    }
    Bytes wideExpected = hex("B8 18");
    for (int key = 0; key < 24; ++key) {
        wideExpected.push_back(static_cast<std::uint8_t>(key));
        wideExpected.push_back(0x00);
    }

    const std::vector<MapCase> cases{
        {"empty map", QCborMap(), hex("A0")},
        {"shorter text key first", mapOf({{"aa", 1}, {"b", 2}}), hex("A2 6162 02 626161 01")},
        {"equal length, smaller first byte first", mapOf({{-1, 1}, {10, 2}}), hex("A2 0A 02 20 01")},
        {"one-byte key before two-byte key", mapOf({{24, 1}, {-1, 2}}), hex("A2 20 02 1818 01")},
        {"integer and text of equal length", mapOf({{"ab", 1}, {256, 2}}), hex("A2 190100 02 626162 01")},
        {"insertion order does not matter", mapOf({{-3, 1}, {-2, 2}, {3, 3}, {1, 4}, {-1, 5}}),
         hex("A5 01 04 03 03 20 05 21 02 22 01")},
        {"nested map kept as inserted", mapOf({{"k", QCborValue(mapOf({{"bb", 1}, {"a", 2}}))}}),
         hex("A1 616B A2 626262 01 6161 02")},
        {"24 pairs take a one-byte count", wide, wideExpected},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(keyvane::encodeCanonicalMap(row.map), row.expected);
    }
}

} // namespace
