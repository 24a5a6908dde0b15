#include "TestBytes.h"

#include "credential_ext/passkey_formats/PasskeyFormatError.h"
#include "credential_ext/passkey_formats/Tlv.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ecdsa.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using keyvane::Bytes;
using keyvane::Tlv;
using keyvane::testing::hex;

TEST(DerSignatureTest, LengthOctets) {
    const std::vector<std::pair<std::size_t, Bytes>> cases{
        {0, hex("00")},          {127, hex("7F")},          {128, hex("81 80")},         {255, hex("81 FF")},
        {256, hex("82 01 00")},  {65535, hex("82 FF FF")},  {65536, hex("83 01 00 00")},
    };
    for (const auto& [length, expected] : cases) {
        EXPECT_EQ(Tlv::encodeLength(length), expected) << length;
    }
}

TEST(DerSignatureTest, MinimalIntegers) {
    const std::vector<std::pair<Bytes, Bytes>> cases{
        {hex("80 00"), hex("02 03 00 80 00")}, {hex("00 7F"), hex("02 01 7F")}, {hex("00 80"), hex("02 02 00 80")},
        {hex("00 00"), hex("02 01 00")},       {hex("01"), hex("02 01 01")},    {{}, hex("02 00")},
    };
    for (const auto& [magnitude, expected] : cases) {
        EXPECT_EQ(Tlv(Tlv::integer{magnitude}).encode(), expected) << keyvane::testing::toHex(magnitude);
    }
    // A sequence longer than 127 bytes takes a long-form length.
    const Tlv longSequence(Tlv::sequence{std::vector<Tlv>(43, Tlv(Tlv::integer{hex("80")}))});
    const Bytes encoded = longSequence.encode();
    EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + 3), hex("30 81 AC"));
    EXPECT_EQ(encoded.size(), 3U + 43 * 4);
}

TEST(DerSignatureTest, ShortR) {
    Bytes raw(64, 0x55);
    raw[0] = 0x00;
    raw[1] = 0x7F;
    const Bytes der = keyvane::derSignature(raw);
    // r keeps 31 content bytes; s (0x55...) keeps all 32.
    EXPECT_EQ(Bytes(der.begin(), der.begin() + 4), hex("30 43 02 1F"));
    EXPECT_EQ(der.size(), 2U + 33 + 34);
}

struct SignatureFree {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};

// OpenSSL's own DER of (r, s).
Bytes opensslDer(const Bytes& raw) {
    std::unique_ptr<ECDSA_SIG, SignatureFree> signature(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(raw.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(raw.data() + 32, 32, nullptr);
    EXPECT_EQ(ECDSA_SIG_set0(signature.get(), r, s), 1);
    unsigned char* out = nullptr;
    const int length = i2d_ECDSA_SIG(signature.get(), &out);
    EXPECT_GT(length, 0);
    Bytes der(out, out + length);
    OPENSSL_free(out);
    return der;
}

// Raw r || s as tokens produce them, weighted towards the cases a minimal encoding gets wrong:
// leading zero bytes, a top bit that needs a 00 in front, and both at once.
TEST(DerSignatureTest, MatchesOpenSslOnRandomSignatures) {
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 600; ++round) {
        Bytes raw(64);
        for (auto& value : raw) {
            value = static_cast<std::uint8_t>(byte(random));
        }
        for (const std::size_t half : {std::size_t{0}, std::size_t{32}}) {
            switch ((round + half / 32) % 5) {
            case 1: // top bit set
                raw[half] |= 0x80;
                break;
            case 2: { // leading zeros, then a byte with the top bit set
                const std::size_t zeros = static_cast<std::size_t>(byte(random) % 32);
                std::fill_n(raw.begin() + static_cast<std::ptrdiff_t>(half), zeros, 0);
                if (zeros < 32) {
                    raw[half + zeros] |= 0x80;
                }
                break;
            }
            case 3: // leading zeros, then a byte without it
                raw[half] = 0;
                raw[half + 1] &= 0x7F;
                break;
            case 4: // zero
                std::fill_n(raw.begin() + static_cast<std::ptrdiff_t>(half), 32, 0);
                break;
            default:
                break;
            }
        }
        const Bytes ours = keyvane::derSignature(raw);
        ASSERT_EQ(ours, opensslDer(raw)) << keyvane::testing::toHex(raw);
        ASSERT_LE(ours.size(), 72U);
    }
}

TEST(DerSignatureTest, RawSignatureMustBe64Bytes) {
    for (const std::size_t length : {0, 63, 65, 72}) {
        try {
            keyvane::derSignature(Bytes(length, 0x01));
            ADD_FAILURE() << length << " bytes accepted";
        } catch (const keyvane::PasskeyFormatError& error) {
            EXPECT_EQ(error, keyvane::PasskeyFormatError(keyvane::PasskeyFormatError::invalidSignature{length}));
        }
    }
}

} // namespace
