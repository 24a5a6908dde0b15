#include "credential_ext/middlewares/OnAppLaunched.h"
#include "credential_ext/middlewares/OnCompletePasskeyRequest.h"
#include "credential_ext/middlewares/OnCreatePasskey.h"
#include "credential_ext/middlewares/OnSignWithPasskey.h"
#include "credential_ext/middlewares/OnStartProvidingPasskey.h"
#include "credential_ext/passkey_formats/Assertion.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/redux/ExtensionError.h"
#include "shared/redux/StateDescription.h"
#include "shared/storage/CredentialsStorageError.h"
#include "shared/storage/PinCodeStorageError.h"
#include "shared/storage/TokenStorageError.h"

#include "../RecordingContext.h"
#include "middlewares/TokenFakes.h"

#include <gtest/gtest.h>

#include <future>

namespace keyvane::testing {
namespace {

using ext::AppAction;
using ::testing::_;
using ::testing::Return;
using ::testing::Throw;

// The case names of the actions, in order.
Actions names(const Actions& actions) {
    Actions result;
    for (const auto& action : actions) {
        result.push_back(action.substr(0, action.find('(')));
    }
    return result;
}

const std::string composed = "caf\xC3\xA9.example";
const std::string decomposed = "cafe\xCC\x81.example";

PasskeyCredentials passkey(std::string rp, Bytes keyId, Bytes userHandle = {7, 7}, std::string user = "alice",
                           std::string serial = "A") {
    return PasskeyCredentials{std::move(keyId), std::move(rp), std::move(user), std::move(userHandle), std::move(serial)};
}

Bytes rawSignature() {
    Bytes raw(64, 0x11);
    raw[32] = 0x22;
    return raw;
}

class ExtensionMiddlewaresTest : public ::testing::Test {
public:
    template <class M, class... Args>
    Actions run(const AppAction& action, Args&&... args) {
        auto middleware = services.make<M>(std::forward<Args>(args)...);
        return runToEnd<AppAction>(clock, *middleware, action);
    }

