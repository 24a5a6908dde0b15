// The main program's core on real services, from launch to hot-plug.
#include "AppOnVirtualToken.h"
#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"
#include "shared/identities/CredentialIdentityStore.h"
#include "shared/passkeys/PasskeyMetadata.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace keyvane::app {
namespace {

using namespace std::chrono_literals;

template <class T>
std::string printed(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

struct EndToEnd : ::testing::Test, testing::AppOnVirtualToken {
    std::string serial;

    std::string status() const { return printed(state().loginViewState.verificationStatus); }
    std::string pane() const { return printed(state().loginViewState.loginDisplayViewState); }

    void login(std::optional<std::string> pin) {
        store->send(AppAction::updatePinVerificationStatus{PinVerificationStatus::notVerified{}});
        std::optional<SecretText> secret;
        if (pin) {
            secret.emplace(*pin);
        }
        store->send(AppAction::performLoginOnToken{serial, secret});
    }

    // A passkey as the extension's registration makes it on the logged-in token.
    PasskeyCredentials addPasskey() {
        const PasskeyCredentials passkey{Bytes{0xC0, 0x01}, "site.example", "пользователь", Bytes{0x55, 0x01}, serial};
        AppOnVirtualToken::addPasskey(passkey);
        return passkey;
    }
    std::size_t objectsWithId(std::uint64_t objectClass, const Bytes& id) const {
        auto search = keyTemplate(objectClass, objectClass == CKO_PRIVATE_KEY);
        search.dataAttrs[Pkcs11DataAttribute::id] = id;
        return manager->getToken(serial)->findObjects(search).size();
    }
    CredentialsStorageProtocol& records() const { return *Dependencies::get(credentialsStorage); }

    bool anyFileContains(const std::string& text) const {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(group.path())) {
            if (!entry.is_regular_file()) {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (content.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(EndToEnd, LaunchMonitoringLoginMasterPasswordAndHotPlug) {
    store->send(AppAction::appLaunched{});
    ASSERT_TRUE(waitFor([&] { return state().navigationState.onboardingState.onboardingStatus.has_value(); }));
    std::ifstream preferences(group.path() / "preferences.json");
    const std::string stored((std::istreambuf_iterator<char>(preferences)), std::istreambuf_iterator<char>());
    EXPECT_NE(stored.find("\"onboardingStatus\": 0"), std::string::npos) << stored;

    // The token arrives; about a second later the login pane asks for its PIN.
    store->send(AppAction::startMonitoring{});
    ASSERT_TRUE(waitFor([&] { return !state().loginViewState.connectedTokens.empty(); }))
        << (state().navigationState.alert ? printed(*state().navigationState.alert) : "no alert");
    serial = state().loginViewState.connectedTokens.begin()->serial;
    EXPECT_NE(pane().find("enterPin"), std::string::npos) << pane();

    login("00000000");
    ASSERT_TRUE(waitFor([&] { return status() != "notVerified"; }));
    EXPECT_EQ(status(), "incorrect(9)");

    login("12345678");
    ASSERT_TRUE(waitFor([&] { return status() == "success" && !state().credentialListState.tokens.empty(); }));
    EXPECT_EQ(state().credentialListState.tokens.front().serial, serial);

    // Listing a token without passkeys closes the login view and publishes an empty list.
    store->send(AppAction::updateCredentialsList{{PasskeyCredentials{{1}, "stale.example", "x", {1}, "another"}}});
    store->send(AppAction::enumerateCredentials{serial});
    ASSERT_TRUE(waitFor([&] { return state().credentialListState.credentials.empty(); }));

    // A passkey made on the token as the extension registers one is listed, recorded and
    // published; deleting it removes it from the token, the records and the published list.
    AutofillExtensionHelper(group.path()).setEnabled(true);
    const auto passkey = addPasskey();
    store->send(AppAction::enumerateCredentials{serial});
    ASSERT_TRUE(waitFor([&] { return !state().credentialListState.credentials.empty(); }))
        << (state().navigationState.alert ? printed(*state().navigationState.alert) : "no alert");
    EXPECT_EQ(state().credentialListState.credentials, std::vector{passkey});
    EXPECT_EQ(records().fetchAllCredentials(), std::vector{passkey});
    const std::vector<PublishedIdentity> published = CredentialIdentityStore(group.path()).publishedIdentities();
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].relyingPartyIdentifier, passkey.relyingPartyId);
    EXPECT_EQ(published[0].userName, passkey.username);
    EXPECT_EQ(published[0].credentialID, passkey.keyId);
    EXPECT_EQ(published[0].userHandle, passkey.userHandle);

    store->send(AppAction::deleteCredentials{CredentialsDeleteRequest{{passkey.keyId}, serial}});
    ASSERT_TRUE(waitFor([&] { return state().credentialListState.credentials.empty(); }))
        << (state().navigationState.alert ? printed(*state().navigationState.alert) : "no alert");
    EXPECT_EQ(objectsWithId(CKO_PRIVATE_KEY, passkey.keyId), 0u);
    EXPECT_EQ(objectsWithId(CKO_PUBLIC_KEY, passkey.keyId), 0u);
    EXPECT_TRUE(manager->getToken(serial)->findObjects(passkeyMetadataTemplate()).empty());
    EXPECT_TRUE(records().fetchAllCredentials().empty());
    EXPECT_TRUE(CredentialIdentityStore(group.path()).publishedIdentities().empty());

    // With a master password, a login caches the PIN sealed; a later login uses it alone.
    store->send(AppAction::setupMasterPassword{SecretText("master pw")});
    ASSERT_TRUE(waitFor([&] { return state().masterPasswordState == MasterPasswordState::enabled; }));
    login("12345678");
    ASSERT_TRUE(waitFor([&] { return state().pinCacheState.hasPins && status() == "success"; }));
    EXPECT_FALSE(anyFileContains("12345678")) << "the PIN must never be written in clear";
    store->send(AppAction::validateMasterPassword{SecretText("master pw")});
    ASSERT_TRUE(waitFor([&] { return state().loginViewState.authStatus == LoginAuthStatus::passedByMasterPassword; }));
    login(std::nullopt);
    ASSERT_TRUE(waitFor([&] { return status() == "success"; }));

    // Five wrong master passwords erase the cache.
    for (int attempt = 0; attempt < 5; ++attempt) {
        store->send(AppAction::setMasterPassAuthError{std::nullopt});
        store->send(AppAction::validateMasterPassword{SecretText("wrong")});
        ASSERT_TRUE(waitFor([&] {
            return state().loginViewState.masterPassAuthError.has_value() ||
                   state().masterPasswordState == MasterPasswordState::disabled;
        }));
    }
    EXPECT_EQ(state().masterPasswordState, MasterPasswordState::disabled);
    store->send(AppAction::checkHasPinForToken{serial});
    ASSERT_TRUE(waitFor([&] { return state().loginViewState.storedPinState == StoredPinState::absent; }));

    // Pulling the token out brings the login pane back to waiting.
    token.unplug(1);
    ASSERT_TRUE(waitFor([&] { return state().loginViewState.connectedTokens.empty(); }));
    EXPECT_EQ(pane(), "waitForAnyToken");
}

} // namespace
} // namespace keyvane::app
