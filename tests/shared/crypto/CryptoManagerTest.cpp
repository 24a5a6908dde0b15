#include "crypto/SoftwareTpm.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/crypto/CryptoManager.h"
#include "shared/crypto/CryptoManagerError.h"
#include "shared/crypto/FileDeviceKeyStore.h"
#include "shared/crypto/OpenSslDeviceKey.h"
#include "shared/crypto/PlatformDeviceKeyStore.h"
#include "shared/utils/Random.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace {

using namespace keyvane;

std::string hex(const auto& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const auto byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0xf];
    }
    return text;
}

Bytes saltZeroToFifteen() {
    Bytes salt;
    for (std::uint8_t i = 0; i < 16; ++i) {
        salt.push_back(i);
    }
    return salt;
}

std::string failingOperation(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const CryptoManagerError& error) {
        return error.as<CryptoManagerError::generalError>()->function;
    }
    return "no failure";
}

class CryptoManagerTest : public ::testing::Test {
protected:
    test_support::TemporaryGroupDirectory group;
    CryptoManager crypto;
    const Bytes tag{'t', 'a', 'g'};
};

TEST_F(CryptoManagerTest, PasswordHashMatchesKnownAnswers) {
    const struct {
        std::string password;
        const char* expected;
    } cases[] = {
        {"password", "3bc37118e625093e9b79ed08930ea7af7389591233fdd92dddf369371e60dbc0"},
        {"", "ffa81c4acdf4b1394384005f0aaf083dd4c7bae97d8dc466581ecf75bb005eb9"},
        {"пароль", "e62a9945452bd65074706ded4c9cacb32d59ed2f85a196166b676b6a77a04dda"},
    };
    for (const auto& [password, expected] : cases) {
        EXPECT_EQ(hex(crypto.hash(password, saltZeroToFifteen(), 32)), expected) << password;
    }
    EXPECT_EQ(failingOperation([&] { crypto.hash("x", saltZeroToFifteen(), 0); }),
              "hash(password:salt:keyByteCount:)");
}

TEST_F(CryptoManagerTest, KeyEncryptionKeyFromAFixedDeviceKeyMatchesTheKnownAnswer) {
    Bytes one(32, 0);
    one.back() = 1;
    const auto key = OpenSslDeviceKey::fromPrivateScalar(one);
    const auto kek = crypto.deriveKEK(*key, key->publicKey());
    EXPECT_EQ(hex(kek), "fe9ae8c97bb0c34afb95e52f5e19819e22550030665612f2d04a954e969599ca");
    EXPECT_EQ(crypto.deriveKEK(*key, key->publicKey()), kek);
    EXPECT_EQ(failingOperation([&] { crypto.deriveKEK(*key, Bytes{0x04, 1, 2}); }), "deriveKEK(_:_:)");
}

TEST_F(CryptoManagerTest, SealedBoxesUseTheCombinedLayoutAndRefuseDamage) {
    SecureBytes kek(32, 7);
    const Bytes cek = randomBytes(32);
    const Bytes first = crypto.encryptCEK(cek, kek);
    const Bytes second = crypto.encryptCEK(cek, kek);
    EXPECT_EQ(first.size(), 60u);
    EXPECT_NE(first, second); // fresh nonces
    const auto openedFirst = crypto.decryptCEK(first, kek);
    const auto openedSecond = crypto.decryptCEK(second, kek);
    EXPECT_EQ(Bytes(openedFirst.begin(), openedFirst.end()), cek);
    EXPECT_EQ(Bytes(openedSecond.begin(), openedSecond.end()), cek);

    for (std::size_t position : {0u, 12u, 40u, 59u}) {
        Bytes flipped = first;
        flipped[position] ^= 0x01;
        EXPECT_EQ(failingOperation([&] { crypto.decryptCEK(flipped, kek); }), "decryptCEK(encryptedCEK:kek:)")
            << "byte " << position;
    }
    SecureBytes otherKek(32, 8);
    EXPECT_EQ(failingOperation([&] { crypto.decryptCEK(first, otherKek); }), "decryptCEK(encryptedCEK:kek:)");
    // 28 bytes is an empty plaintext; anything shorter is refused before decrypting.
    const Bytes empty = crypto.encryptCEK(Bytes{}, kek);
    EXPECT_EQ(empty.size(), 28u);
    EXPECT_TRUE(crypto.decryptCEK(empty, kek).empty());
    EXPECT_EQ(failingOperation([&] { crypto.decryptCEK(Bytes(empty.begin(), empty.end() - 1), kek); }),
              "decryptCEK(encryptedCEK:kek:)");
}

// The same operations on each device-key backend.
class CryptoManagerOnBackendTest : public CryptoManagerTest, public ::testing::WithParamInterface<std::string> {
protected:
    test_support::DeviceKeyBackendUnderTest backend{GetParam()};
};

TEST_P(CryptoManagerOnBackendTest, DataIsSealedUnderTheDeviceKeysContentKey) {
    EXPECT_EQ(failingOperation([&] { crypto.getKeysFromEnclave(tag); }), "getKeysFromEnclave(with:)");
    crypto.createKEK(tag);
    EXPECT_EQ(PlatformDeviceKeyStore().backendOf(tag),
              GetParam() == "tpm" ? DeviceKeyBackend::tpm : DeviceKeyBackend::file);
    const auto keys = crypto.getKeysFromEnclave(tag);
    const auto kek = crypto.deriveKEK(*keys.privateKey, keys.publicKey);
    const Bytes sealedCek = crypto.encryptCEK(randomBytes(32), kek);

    const std::string pin = "12345678";
    const Bytes box = crypto.encrypt(Bytes(pin.begin(), pin.end()), sealedCek, tag);
    EXPECT_EQ(box.size(), pin.size() + 28);
    const auto opened = crypto.decrypt(box, sealedCek, tag);
    EXPECT_EQ(std::string(opened.begin(), opened.end()), pin);

    Bytes damaged = box;
    damaged[20] ^= 0x80;
    EXPECT_EQ(failingOperation([&] { crypto.decrypt(damaged, sealedCek, tag); }), "decrypt(_:with:_:)");
    EXPECT_EQ(failingOperation([&] { crypto.decrypt(box, Bytes(60, 0), tag); }), "decryptCEK(encryptedCEK:kek:)");

    // A new key under the tag replaces the old one: the old content key no longer opens.
    crypto.createKEK(tag);
    EXPECT_EQ(failingOperation([&] { crypto.decrypt(box, sealedCek, tag); }), "decryptCEK(encryptedCEK:kek:)");
    crypto.deleteKEK(tag);
    crypto.deleteKEK(tag); // nothing left to delete is success
    EXPECT_EQ(failingOperation([&] { crypto.encrypt(Bytes{1}, sealedCek, tag); }), "getKeysFromEnclave(with:)");
}

INSTANTIATE_TEST_SUITE_P(Backends, CryptoManagerOnBackendTest, ::testing::Values("file", "tpm"),
                         [](const auto& info) { return info.param; });

TEST_F(CryptoManagerTest, DeviceKeyFileIsPrivateAndRefusedWhenOthersCanReadIt) {
    FileDeviceKeyStore store;
    store.createKey(tag);
    const auto path = store.pathFor(tag);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const auto publicKey = store.findKey(tag)->publicKey();
    EXPECT_EQ(publicKey.size(), 65u);
    store.createKey(tag);
    EXPECT_NE(store.findKey(tag)->publicKey(), publicKey);

    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    EXPECT_EQ(failingOperation([&] { crypto.getKeysFromEnclave(tag); }), "getKeysFromEnclave(with:)");
}

} // namespace
