// The extension's ceremonies in process on the virtual token, driven through store actions as
// the windows send them.
#include "ExtensionOnVirtualToken.h"

#include "../SignatureCheck.h"

#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorage.h"

#include <p11-kit/pkcs11.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <type_traits>

#if defined(__SANITIZE_THREAD__)
// OpenSSL frees its locks in an exit handler while a detached pool worker may still be inside
// OpenSSL (a token call that a test's last ceremony left running). The programs themselves
// leave through _Exit and never run that handler; this test program returns from main.
extern "C" const char* __tsan_default_suppressions() {
    return "race:CRYPTO_THREAD_lock_free\n";
}
#endif

namespace keyvane::ext::testing {
namespace {

using namespace std::chrono_literals;

// The public key that a registration handed over, read from the COSE key in its attestation
// object (x under -2, y under -3, each a 32-byte string), as a relying party reads it.
PublicPoint attestedKey(const Bytes& attestationObject) {
    const auto after = [&](const Bytes& marker) {
        const auto at = std::search(attestationObject.begin(), attestationObject.end(), marker.begin(), marker.end());
        EXPECT_NE(at, attestationObject.end());
        if (at == attestationObject.end() || attestationObject.end() - at < 35) {
            return Bytes(32, 0);
        }
        return Bytes(at + 3, at + 35);
    };
    return PublicPoint{after({0x21, 0x58, 0x20}), after({0x22, 0x58, 0x20})};
}

struct Ceremonies : ::testing::Test, ExtensionOnVirtualToken {
    explicit Ceremonies(std::vector<VirtualTokenSettings> tokens = {VirtualTokenSettings{}},
                        std::chrono::milliseconds pollInterval = 50ms)
        : ExtensionOnVirtualToken(std::move(tokens), pollInterval) {}
};

TEST_F(Ceremonies, RegistrationThenSignInFromTheListAndByName) {
    const auto registration = registerPasskey("alice");
    finish(*requests.back());
    ASSERT_EQ(registration.credentialID.size(), 36u);
    EXPECT_EQ(registration.relyingParty, rp);
    EXPECT_EQ(registration.clientDataHash, clientDataHash);

    // Sign-in from the list: only this site's passkey is offered.
    auto& list = startChoice(rp);
    const auto offered = passkeysForRequest(list.state());
    ASSERT_EQ(offered.size(), 1u);
    choose(list, offered.front());
    const auto fromList = signIn(list);
    ASSERT_TRUE(fromList);
    EXPECT_EQ(fromList->credentialID, registration.credentialID);
    EXPECT_EQ(fromList->userHandle, (Bytes{0x55, 0x01}));
    EXPECT_EQ(fromList->clientDataHash, clientDataHash);
    EXPECT_EQ(fromList->authenticatorData.size(), 37u);
    Bytes signedData = fromList->authenticatorData;
    signedData.insert(signedData.end(), clientDataHash.begin(), clientDataHash.end());
    EXPECT_TRUE(keyvane::testing::verifiesDer(attestedKey(registration.attestationObject), signedData,
                                              fromList->signature))
        << "the site's check of the assertion with the registered key";
    const auto onToken = passkeysOn(serial);
    ASSERT_EQ(onToken.size(), 1u);
    EXPECT_EQ(onToken.front().keyId, registration.credentialID);
    EXPECT_EQ(publicKeys(serial), 0u) << "only the private key stays";
    EXPECT_FALSE(list.state().navigationState.loginPurpose.has_value()) << "the sheet closes before the answer";

    finish(list);

    // Another site finds nothing to offer.
    auto& elsewhere = startChoice("other.example");
    EXPECT_TRUE(passkeysForRequest(elsewhere.state()).empty());
    finish(elsewhere);

    // The passkey named by the request: found by user handle at its relying party.
    auto& named = newRequest();
    named.controller->prepareInterfaceToProvideCredentialForRequest(ASPasskeyCredentialRequest{
        ASPasskeyCredentialIdentity{rp, "alice", registration.credentialID, {0x55, 0x01}, {rp}}, clientDataHash});
    open(named, false);
    const auto byName = signIn(named);
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->credentialID, registration.credentialID);

