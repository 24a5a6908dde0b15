#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"

#include "credential_ext/passkey_formats/PublicPoint.h"
#include "credential_ext/passkey_formats/Tlv.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Manager.h"

#include "../SignatureCheck.h"
#include "VirtualTokenFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>

namespace keyvane {
namespace {

using namespace std::chrono_literals;
using testing::VirtualTokenFixture;
using testing::VirtualTokenSettings;

const std::string serial = "0313210061";
const std::string pin = "12345678";

// Whether OpenSSL accepts the raw r||s as ECDSA-SHA256 over the data by the key of the point.
bool verifies(const Bytes& ecPoint, const Bytes& data, const Bytes& rawSignature) {
    return testing::verifiesDer(PublicPoint::fromEcPoint(ecPoint), data, derSignature(rawSignature));
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
    int calls(const std::string& function) const {
        const auto log = fixture_->callLog();
        return static_cast<int>(
            std::count_if(log.begin(), log.end(), [&](const auto& call) { return call.function == function; }));
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

TEST_F(PasskeyManagerTest, ALoginLostDuringTheKeySearchFailsTheListingAndDestroysNothing) {
    start();
    const auto first = addPasskey(1);
    addPasskey(2, false); // a true orphan
    const auto third = addPasskey(3);

    // Logged out between the metadata search and the key search: no key is in sight.
    fixture_->injectLogout("C_FindObjectsInit", 2);
    EXPECT_EQ(underlyingText(errorOf([&] { passkeys_->getCredentials(serial); })),
              "The token session was logged out during the listing");
    token_->login(pin);
    EXPECT_EQ(count(CKO_DATA), 3U);
    EXPECT_EQ(count(CKO_PRIVATE_KEY), 2U);

    // Logged in throughout, the orphan goes and the passkeys stay.
    EXPECT_EQ(passkeys_->getCredentials(serial), (std::vector<PasskeyCredentials>{first, third}));
    EXPECT_EQ(count(CKO_DATA), 2U);
}

TEST_F(PasskeyManagerTest, OrphansStayWhileARegistrationHoldsTheTokenAndGoAfterwards) {
    start();
    const auto complete = addPasskey(1);
    addPasskey(2, false); // as a registration's passkey looks before its key exists
    {
        const auto registering = passkeys_->holdForRegistration(serial);
        const auto another = passkeys_->holdForRegistration(serial); // registrations share the hold
        EXPECT_EQ(passkeys_->getCredentials(serial), std::vector{complete});
        EXPECT_EQ(count(CKO_DATA), 2U);
    }
    EXPECT_EQ(passkeys_->getCredentials(serial), std::vector{complete});
    EXPECT_EQ(count(CKO_DATA), 1U);
}

// Another program destroys an object between the search that found it and its read: the
// handle answers CKR_OBJECT_HANDLE_INVALID. Each read is two calls (length, then value); the
// first passkey's metadata is read (calls 1-2) before the key search's identifiers (3 on).
TEST_F(PasskeyManagerTest, AnObjectGoneSinceTheSearchIsPassedOver) {
    struct Case {
        const char* gone;
        std::uint64_t onCall;
        std::size_t listed;
    };
    for (const Case& c : {Case{"the first metadata object", 1, 2}, Case{"a private key", 3, 3}}) {
        SCOPED_TRACE(c.gone);
        start();
        for (std::uint8_t id = 1; id <= 3; ++id) {
            addPasskey(id);
        }
        fixture_->injectFault("C_GetAttributeValue", CKR_OBJECT_HANDLE_INVALID, c.onCall);
        EXPECT_EQ(passkeys_->getCredentials(serial).size(), c.listed);
        EXPECT_EQ(count(CKO_DATA), 3U) << "nothing is taken for an orphan";

        // A deletion whose objects another program destroyed first has nothing left to do.
        const auto all = passkeys_->getCredentials(serial);
        fixture_->injectFault("C_DestroyObject", CKR_OBJECT_HANDLE_INVALID, 1, 2);
        EXPECT_NO_THROW(passkeys_->deleteCredentials({all.front().keyId}, serial));
        TearDown();
    }
}

TEST_F(PasskeyManagerTest, ListingAndDeletingSearchTheTokenTwiceWhateverTheNumberOfPasskeys) {
    start();
    std::vector<PasskeyCredentials> all;
    for (std::uint8_t id = 1; id <= 8; ++id) {
        all.push_back(addPasskey(id));
    }
    // Keys that are not passkeys' keys are matched by identifier like any other.
    passkeys_->createKeyPair(serial, {0xEE}, {'o'});

    fixture_->clearCallLog();
    EXPECT_EQ(passkeys_->getCredentials(serial), all);
    EXPECT_EQ(calls("C_FindObjectsInit"), 2);

    fixture_->clearCallLog();
    passkeys_->deleteCredentials({all[3].keyId, all[6].keyId}, serial);
    EXPECT_EQ(calls("C_FindObjectsInit"), 2);
    all.erase(all.begin() + 6);
    all.erase(all.begin() + 3);
    EXPECT_EQ(passkeys_->getCredentials(serial), all);
    EXPECT_EQ(count(CKO_PRIVATE_KEY), 7U);
}

TEST_F(PasskeyManagerTest, DeletionMatchesKeysAsASearchPerPasskeyWould) {
    start();
    const auto first = addPasskey(1);
    addMetadataObject(PasskeyMetadata(KeyInfo::from(first)).toData()); // a second record of the same key
    const auto keyless = addPasskey(2, false);
    const auto kept = addPasskey(3);

    // The key goes with the first record; the second finds none. A passkey without its key
    // loses its record only.
    passkeys_->deleteCredentials({first.keyId, keyless.keyId}, serial);
    EXPECT_EQ(count(CKO_DATA), 1U);
    EXPECT_EQ(count(CKO_PRIVATE_KEY), 1U);
    EXPECT_EQ(passkeys_->getCredentials(serial), std::vector{kept});
}

TEST_F(PasskeyManagerTest, TheFirstFailureEndsTheListingAndWhatWasDoneStaysDone) {
    start();
    addPasskey(1, false); // an orphan, handled before the failure
    const auto doubled = addPasskey(2);
    passkeys_->createKeyPair(serial, doubled.keyId, {'x'});
    addPasskey(3, false); // an orphan after it, never reached

    EXPECT_EQ(underlyingText(errorOf([&] { passkeys_->getCredentials(serial); })),
              "More than 1 private key were found");
    EXPECT_EQ(count(CKO_DATA), 2U);
    EXPECT_EQ(underlyingText(errorOf([&] { passkeys_->deleteCredentials({doubled.keyId}, serial); })),
              "More than 1 private key were found");
    EXPECT_EQ(count(CKO_DATA), 2U);
    EXPECT_EQ(count(CKO_PRIVATE_KEY), 2U);
}

// A token whose login check lets another thread log the session out at once, the way the login
// sheet closing does; that logout reaches the token as soon as the executor lets it.
class TokenLoggedOutAfterTheCheck final : public Pkcs11TokenProtocol {
public:
    explicit TokenLoggedOutAfterTheCheck(std::shared_ptr<Pkcs11Token> token) : token_(std::move(token)) {}
    ~TokenLoggedOutAfterTheCheck() override { waitForLogout(); }
    void waitForLogout() const {
        if (logout_.valid()) {
            logout_.wait();
        }
    }

    bool isLoggedIn() const override {
        const bool loggedIn = token_->isLoggedIn();
        const auto library = token_->library();
        const auto session = token_->sessionHandle();
        logout_ = std::async(std::launch::async, [library, session] { library->logout(session); });
        if (!library->isExecutorThread()) {
            logout_.wait(); // nothing holds the executor: the logout lands before the next call
        }
        return loggedIn;
    }
    void runAsOneJob(const std::function<void()>& operation) const override { token_->runAsOneJob(operation); }

    std::uint64_t slot() const override { return token_->slot(); }
    std::uint64_t sessionHandle() const override { return token_->sessionHandle(); }
    const std::optional<std::string>& label() const override { return token_->label(); }
    const std::string& serial() const override { return token_->serial(); }
    const std::string& serialNumber() const override { return token_->serialNumber(); }
    const std::string& model() const override { return token_->model(); }
    const Pkcs11TokenInteractionType& interactionType() const override { return token_->interactionType(); }
    bool isSupported() const override { return token_->isSupported(); }
    const Pkcs11TokenVersion& tokenVersion() const override { return token_->tokenVersion(); }
    std::optional<std::uint64_t> totalMemory() const override { return token_->totalMemory(); }
    std::vector<Pkcs11Object> findObjects(const Pkcs11Template& objectTemplate) const override {
        return token_->findObjects(objectTemplate);
    }
    Pkcs11Object createObject(const Pkcs11Template& objectTemplate) const override {
        return token_->createObject(objectTemplate);
    }
    void login(const std::string& userPin) const override { token_->login(userPin); }
    std::optional<std::uint64_t> getFreeMemory() const override { return token_->getFreeMemory(); }
    Pkcs11KeyPair generateKeyPair(const Pkcs11Template& publicKey, const Pkcs11Template& privateKey) const override {
        return token_->generateKeyPair(publicKey, privateKey);
    }
    Bytes sign(const Bytes& data, const Pkcs11ObjectProtocol& key) const override { return token_->sign(data, key); }

private:
    std::shared_ptr<Pkcs11Token> token_;
    mutable std::future<void> logout_;
};

class OneTokenManager final : public Pkcs11ManagerProtocol {
public:
    explicit OneTokenManager(std::shared_ptr<Pkcs11TokenProtocol> token) : token_(std::move(token)) {}
    Pkcs11TokenEventStream startMonitoring() override { return Pkcs11TokenEventStream::make().first; }
    void stopMonitoring() override {}
    std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& wanted) override {
        return wanted == token_->serial() ? token_ : nullptr;
    }

private:
    std::shared_ptr<Pkcs11TokenProtocol> token_;
};

TEST_F(PasskeyManagerTest, ALogoutAfterTheLoginCheckWaitsForTheListing) {
    start();
    const auto first = addPasskey(1);
    const auto second = addPasskey(2);
    for (const bool deleting : {false, true}) {
        SCOPED_TRACE(deleting ? "deleting" : "listing");
        token_->login(pin);
        auto token = std::make_shared<TokenLoggedOutAfterTheCheck>(std::dynamic_pointer_cast<Pkcs11Token>(token_));
        PasskeyManager passkeys(std::make_shared<OneTokenManager>(token));
        if (deleting) {
            passkeys.deleteCredentials({first.keyId}, serial);
        } else {
            auto listed = passkeys.getCredentials(serial);
            std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return a.keyId < b.keyId; });
            EXPECT_EQ(listed, (std::vector{first, second}));
        }
        token->waitForLogout();
        EXPECT_FALSE(token_->isLoggedIn());
    }
    token_->login(pin);
    EXPECT_EQ(passkeys_->getCredentials(serial), std::vector{second});
}

TEST_F(PasskeyManagerTest, AFailureAfterGenerationRemovesTheNewKeys) {
    struct Case {
        const char* function;
        const char* failedOperation;
    };
    for (const Case& failing : {Case{"C_GetAttributeValue", "getValue(forAttr:)"}, Case{"C_DestroyObject", "delete()"}}) {
        SCOPED_TRACE(failing.function);
        start();
        const Bytes keyId{7, 7};
        fixture_->injectFault(failing.function, CKR_DEVICE_ERROR); // the first such call after generating
        const auto error = errorOf([&] { passkeys_->createKeyPair(serial, keyId, {'l'}); });
        const auto* general = error.as<PasskeyManagerError::generalError>();
        ASSERT_NE(general, nullptr);
        ASSERT_TRUE(general->error);
        const auto* cause = general->error->as<Pkcs11Error>();
        ASSERT_NE(cause, nullptr);
        ASSERT_NE(cause->as<Pkcs11Error::internalError>(), nullptr);
        EXPECT_EQ(cause->as<Pkcs11Error::internalError>()->func, failing.failedOperation);
        EXPECT_EQ(cause->as<Pkcs11Error::internalError>()->rv, CKR_DEVICE_ERROR);
        EXPECT_EQ(count(CKO_PRIVATE_KEY, keyId), 0U);
        EXPECT_EQ(count(CKO_PUBLIC_KEY, keyId), 0U);
        // Nothing blocks a second try with the same identifier.
        EXPECT_NO_THROW(passkeys_->createKeyPair(serial, keyId, {'l'}));
        TearDown();
    }
}

} // namespace
} // namespace keyvane