    flowkeep::VirtualClockExecutor clock;
    TokenServices services;
};

TEST_F(ExtensionMiddlewaresTest, CompletionHandsEachClosingActionToTheContextAtOnce) {
    const ext::ASPasskeyRegistrationCredential registration{"example.com", Bytes(32, 1), Bytes(36, 'A'), {0xA3}};
    const ext::ASPasskeyAssertionCredential assertion{{7}, "example.com", {0x30}, Bytes(32, 2), Bytes(37, 3), {1}};
    struct Case {
        AppAction action;
        std::vector<RecordingContext::Answer> expected;
    };
    const std::vector<Case> cases = {
        {AppAction::completeRegistrationRequest{registration}, {registration}},
        {AppAction::completeAuthenticationRequest{assertion}, {assertion}},
        {AppAction::cancelRequest{}, {ext::ASExtensionErrorCode::userCanceled}},
        {AppAction::appLaunched{}, {}},
        {AppAction::dismissLoginView{}, {}},
    };
    for (const auto& c : cases) {
        auto context = std::make_shared<RecordingContext>();
        ext::OnCompletePasskeyRequest middleware(context);
        EXPECT_FALSE(middleware.process(c.action).has_value()) << c.action;
        EXPECT_EQ(context->answers(), c.expected) << c.action;
    }
}

TEST_F(ExtensionMiddlewaresTest, LaunchLoadsCacheStateAndListsOnlyForTheChoice) {
    struct Case {
        std::string name;
        bool updateLists;
        bool masterPassword;
        std::optional<bool> bio;
        bool pinsFail, tokensFail, credentialsFail;
        Actions expected;
    };
    const std::vector<Case> cases = {
        {"no cache, no lists", false, false, std::nullopt, false, false, false,
         {"setPinCacheHasPins(true)", "updateMasterPasswordState(disabled)"}},
        {"master password without a biometric preference", false, true, std::nullopt, false, false, false,
         {"setPinCacheHasPins(true)", "updateMasterPasswordState(enabled)"}},
        {"master password with biometrics", false, true, true, false, false, false,
         {"setPinCacheHasPins(true)", "updateMasterPasswordState(enabledWithBio)"}},
        {"the choice also loads both lists", true, false, false, false, false, false,
         {"setPinCacheHasPins(true)", "updateMasterPasswordState(disabled)", "updateTokenList([])",
          "updateCredentialsList([])"}},
        {"PIN records fail: nothing else", true, false, false, true, false, false,
         {"handleError(PinCodeStorageError)"}},
        {"token records fail: no list", true, false, false, false, true, false,
         {"setPinCacheHasPins(true)", "updateMasterPasswordState(disabled)", "handleError(TokenStorageError)"}},
        {"passkey records fail: the token list is dropped too", true, false, false, false, false, true,
         {"setPinCacheHasPins(true)", "updateMasterPasswordState(disabled)", "handleError(CredentialsStorageError)"}},
    };
    for (const auto& c : cases) {
        services.renew();
        if (c.pinsFail) {
            ON_CALL(*services.pins, hasPins()).WillByDefault(Throw(PinCodeStorageError::general("hasPins()", "disk")));
        } else {
            ON_CALL(*services.pins, hasPins()).WillByDefault(Return(true));
        }
        ON_CALL(*services.cache, isMasterPasswordSet()).WillByDefault(Return(c.masterPassword));
        ON_CALL(*services.biometrics, isBioEnabled()).WillByDefault(Return(c.bio));
        if (c.tokensFail) {
            ON_CALL(*services.tokens, listTokens()).WillByDefault(Throw(TokenStorageError::general("listTokens()", "disk")));
        }
        if (c.credentialsFail) {
            ON_CALL(*services.credentials, fetchAllCredentials())
                .WillByDefault(Throw(CredentialsStorageError::general("fetchAllCredentials()", "disk")));
        }
        auto actions = run<ext::OnAppLaunched>(AppAction::appLaunched{}, c.updateLists);
        // Errors are compared by their type only.
        for (auto& action : actions) {
            if (action.rfind("handleError(", 0) == 0) {
                action = action.substr(0, action.find_first_of(".:", 12)) + ")";
            }
        }
        EXPECT_EQ(actions, c.expected) << c.name;
    }
}

TEST_F(ExtensionMiddlewaresTest, StartFindsTheNamedPasskeyByUserHandleAndRelyingParty) {
    const auto otherSite = passkey("other.org", {1}, {7, 7});
    const auto first = passkey(composed, {2}, {7, 7});
    const auto second = passkey(composed, {3}, {7, 7});
    struct Case {
        std::string name;
        ext::app_action::startProvidingPasskey request;
        Actions expected;
    };
    const std::vector<Case> cases = {
        {"the first record of the handle at the site, compared in normal form", {{7, 7}, decomposed},
         {"updateCredentialsList", "updateTokenList", "credForAuthenticationSelected"}},
        {"the same handle at another site is never chosen", {{7, 7}, "third.example"},
         {"updateCredentialsList", "handleError"}},
        {"an unknown handle", {{9}, composed}, {"updateCredentialsList", "handleError"}},
    };
    for (const auto& c : cases) {
        services.renew();
        ON_CALL(*services.credentials, fetchAllCredentials())
            .WillByDefault(Return(std::vector<PasskeyCredentials>{otherSite, first, second}));
        const auto actions = run<ext::OnStartProvidingPasskey>(c.request);
        EXPECT_EQ(names(actions), c.expected) << c.name;
        if (c.expected.back() == "credForAuthenticationSelected") {
            EXPECT_EQ(actions.back(), AppAction(AppAction::credForAuthenticationSelected{first}).description());
        } else {
            EXPECT_EQ(actions.back(), "handleError(ExtensionError.credsNotFound)") << c.name;
        }
    }
}

TEST_F(ExtensionMiddlewaresTest, StartReportsRecordFailures) {
    ON_CALL(*services.credentials, fetchAllCredentials())
        .WillByDefault(Throw(CredentialsStorageError::general("fetchAllCredentials()", "disk")));
    EXPECT_EQ(names(run<ext::OnStartProvidingPasskey>(AppAction::startProvidingPasskey{{7, 7}, "example.com"})),
              Actions{"handleError"});
    services.renew();
    ON_CALL(*services.credentials, fetchAllCredentials())
        .WillByDefault(Return(std::vector<PasskeyCredentials>{passkey("example.com", {1})}));
    ON_CALL(*services.tokens, listTokens()).WillByDefault(Throw(TokenStorageError::general("listTokens()", "disk")));
    EXPECT_EQ(names(run<ext::OnStartProvidingPasskey>(AppAction::startProvidingPasskey{{7, 7}, "example.com"})),
              (Actions{"updateCredentialsList", "handleError"}));
}

// The sign-in ceremony against test values: a request of example.com that allows any of its
// passkeys unless a case narrows it.
class SignTest : public ExtensionMiddlewaresTest {
public:
    ext::AuthState request{{}, "example.com", Bytes(32, 0xCD), {}};
    PasskeyCredentials chosen = passkey("example.com", {1, 2, 3});