    // Without its window the extension answers nothing but "interaction required".
    auto& silent = newRequest();
    silent.controller->provideCredentialWithoutUserInteractionForRequest(ASPasskeyCredentialRequest{
        ASPasskeyCredentialIdentity{rp, "alice", registration.credentialID, {0x55, 0x01}, {rp}}, clientDataHash});
    EXPECT_EQ(silent.context->only<ASExtensionErrorCode>(), ASExtensionErrorCode::userInteractionRequired);
    EXPECT_EQ(silent.controller->store(), nullptr);
}

TEST_F(Ceremonies, WrongThenRightPinAndARegistrationThatExistsAlready) {
    auto& request = startRegistration("alice");
    EXPECT_TRUE(logIn(request, serial, "00000000").is<PinVerificationStatus::incorrect>());
    EXPECT_FALSE(answered(request));
    EXPECT_EQ(logIn(request, serial, pin), PinVerificationStatus(PinVerificationStatus::success{}));
    confirmRegistration(request);
    ASSERT_TRUE(waitFor([&] { return answered(request); }));
    finish(request);

    // The same user at the same site again: refused, nothing written, the request stays open.
    auto& again = startRegistration("alice");
    EXPECT_EQ(logIn(again, serial, pin), PinVerificationStatus(PinVerificationStatus::success{}));
    confirmRegistration(again);
    ASSERT_TRUE(waitFor([&] { return again.state().navigationState.alert.has_value(); }));
    EXPECT_FALSE(answered(again));
    EXPECT_EQ(passkeysOn(serial).size(), 1u);
    // The user gives up: the request is cancelled once, whatever comes after.
    again.store().send(AppAction::cancelRequest{});
    again.store().send(AppAction::cancelRequest{});
    EXPECT_EQ(again.context->only<ASExtensionErrorCode>(), ASExtensionErrorCode::userCanceled);
}

struct LockingToken : Ceremonies {
    static VirtualTokenSettings settings() {
        VirtualTokenSettings token;
        token.pinRetries = 2;
        return token;
    }
    LockingToken() : Ceremonies({settings()}) {}
};

TEST_F(LockingToken, ALockedPinEndsWithAnAlertAndNothingWritten) {
    auto& request = startRegistration("alice");
    EXPECT_EQ(logIn(request, serial, "00000000"), PinVerificationStatus(PinVerificationStatus::incorrect{1}));
    EXPECT_EQ(logIn(request, serial, "00000000"), PinVerificationStatus(PinVerificationStatus::incorrect{0}));
    // Now even the right PIN is refused: the token is locked.
    EXPECT_NE(logIn(request, serial, pin), PinVerificationStatus(PinVerificationStatus::success{}));
    EXPECT_FALSE(answered(request));
    // A confirmation without a login writes nothing and answers nothing.
    request.store().send(AppAction::hideAlert{});
    request.store().send(AppAction::finishRegistration{serial, *request.state().registrationState});
    EXPECT_TRUE(waitFor([&] { return !request.store().isForwarding(5); }));
    EXPECT_NE(alert(request), "");
    EXPECT_FALSE(answered(request));
}

struct TouchToken : Ceremonies {
    static VirtualTokenSettings settings() {
        VirtualTokenSettings token;
        token.touch = keyvane::testing::VirtualTouch{};
        token.touch->delayMs = 300;
        return token;
    }
    TouchToken() : Ceremonies({settings()}) {}
};

TEST_F(TouchToken, TheCountdownShowsUntilTheTouchAndARefusedTouchKeepsTheRequestOpen) {
    registerPasskey("alice");
    finish(*requests.back());
    auto& request = chooseAndConfirm();
    EXPECT_TRUE(waitFor([&] {
        return request.state().loginViewState.loginDisplayViewState == Pane(Pane::waitForTouch{30}) || answered(request);
    }));
    EXPECT_FALSE(answered(request)) << "the countdown shows while the token waits for the touch";
    ASSERT_TRUE(waitFor([&] { return answered(request); }));
    EXPECT_TRUE(request.context->only<ASPasskeyAssertionCredential>().has_value());
    finish(request);

    token.setTouchOutcome(1, true);
    auto& refused = chooseAndConfirm();
    ASSERT_TRUE(waitFor([&] { return refused.state().navigationState.alert.has_value(); }));
    EXPECT_NE(alert(refused), "");
    EXPECT_FALSE(answered(refused));
    EXPECT_EQ(refused.state().loginViewState.loginDisplayViewState, Pane(Pane::waitForTouch{30}));
}

TEST_F(Ceremonies, ATokenPulledOutMidCeremonyIsWaitedForAgain) {
    registerPasskey("alice");
    finish(*requests.back());
    auto& request = startChoice(rp);
    choose(request, passkeysForRequest(request.state()).front());
    waitForUnlockPane(request);
    ASSERT_EQ(logIn(request, serial, pin), PinVerificationStatus(PinVerificationStatus::success{}));

    token.unplug(1);
    ASSERT_TRUE(waitFor([&] { return request.state().loginViewState.connectedTokens.empty(); }));
    EXPECT_TRUE(request.state().loginViewState.loginDisplayViewState.is<Pane::waitForSpecificToken>());
    confirmSignIn(request); // a late success hook: the token is gone, nothing happens
    EXPECT_TRUE(waitFor([&] { return !request.store().isForwarding(6); }));
    EXPECT_FALSE(answered(request));

    token.plug(1);
    EXPECT_TRUE(signIn(request).has_value());
    finish(request);

    // A registration whose token goes between the login and the confirmation writes nothing.
    auto& registration = startRegistration("bob");
    ASSERT_EQ(logIn(registration, serial, pin), PinVerificationStatus(PinVerificationStatus::success{}));
    token.unplug(1);
    ASSERT_TRUE(waitFor([&] { return registration.state().loginViewState.connectedTokens.empty(); }));
    confirmRegistration(registration);
    ASSERT_TRUE(waitFor([&] { return registration.state().navigationState.alert.has_value(); }));
    EXPECT_FALSE(answered(registration));
    token.plug(1);
    // The token that vanished from its unlock pane is listed again, for the user to choose.
    ASSERT_TRUE(waitFor([&] { return !registration.state().loginViewState.connectedTokens.empty(); }));
    registration.store().send(AppAction::selectConnectedToken{*registration.state().loginViewState.connectedTokens.begin()});
    waitForUnlockPane(registration);
    ASSERT_EQ(logIn(registration, serial, pin), PinVerificationStatus(PinVerificationStatus::success{}));
    EXPECT_EQ(passkeysOn(serial).size(), 1u);
}

TEST_F(Ceremonies, TheMasterPasswordUnlocksTheCachedPin) {
    // The PIN cache is a service of the process; the first request's records are the ones it
    // keeps, as when a store's middlewares first ask for it.
    std::shared_ptr<PinCodeCacheManagerProtocol> cache;
    {
        DependencyScope scope;
        scope.set<PinCodeStorageProtocol>(pinCodeStorage,
                                          std::make_shared<PinCodeStorage>(std::make_shared<const ModelContainer>()));
        cache = Dependencies::get(pinCodeCacheManager);
    }
    cache->initCache("master pw");
    // The PIN was cached at an earlier login.
    auto& first = startRegistration("alice");
    cache->savePin(serial, pin, manager->getToken(serial)->serialNumber());
    finish(first);

    auto& request = newRequest();
    request.controller->prepareInterfaceForPasskeyRegistration(registrationRequest("alice"));
    request.store().send(AppAction::appLaunched{});
    ASSERT_TRUE(waitFor([&] { return request.state().masterPasswordState != MasterPasswordState::disabled; }));
    EXPECT_TRUE(request.state().pinCacheState.hasPins);
    request.store().send(AppAction::completeRegistrationButtonIsPressed{});
    request.store().send(AppAction::startMonitoring{});
    ASSERT_TRUE(waitFor([&] {
        return request.state().loginViewState.loginDisplayViewState.is<Pane::enterMasterPassword>();
    }));
    request.store().send(AppAction::validateMasterPassword{SecretText("master pw")});
    ASSERT_TRUE(waitFor([&] {
        return request.state().loginViewState.authStatus == LoginAuthStatus::passedByMasterPassword;
    }));
    EXPECT_EQ(logIn(request, serial, std::nullopt), PinVerificationStatus(PinVerificationStatus::success{}));
    confirmRegistration(request);
    ASSERT_TRUE(waitFor([&] { return answered(request); }));
    EXPECT_TRUE(request.context->only<ASPasskeyRegistrationCredential>().has_value());
}

// A fault at each token call that a registration makes, one registration per call: the
// session stays logged in (monitoring polls rarely, so the log holds the ceremony's calls).
struct FaultedRegistration : Ceremonies {
    FaultedRegistration() : Ceremonies({VirtualTokenSettings{}}, 1h) {}
};

TEST_F(FaultedRegistration, NoOrphanAndNoUnnamedPasskeyAfterAFaultAtAnyCall) {
    auto& login = startRegistration("baseline");
    ASSERT_EQ(logIn(login, serial, pin), PinVerificationStatus(PinVerificationStatus::success{}));
    token.clearCallLog();
    confirmRegistration(login);
    ASSERT_TRUE(waitFor([&] { return answered(login); }));
    std::set<Bytes> named{login.context->only<ASPasskeyRegistrationCredential>()->credentialID};
    ASSERT_NE(manager->getToken(serial), nullptr) << "after the baseline";

    // Each call of the ceremony, as the function and its count among that function's calls.
    std::vector<std::pair<std::string, std::uint64_t>> calls;
    std::map<std::string, std::uint64_t> seen;
    for (const auto& call : token.callLog()) {
        if (call.target.rfind("session=", 0) == 0) {
            calls.emplace_back(call.function, ++seen[call.function]);
        }
    }
    ASSERT_FALSE(calls.empty());
    std::set<std::string> functions;
    for (const auto& [function, count] : calls) {
        functions.insert(function);
    }
    EXPECT_TRUE(functions.count("C_CreateObject") && functions.count("C_GenerateKeyPair")) << calls.size();

    int index = 0;
    for (const auto& [function, count] : calls) {
        const std::string label = function + " #" + std::to_string(count);
        auto& request = newRequest();
        request.controller->prepareInterfaceForPasskeyRegistration(registrationRequest("user" + std::to_string(++index)));
        token.injectFault(function, CKR_FUNCTION_FAILED, count);
        request.store().send(AppAction::finishRegistration{serial, *request.state().registrationState});
        ASSERT_TRUE(waitFor([&] { return !request.store().isForwarding(5); })) << label;
        token.clearFaults();
        if (const auto credential = request.context->only<ASPasskeyRegistrationCredential>()) {
            named.insert(credential->credentialID);
        } else {
            EXPECT_FALSE(answered(request)) << label;
            EXPECT_TRUE(request.state().navigationState.alert.has_value()) << label;
        }
        try {
            // Counted before listing, which would tidy orphans away.
            EXPECT_EQ(metadataObjects(serial), named.size()) << label;
            EXPECT_EQ(privateKeys(serial), named.size()) << label;
            EXPECT_EQ(publicKeys(serial), 0u) << label;
            std::set<Bytes> onToken;
            for (const auto& passkey : passkeysOn(serial)) {
                onToken.insert(passkey.keyId);
            }
            EXPECT_EQ(onToken, named) << label;
        } catch (...) {
            ADD_FAILURE() << label << ": " << AnyError::fromCurrentException().description();
        }
        // The request stays (finishing it would stop the monitoring that keeps the token open).
    }
}


struct CancelledRegistration : Ceremonies {
    std::vector<std::shared_ptr<HeldPasskeys>> held;
    ~CancelledRegistration() override {
        for (const auto& passkeys : held) {
            passkeys->release();
        }
    }

