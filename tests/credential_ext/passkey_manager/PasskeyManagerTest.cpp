#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"

#include "credential_ext/passkey_formats/PublicPoint.h"
#include "credential_ext/passkey_formats/Tlv.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Manager.h"

#include "VirtualTokenFixture.h"

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <chrono>
#include <functional>

namespace keyvane {
namespace {

using namespace std::chrono_literals;
using testing::VirtualTokenFixture;
using testing::VirtualTokenSettings;

const std::string serial = "0313210061";
const std::string pin = "12345678";

// Whether OpenSSL accepts the raw r||s as ECDSA-SHA256 over the data by the key of the point.
bool verifies(const Bytes& ecPoint, const Bytes& data, const Bytes& rawSignature) {
    const auto point = PublicPoint::fromEcPoint(ecPoint);
    Bytes uncompressed{0x04};
    uncompressed.insert(uncompressed.end(), point.x.begin(), point.x.end());
    uncompressed.insert(uncompressed.end(), point.y.begin(), point.y.end());
    char group[] = "prime256v1";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, uncompressed.data(), uncompressed.size()),
        OSSL_PARAM_construct_end()};
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr),
                                                                        EVP_PKEY_CTX_free);
    EVP_PKEY* raw = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &raw, EVP_PKEY_PUBLIC_KEY, const_cast<OSSL_PARAM*>(params)) != 1) {
        return false;
    }
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(raw, EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> digest(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    const Bytes der = derSignature(rawSignature);
    return EVP_DigestVerifyInit(digest.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(digest.get(), der.data(), der.size(), data.data(), data.size()) == 1;
}

template <class F>
PasskeyManagerError errorOf(F&& operation) {
    try {
        operation();
    } catch (const PasskeyManagerError& error) {
        return error;
    }
    ADD_FAILURE() << "no error";
    return PasskeyManagerError(PasskeyManagerError::credsNotFound{});
}

std::string underlyingText(const PasskeyManagerError& error) {
    const auto* general = error.as<PasskeyManagerError::generalError>();
    if (general == nullptr || !general->error) {
        return "<not a general error>";
    }
    return general->error->description();
}

class PasskeyManagerTest : public ::testing::Test {
protected:
    void start(VirtualTokenSettings settings = {}, bool logIn = true) {
        fixture_ = std::make_unique<VirtualTokenFixture>(std::vector<VirtualTokenSettings>{settings});
        manager_ = std::make_shared<Pkcs11Manager>(Pkcs11Library::load(VirtualTokenFixture::modulePath()), 10ms);
        const auto event = manager_->startMonitoring().next(10s);
        ASSERT_TRUE(event);
        passkeys_ = std::make_unique<ExtensionPasskeyManager>(manager_);
        token_ = passkeys_->getToken(serial);
        if (logIn) {
            token_->login(pin);
        }
    }
    void TearDown() override {
        passkeys_.reset();
        token_.reset();
        manager_.reset();
        fixture_.reset();
    }

    // A passkey as the registration makes it: the key pair, then its metadata object.
    PasskeyCredentials addPasskey(std::uint8_t id, bool withKey = true) {
        const PasskeyCredentials credentials{Bytes{0xC0, id}, "site" + std::to_string(id) + ".example",
                                             "user" + std::to_string(id), Bytes{0x55, id}, serial};
        if (withKey) {
            points_[id] = passkeys_->createKeyPair(serial, credentials.keyId, Bytes{'k', id});
        }
        addMetadataObject(PasskeyMetadata(KeyInfo::from(credentials)).toData());
        return credentials;
    }
    void addMetadataObject(const Bytes& value) {
        auto object = dataObjectTemplate();
        object.dataAttrs[Pkcs11DataAttribute::objectId] = passkeyObjectId();
        object.dataAttrs[Pkcs11DataAttribute::value] = value;
        token_->createObject(object);
    }
    std::size_t count(std::uint64_t objectClass, const std::optional<Bytes>& id = std::nullopt) const {
        auto search = keyTemplate(objectClass, objectClass != CKO_PUBLIC_KEY);
        if (objectClass == CKO_DATA) {
            search = passkeyMetadataTemplate();
        }
        if (id) {
            search.dataAttrs[Pkcs11DataAttribute::id] = *id;
        }
        return token_->findObjects(search).size();
    }

    std::unique_ptr<VirtualTokenFixture> fixture_;
    std::shared_ptr<Pkcs11Manager> manager_;
    std::unique_ptr<ExtensionPasskeyManager> passkeys_;
    std::shared_ptr<Pkcs11TokenProtocol> token_;
    std::map<std::uint8_t, Bytes> points_;
};

TEST_F(PasskeyManagerTest, CreateKeyPairLeavesOnlyAProtectedPrivateKey) {
    start();
    const Bytes keyId{1, 2, 3};
    const Bytes point = passkeys_->createKeyPair(serial, keyId, Bytes{'l', 'b'});
    EXPECT_NO_THROW(PublicPoint::fromEcPoint(point));
    EXPECT_EQ(count(CKO_PUBLIC_KEY, keyId), 0U);
    const auto key = passkeys_->findPrivateKey(*token_, keyId);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->getValue(Pkcs11DataAttribute::id), keyId);
    EXPECT_EQ(key->getValue(Pkcs11DataAttribute::label), (Bytes{'l', 'b'}));
    EXPECT_TRUE(key->getValue(Pkcs11BoolAttribute::sign));
    EXPECT_TRUE(key->getValue(Pkcs11BoolAttribute::sensitive));
    EXPECT_FALSE(key->getValue(Pkcs11BoolAttribute::extractable));

    EXPECT_EQ(underlyingText(errorOf([&] { passkeys_->createKeyPair(serial, {}, {}); })), "Empty key identifier");
    EXPECT_TRUE(errorOf([&] { passkeys_->createKeyPair("0000000009", keyId, {}); })
                    .is<PasskeyManagerError::tokenNotFound>());
}

TEST_F(PasskeyManagerTest, SignaturesVerifyWithAndWithoutTheCombinedMechanism) {
    for (const bool combined : {true, false}) {
        SCOPED_TRACE(combined ? "CKM_ECDSA_SHA256" : "host digest and CKM_ECDSA");
        VirtualTokenSettings settings;
        settings.extra = {{"ecdsa_sha256", combined}};
        start(settings);
        const auto credentials = addPasskey(1);
        const Bytes data{'a', 'u', 't', 'h', 0, 1, 2};
        const Bytes signature = passkeys_->sign(credentials, data);
        EXPECT_EQ(signature.size(), 64U);
        EXPECT_TRUE(verifies(points_[1], data, signature));
        EXPECT_FALSE(verifies(points_[1], Bytes{'x'}, signature));
        TearDown();
    }
}

TEST_F(PasskeyManagerTest, SigningFailures) {
    VirtualTokenSettings settings;
    settings.touch = testing::VirtualTouch{};
    start(settings);
    const auto credentials = addPasskey(1);
    fixture_->setTouchOutcome(1, true);
    EXPECT_TRUE(errorOf([&] { passkeys_->sign(credentials, {1}); }).is<PasskeyManagerError::touchTimeExpired>());
    fixture_->setTouchOutcome(1, false);

    auto other = credentials;
    other.username = "someone else";
    EXPECT_TRUE(errorOf([&] { passkeys_->sign(other, {1}); }).is<PasskeyManagerError::credsNotFound>());
    // Its key is gone: the listing removes the passkey, so it is no longer there to sign with.
    passkeys_->findPrivateKey(*token_, credentials.keyId)->deleteObject();
    EXPECT_TRUE(errorOf([&] { passkeys_->sign(credentials, {1}); }).is<PasskeyManagerError::credsNotFound>());
}

TEST_F(PasskeyManagerTest, ListingRepairsOrphansAndKeepsWhatItCannotRead) {
    start();
    const auto first = addPasskey(1);
    addPasskey(2, false);                // orphan: no key
    addMetadataObject({2, 0, 0x0A, 1, 'a'}); // a format this version cannot read
    const auto third = addPasskey(3);
    // A record without key identifier must never search for an empty CKA_ID.
    addMetadataObject(PasskeyMetadata(KeyInfo{"nokey.example", "u", {1}, {}, {}}).toData());

    EXPECT_EQ(passkeys_->getCredentials(serial), (std::vector<PasskeyCredentials>{first, third}));
    EXPECT_EQ(count(CKO_DATA), 4U); // the orphan went, the unreadable and the keyless stayed
    EXPECT_EQ(passkeys_->getCredentials(serial), (std::vector<PasskeyCredentials>{first, third}));

    passkeys_->deleteCredentials({first.keyId}, serial);
    EXPECT_EQ(passkeys_->getCredentials(serial), (std::vector<PasskeyCredentials>{third}));
    EXPECT_FALSE(passkeys_->findPrivateKey(*token_, first.keyId));
    EXPECT_EQ(count(CKO_DATA), 3U);
    passkeys_->deleteCredentials({}, serial);
    EXPECT_EQ(count(CKO_DATA), 3U);
}

TEST_F(PasskeyManagerTest, ListingErrors) {
    start({}, false);
    EXPECT_EQ(underlyingText(errorOf([&] { passkeys_->getCredentials(serial); })),
              "The token session is not logged in");
    EXPECT_EQ(underlyingText(errorOf([&] { passkeys_->deleteCredentials({{1}}, serial); })),
              "The token session is not logged in");
    EXPECT_TRUE(errorOf([&] { passkeys_->getCredentials("0000000009"); }).is<PasskeyManagerError::tokenNotFound>());

    token_->login(pin);
    const auto first = addPasskey(1);
    passkeys_->createKeyPair(serial, first.keyId, {'x'}); // a second key with the same identifier
    const auto twoKeys = errorOf([&] { passkeys_->getCredentials(serial); });
    EXPECT_EQ(twoKeys.as<PasskeyManagerError::generalError>()->function, "findPrivateKey(for:by:)");
    EXPECT_EQ(underlyingText(twoKeys), "More than 1 private key were found");
    EXPECT_EQ(count(CKO_DATA), 1U); // nothing of that passkey is destroyed

    fixture_->injectFault("C_FindObjectsInit", CKR_DEVICE_ERROR);
    const auto failed = errorOf([&] { passkeys_->getCredentials(serial); });
    EXPECT_EQ(failed.as<PasskeyManagerError::generalError>()->function, "makeDefaultError(_:)");
}

} // namespace
} // namespace keyvane