    void SetUp() override { prepare(); }
    void prepare() {
        services.renew();
        services.manager->plug("A");
        ON_CALL(*services.passkeys, getCredentials("A")).WillByDefault(Return(std::vector<PasskeyCredentials>{chosen}));
        ON_CALL(*services.credentials, fetchAllCredentials())
            .WillByDefault(Return(std::vector<PasskeyCredentials>{chosen}));
        ON_CALL(*services.passkeys, sign(_, _)).WillByDefault(Return(rawSignature()));
    }
    Actions sign(const PasskeyCredentials& passkey) {
        auto middleware = services.make<ext::OnSignWithPasskey>(request);
        return runToEnd<AppAction>(clock, *middleware, AppAction::finishAuthentication{passkey, Bytes(32, 0xAB)});
    }
};

TEST_F(SignTest, SignsAndCompletesWithTheAssertionOfTheRequest) {
    Bytes signedData;
    EXPECT_CALL(*services.passkeys, sign(chosen, _)).WillOnce([&](const PasskeyCredentials&, const Bytes& data) {
        signedData = data;
        return rawSignature();
    });
    std::optional<ext::ASPasskeyAssertionCredential> assertion;
    auto middleware = services.make<ext::OnSignWithPasskey>(request);
    auto stream = middleware->process(AppAction::finishAuthentication{chosen, Bytes(32, 0xAB)});
    ASSERT_TRUE(stream);
    Actions order;
    auto forwarding = std::move(*stream).forward(clock, [&](AppAction action) {
        order.push_back(names({action.description()}).front());
        if (const auto* done = action.as<AppAction::completeAuthenticationRequest>()) {
            assertion = done->credential;
        }
    });
    ASSERT_TRUE(clock.runUntil([&] { return !forwarding.isActive(); }));
    EXPECT_EQ(order, (Actions{"updateCredentialsList", "updateTokenList", "dismissLoginView",
                              "completeAuthenticationRequest"}));
    ASSERT_TRUE(assertion);
    const Bytes authData = Assertion("example.com").authenticatorData();
    EXPECT_EQ(assertion->authenticatorData, authData);
    EXPECT_EQ(authData.size(), 37u);
    EXPECT_EQ(Bytes(authData.end() - 5, authData.end()), (Bytes{0x1D, 0, 0, 0, 0}));
    EXPECT_EQ(assertion->clientDataHash, Bytes(32, 0xAB)) << "the hash the action carries";
    EXPECT_EQ(assertion->credentialID, chosen.keyId) << "the key identifier, not the user handle";
    EXPECT_EQ(assertion->userHandle, chosen.userHandle);
    EXPECT_EQ(assertion->relyingParty, "example.com");
    EXPECT_EQ(assertion->signature.front(), 0x30) << "DER, not the raw r||s";
    Bytes expectedSigned = authData;
    expectedSigned.insert(expectedSigned.end(), 32, 0xAB);
    EXPECT_EQ(signedData, expectedSigned);
}

TEST_F(SignTest, FailuresAndRefusals) {
    struct Case {
        std::string name;
        std::function<void(SignTest&)> arrange;
        PasskeyCredentials passkey;
        Actions expected;
        bool signs;
    };
    const auto otherSite = passkey("other.org", {1, 2, 3});
    const std::vector<Case> cases = {
        {"a touch token shows its countdown first",
         [](SignTest& t) { std::static_pointer_cast<FakeToken>(t.services.manager->tokens["A"])->requireTouch(30); },
         chosen,
         {"waitForTouch(seconds: 30)", "updateCredentialsList", "updateTokenList", "dismissLoginView",
          "completeAuthenticationRequest"},
         true},
        {"the token is gone: nothing at all", [](SignTest& t) { t.services.manager->unplug("A"); }, chosen, {}, false},
        {"the token's passkeys cannot be read",
         [](SignTest& t) {
             ON_CALL(*t.services.passkeys, getCredentials("A"))
                 .WillByDefault(Throw(PasskeyManagerError(PasskeyManagerError::tokenNotFound{})));
         },
         chosen, {"handleError(PasskeyManagerError.tokenNotFound)"}, false},
        {"the identity store fails",
         [](SignTest& t) {
             ON_CALL(*t.services.identities, published(_)).WillByDefault(Throw(TextError("identities")));
         },
         chosen, {"handleError(identities)"}, false},
        {"the touch did not come: lists refreshed, then the error",
         [](SignTest& t) {
             ON_CALL(*t.services.passkeys, sign(_, _))
                 .WillByDefault(Throw(PasskeyManagerError(PasskeyManagerError::touchTimeExpired{})));
         },
         chosen, {"updateCredentialsList", "updateTokenList", "handleError(PasskeyManagerError.touchTimeExpired)"},
         true},
        {"a passkey of another site is refused", [](SignTest&) {}, otherSite,
         {"handleError(ExtensionError.credsNotFound)"}, false},
        {"a passkey the request does not allow is refused",
         [](SignTest& t) { t.request.allowedCredentials = {{9, 9}}; }, chosen,
         {"handleError(ExtensionError.credsNotFound)"}, false},
        {"the request's allowed passkey is signed with",
         [](SignTest& t) { t.request.allowedCredentials = {{9, 9}, {1, 2, 3}}; }, chosen,
         {"updateCredentialsList", "updateTokenList", "dismissLoginView", "completeAuthenticationRequest"}, true},
    };
    for (const auto& c : cases) {
        request.allowedCredentials.clear();
        prepare();
        c.arrange(*this);
        EXPECT_CALL(*services.passkeys, sign(_, _)).Times(c.signs ? 1 : 0);
        auto actions = sign(c.passkey);
        for (auto& action : actions) {
            if (action.rfind("update", 0) == 0 || action.rfind("complete", 0) == 0) {
                action = names({action}).front();
            }
        }
        EXPECT_EQ(actions, c.expected) << c.name;
        ::testing::Mock::VerifyAndClearExpectations(services.passkeys.get());
    }
}

TEST_F(SignTest, ASecondConfirmationWhileSigningIsRefused) {
    std::promise<void> touched;
    auto touch = touched.get_future().share();
    ON_CALL(*services.passkeys, sign(_, _)).WillByDefault([touch](const PasskeyCredentials&, const Bytes&) {
        touch.wait();
        return rawSignature();
    });
    auto middleware = services.make<ext::OnSignWithPasskey>(request);
    auto first = middleware->process(AppAction::finishAuthentication{chosen, Bytes(32, 0xAB)});
    ASSERT_TRUE(first);
    Forwarded<AppAction> running(clock, std::move(*first));
    running.waitForCount(2); // the lists: the ceremony now waits in the signing
    EXPECT_FALSE(middleware->process(AppAction::finishAuthentication{chosen, Bytes(32, 0xAB)}).has_value());
    touched.set_value();
    EXPECT_EQ(names(running.waitUntilFinished()).back(), "completeAuthenticationRequest");
    // Once it ended, the next confirmation runs.
    EXPECT_TRUE(middleware->process(AppAction::finishAuthentication{chosen, Bytes(32, 0xAB)}).has_value());
}

// A token whose object creation the test watches.
class WritableToken : public FakeToken {
public:
    using FakeToken::FakeToken;
    Pkcs11Object createObject(const Pkcs11Template& objectTemplate) const override {
        if (failCreate) {
            throw Pkcs11Error(Pkcs11Error::internalError{"createObject(withTemplate:)", 0, std::nullopt, 0x30});
        }
        std::map<Pkcs11DataAttribute, Bytes> values;
        for (const auto& [attribute, value] : objectTemplate.dataAttrs) {
            values[attribute] = value.value_or(Bytes{});
        }
        created.push_back(std::move(values));
        return Pkcs11Object(1, 1, nullptr);
    }
    std::vector<Pkcs11Object> findObjects(const Pkcs11Template&) const override { return {}; }
    mutable std::vector<std::map<Pkcs11DataAttribute, Bytes>> created;
    bool failCreate = false;
};

// The registration ceremony against test values: alice at example.com on token A.
class RegisterTest : public ExtensionMiddlewaresTest {
public:
    ext::RegistrationState request{"alice", Bytes(32, 0xCD), {5, 5}, "example.com"};
    std::shared_ptr<WritableToken> token;
    Bytes generatedId;
    std::vector<PasskeyCredentials> before;