    // A registration request whose controller works through a held passkey service.
    Request& newHeldRequest(const std::shared_ptr<HeldPasskeys>& passkeys) {
        held.push_back(passkeys);
        return newRequest(passkeys);
    }
};

// The window closes while the ceremony is at the token: before it writes (the duplicate
// check), between the metadata object and the key, and once the key exists but before the
// token lists the new passkey. The caller gets the cancellation; the token keeps nothing of
// the ceremony, no alert is raised, and the same user can register afterwards.
TEST_F(CancelledRegistration, LeavesNothingOnTheTokenWhereverTheCancellationArrives) {
    using Call = HeldPasskeys::Call;
    const std::vector<std::pair<std::string, HeldPasskeys::Hold>> cases = {
        {"before the duplicate check", {Call::getCredentials, 1, false}},
        {"before the key is generated", {Call::createKeyPair, 1, false}},
        {"after the key is generated", {Call::createKeyPair, 1, true}},
        {"after the token listed the passkey", {Call::getCredentials, 2, true}},
    };
    registerPasskey("alice");
    auto baseline = passkeysOn(serial).size(); // while the request keeps the token open
    finish(*requests.back());
    int index = 0;
    for (const auto& [label, hold] : cases) {
        const std::string user = "cancelled" + std::to_string(++index);
        auto heldPasskeys = std::make_shared<HeldPasskeys>(passkeys, hold);
        auto& request = newHeldRequest(heldPasskeys);
        request.controller->prepareInterfaceForPasskeyRegistration(registrationRequest(user));
        open(request, true);
        ASSERT_EQ(waitForUnlockPane(request), serial) << label;
        ASSERT_EQ(logIn(request, serial, pin), PinVerificationStatus(PinVerificationStatus::success{})) << label;
        confirmRegistration(request);
        ASSERT_TRUE(waitFor([&] { return heldPasskeys->isHolding(); })) << label;
        EXPECT_TRUE(request.controller->isRegistrationInFlight()) << label;

        request.store().send(AppAction::cancelRequest{});
        EXPECT_EQ(request.context->only<ASExtensionErrorCode>(), ASExtensionErrorCode::userCanceled) << label;
        heldPasskeys->release();
        ASSERT_TRUE(waitFor([&] { return !request.controller->isRegistrationInFlight(); })) << label;

        EXPECT_EQ(request.context->answers().size(), 1u) << label;
        EXPECT_EQ(alert(request), "") << label;
        EXPECT_EQ(metadataObjects(serial), baseline) << label;
        EXPECT_EQ(privateKeys(serial), baseline) << label;
        EXPECT_EQ(passkeysOn(serial).size(), baseline) << label;
        finish(request);

        const auto retried = registerPasskey(user);
        EXPECT_FALSE(retried.credentialID.empty()) << label << ": the retry is refused";
        EXPECT_EQ(passkeysOn(serial).size(), baseline + 1) << label;
        finish(*requests.back());
        ++baseline;
    }
}

} // namespace
} // namespace keyvane::ext::testing
