#include "files/TemporaryGroupDirectory.h"

#include "shared/files/SecureFile.h"
#include "shared/identities/CredentialIdentityStore.h"
#include "shared/identities/CredentialIdentityStoreError.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace keyvane;

class CredentialIdentityStoreTest : public ::testing::Test {
protected:
    test_support::TemporaryGroupDirectory group;
    CredentialIdentityStore store;
    AutofillExtensionHelper helper;
    std::vector<PasskeyCredentials> twoTokens{
        {{1}, "example.com", "alice", {0xa1}, "TOKEN-A"},
        {{2}, "example.com", "alice", {0xa2}, "TOKEN-B"},
    };

    void publish(const std::vector<PasskeyCredentials>& credentials) {
        store.update([&] { return credentials; });
    }
};

TEST_F(CredentialIdentityStoreTest, NothingIsPublishedWhileTheExtensionIsOff) {
    EXPECT_FALSE(helper.isEnabled());
    store.update([&]() -> std::vector<PasskeyCredentials> {
        ADD_FAILURE() << "the records are read for nothing";
        return twoTokens;
    });
    EXPECT_TRUE(store.publishedIdentities().empty());
    EXPECT_FALSE(helper.requestToTurnOnExtension()); // no one to ask
    helper.setConfirmationHandler([] { return false; });
    EXPECT_FALSE(helper.requestToTurnOnExtension());
    EXPECT_FALSE(helper.isEnabled());
}

TEST_F(CredentialIdentityStoreTest, UpdateReplacesTheWholeList) {
    helper.setConfirmationHandler([] { return true; });
    EXPECT_TRUE(helper.requestToTurnOnExtension());
    EXPECT_TRUE(helper.isEnabled());
    publish(twoTokens);
    const auto published = store.publishedIdentities();
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0], (PublishedIdentity{"example.com", "alice", {1}, {0xa1}, std::nullopt}));
    EXPECT_EQ(published[1].credentialID, Bytes{2});
    EXPECT_EQ(published[1].userHandle, Bytes{0xa2});
    // The token serial is not published.
    EXPECT_EQ(readSecureFile(group.path() / "credential-identities.json")->find("TOKEN-A"), std::string::npos);

    publish({});
    EXPECT_TRUE(store.publishedIdentities().empty());
    publish(twoTokens);
    helper.setEnabled(false);
    EXPECT_TRUE(store.publishedIdentities().empty());
}

TEST_F(CredentialIdentityStoreTest, ARecordsFailurePassesThroughAndPublishesNothing) {
    helper.setEnabled(true);
    publish(twoTokens);
    EXPECT_THROW(store.update([]() -> std::vector<PasskeyCredentials> { throw TextError("records"); }), TextError);
    EXPECT_EQ(store.publishedIdentities().size(), 2u);
}

TEST_F(CredentialIdentityStoreTest, AnUnwritableFileFailsTheUpdate) {
    helper.setEnabled(true);
    const auto file = group.path() / "credential-identities.json";
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    try {
        publish(twoTokens);
        FAIL();
    } catch (const CredentialIdentityStoreError& error) {
        EXPECT_EQ(error.as<CredentialIdentityStoreError::generalError>()->function, "update(_:)");
    }
}

TEST(IdentityFileTest, MalformedFilesAreRejectedWhole) {
    const IdentityFileContent content{true, {{"rp", "user", {1, 2}, {3}, "record"}}};
    EXPECT_EQ(parseIdentityFile(serializeIdentityFile(content)), content);
    for (const char* bad : {
             "", "[]", R"({"format": 2, "extensionEnabled": true, "identities": []})",
             R"({"format": 1, "extensionEnabled": 1, "identities": []})",
             R"({"format": 1, "extensionEnabled": true, "identities": [{"relyingPartyIdentifier": "rp"}]})",
             R"({"format": 1, "extensionEnabled": true, "identities": [{"relyingPartyIdentifier": "rp", "userName": "u", "credentialID": "***", "userHandle": ""}]})",
         }) {
        EXPECT_EQ(parseIdentityFile(bad), std::nullopt) << bad;
    }
}

} // namespace