    void SetUp() override { prepare(); }
    void prepare() {
        services.renew();
        token = std::make_shared<WritableToken>("A");
        generatedId.clear();
        before = {passkey("example.com", {1}, {1}, "bob")};
        ON_CALL(*services.passkeys, getToken("A")).WillByDefault(Return(token));
        ON_CALL(*services.passkeys, getCredentials("A")).WillByDefault([this](const std::string&) {
            auto listed = before;
            if (!generatedId.empty()) {
                listed.push_back(passkey(request.relyingPartyId, generatedId, request.userHandle, request.username));
            }
            return listed;
        });
        ON_CALL(*services.passkeys, createKeyPair("A", _, _))
            .WillByDefault([this](const std::string&, const Bytes& id, const Bytes&) {
                generatedId = id;
                return validPoint();
            });
        ON_CALL(*services.passkeys, deleteCredentials(_, "A"))
            .WillByDefault([this](const std::set<Bytes>&, const std::string&) { generatedId.clear(); });
    }
    // A point on P-256: the generator.
    static Bytes validPoint() {
        Bytes point{0x04, 0x41, 0x04};
        const Bytes x = fromHex("6B17D1F2E12C4247F8BCE6E563A440F277037D812DEB33A0F4A13945D898C296");
        const Bytes y = fromHex("4FE342E2FE1A7F9B8EE7EB4A7C0F9E162BCE33576B315ECECBB6406837BF51F5");
        point.insert(point.end(), x.begin(), x.end());
        point.insert(point.end(), y.begin(), y.end());
        return point;
    }
    static Bytes fromHex(const std::string& hex) {
        Bytes bytes;
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        return bytes;
    }
    Actions registerPasskey() {
        auto middleware = services.make<ext::OnCreatePasskey>();
        return runToEnd<AppAction>(clock, *middleware, AppAction::finishRegistration{"A", request});
    }
};

TEST_F(RegisterTest, WritesMetadataAndKeyAndCompletesWithTheAttestation) {
    Bytes label;
    EXPECT_CALL(*services.passkeys, createKeyPair("A", _, _))
        .WillOnce([&](const std::string&, const Bytes& id, const Bytes& keyLabel) {
            generatedId = id;
            label = keyLabel;
            return validPoint();
        });
    std::vector<PasskeyCredentials> published;
    EXPECT_CALL(*services.identities, published(_)).WillOnce([&](const std::vector<PasskeyCredentials>& all) {
        published = all;
    });
    ON_CALL(*services.credentials, fetchAllCredentials()).WillByDefault([&] {
        return std::vector<PasskeyCredentials>{passkey("example.com", generatedId)};
    });
    std::optional<ext::ASPasskeyRegistrationCredential> credential;
    auto middleware = services.make<ext::OnCreatePasskey>();
    auto stream = middleware->process(AppAction::finishRegistration{"A", request});
    ASSERT_TRUE(stream);
    Actions order;
    auto forwarding = std::move(*stream).forward(clock, [&](AppAction action) {
        order.push_back(names({action.description()}).front());
        if (const auto* done = action.as<AppAction::completeRegistrationRequest>()) {
            credential = done->credential;
        }
    });
    ASSERT_TRUE(clock.runUntil([&] { return !forwarding.isActive(); }));
    EXPECT_EQ(order, (Actions{"dismissLoginView", "completeRegistrationRequest"}));
    ASSERT_TRUE(credential);
    EXPECT_EQ(credential->credentialID.size(), 36u);
    EXPECT_EQ(credential->credentialID, generatedId);
    EXPECT_EQ(credential->relyingParty, "example.com");
    EXPECT_EQ(credential->clientDataHash, request.clientDataHash);
    EXPECT_EQ(credential->attestationObject.size(), 198u);
    EXPECT_EQ(std::string(label.begin(), label.end()), "example.com:alice");
    ASSERT_EQ(token->created.size(), 1u);
    const auto metadata = PasskeyMetadata::from(token->created.front().at(Pkcs11DataAttribute::value));
    EXPECT_EQ(metadata.keyInfo.ckaID, generatedId);
    EXPECT_EQ(metadata.keyInfo.userHandle, request.userHandle);
    EXPECT_EQ(token->created.front().at(Pkcs11DataAttribute::objectId), passkeyObjectId());
    EXPECT_EQ(published.size(), 1u);
}

TEST_F(RegisterTest, FailuresLeaveNoNewPasskeyBehind) {
    const Actions pathA = {"setPassAuth(unknown)", "updatePinVerificationStatus(notVerified)", "handleError"};
    struct Case {
        std::string name;
        std::function<void(RegisterTest&)> arrange;
        Actions expected;
        bool removes; // the new passkey is taken off the token
    };
    const std::vector<Case> cases = {
        {"a duplicate in normal form writes nothing",
         [](RegisterTest& t) {
             t.request.relyingPartyId = decomposed;
             t.before = {passkey(composed, {1}, {1}, "alice")};
         },
         {"handleError"}, false},
        {"the token is not connected",
         [](RegisterTest& t) {
             ON_CALL(*t.services.passkeys, getCredentials("A"))
                 .WillByDefault(Throw(PasskeyManagerError(PasskeyManagerError::tokenNotFound{})));
         },
         pathA, false},
        {"the metadata object cannot be written", [](RegisterTest& t) { t.token->failCreate = true; }, pathA, true},
        {"the key pair cannot be generated",
         [](RegisterTest& t) {
             ON_CALL(*t.services.passkeys, createKeyPair("A", _, _))
                 .WillByDefault(Throw(PasskeyManagerError::general("createKeyPair", "refused")));
         },
         pathA, true},
        {"the token does not list the new passkey",
         [](RegisterTest& t) {
             ON_CALL(*t.services.passkeys, createKeyPair("A", _, _)).WillByDefault(Return(validPoint()));
         },
         pathA, true},
        {"the identity store fails after the key exists",
         [](RegisterTest& t) {
             ON_CALL(*t.services.identities, published(_)).WillByDefault(Throw(TextError("identities")));
         },
         {"dismissLoginView", "handleError"}, true},
    };
    for (const auto& c : cases) {
        request.relyingPartyId = "example.com";
        prepare();
        c.arrange(*this);
        EXPECT_CALL(*services.passkeys, deleteCredentials(_, "A")).Times(c.removes ? 1 : 0);
        auto actions = registerPasskey();
        for (auto& action : actions) {
            if (action.rfind("handleError", 0) == 0) {
                action = "handleError";
            }
        }
        EXPECT_EQ(actions, c.expected) << c.name;
        EXPECT_TRUE(generatedId.empty()) << c.name << ": the new key is still on the token";
        ::testing::Mock::VerifyAndClearExpectations(services.passkeys.get());
    }
}

TEST_F(RegisterTest, OtherUsersAndSitesAreNoDuplicates) {
    for (const auto& existing : {passkey("example.com", {1}, {1}, "bob"), passkey("example.org", {2}, {2}, "alice"),
                                 passkey("example.com", {3}, {3}, "Alice")}) {
        prepare();
        before = {existing};
        EXPECT_EQ(names(registerPasskey()), (Actions{"dismissLoginView", "completeRegistrationRequest"}))
            << describeCredential(existing);
    }
}

TEST_F(RegisterTest, ASecondConfirmationWhileRegisteringIsRefused) {
    std::promise<void> generated;
    auto generation = generated.get_future().share();
    ON_CALL(*services.passkeys, createKeyPair("A", _, _))
        .WillByDefault([this, generation](const std::string&, const Bytes& id, const Bytes&) {
            generation.wait();
            generatedId = id;
            return validPoint();
        });
    auto middleware = services.make<ext::OnCreatePasskey>();
    auto first = middleware->process(AppAction::finishRegistration{"A", request});
    ASSERT_TRUE(first);
    Forwarded<AppAction> running(clock, std::move(*first));
    EXPECT_FALSE(middleware->process(AppAction::finishRegistration{"A", request}).has_value());
    generated.set_value();
    EXPECT_EQ(names(running.waitUntilFinished()).back(), "completeRegistrationRequest");
    EXPECT_EQ(token->created.size(), 1u) << "one metadata object";
}

} // namespace
} // namespace keyvane::testing
