// The extension's controller on real services: a virtual token, a temporary group directory,
// one store per request as the entry builds it, time on a virtual clock. The tests drive each
// request through store actions, as its window would, in the test's process or in processes
// forked from it.
#pragma once

#include "credential_ext/controller/CredentialProviderViewController.h"
#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"
#include "credential_ext/state/LoginFollowUp.h"

#include "../../shared/files/TemporaryGroupDirectory.h"
#include "../RecordingContext.h"
#include "VirtualTokenFixture.h"
#include "flowkeep/VirtualClockExecutor.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/pkcs11/Pkcs11Library.h"
#include "shared/pkcs11/Pkcs11Manager.h"
#include "shared/pkcs11/TokenLoginManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <type_traits>
#include <vector>

namespace keyvane::ext::testing {

using keyvane::testing::RecordingContext;
using keyvane::testing::VirtualTokenFixture;
using keyvane::testing::VirtualTokenSettings;
using Pane = LoginDisplayViewState;

template <class T>
std::string printed(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

inline const std::string rp = "example.com";
inline const std::string pin = "12345678";
inline const Bytes clientDataHash(32, 0xC1);

inline ASPasskeyCredentialRequest registrationRequest(const std::string& user, Bytes userHandle = {0x55, 0x01}) {
    ASPasskeyCredentialIdentity identity{rp, user, {}, std::move(userHandle), {rp}};
    return ASPasskeyCredentialRequest{identity, clientDataHash};
}

// One request: its controller (a fresh one, as the host makes one per process) and the
// context that receives its answer.
struct Request {
    std::shared_ptr<RecordingContext> context = std::make_shared<RecordingContext>();
    std::unique_ptr<CredentialProviderViewController> controller;

    ExtStore& store() const { return *controller->store(); }
    const AppState& state() const { return store().state(); }
};

inline bool answered(const Request& request) { return !request.context->answers().empty(); }

// Where a call on a pool thread waits until the test lets it go; the test sees it waiting.
class Gate {
public:
    bool isHolding() const {
        std::lock_guard lock(mutex_);
        return holding_;
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        holding_ = true;
        changed_.wait(lock, [&] { return released_; });
        holding_ = false;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool holding_ = false;
    bool released_ = false;
};

// The extension's passkey service with one of its calls held on the pool thread until the test
// lets it go: the moment a cancellation can arrive while a ceremony is on the token.
class HeldPasskeys final : public PasskeyManagerProtocol {
public:
    enum class Call { getCredentials, createKeyPair };
    struct Hold {
        Call call;
        int nth = 1;     // which of the call's invocations is held
        bool after = false; // held once the token has done it, else before
    };

    HeldPasskeys(std::shared_ptr<PasskeyManagerProtocol> passkeys, Hold hold)
        : passkeys_(std::move(passkeys)), hold_(hold) {}

    bool isHolding() const { return gate_.isHolding(); }
    void release() { gate_.release(); }

    std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) override {
        return passkeys_->getToken(serial);
    }
    std::vector<PasskeyCredentials> getCredentials(const std::string& serial) override {
        return held(Call::getCredentials, [&] { return passkeys_->getCredentials(serial); });
    }
    std::unique_ptr<RegistrationHold> holdForRegistration(const std::string& serial) override {
        return passkeys_->holdForRegistration(serial);
    }
    void deleteCredentials(const std::set<Bytes>& keyIds, const std::string& serial) override {
        passkeys_->deleteCredentials(keyIds, serial);
    }
    Bytes createKeyPair(const std::string& serial, const Bytes& keyId, const Bytes& label) override {
        return held(Call::createKeyPair, [&] { return passkeys_->createKeyPair(serial, keyId, label); });
    }
    Bytes sign(const PasskeyCredentials& credentials, const Bytes& data) override {
        return passkeys_->sign(credentials, data);
    }

private:
    template <class Run>
    std::invoke_result_t<Run> held(Call call, Run run) {
        bool hold = false;
        {
            std::lock_guard lock(mutex_);
            hold = call == hold_.call && ++seen_ == hold_.nth;
        }
        if (hold && !hold_.after) {
            gate_.wait();
        }
        auto result = run();
        if (hold && hold_.after) {
            gate_.wait();
        }
        return result;
    }

    std::shared_ptr<PasskeyManagerProtocol> passkeys_;
    const Hold hold_;
    std::mutex mutex_;
    int seen_ = 0;
    Gate gate_;
};

// The group directory and the token of a test. A process forked from the test finds them
// through the environment that they set.
struct ExtensionFixtures {
    explicit ExtensionFixtures(std::vector<VirtualTokenSettings> tokens) : token(std::move(tokens)) {}

    test_support::TemporaryGroupDirectory group;
    VirtualTokenFixture token;
};

// The extension's services over the group directory and the token of the environment: in the
// test's own process, or in a process forked from it (one such object per process).
class ExtensionServices {
public:
    explicit ExtensionServices(std::chrono::milliseconds pollInterval = std::chrono::milliseconds(50)) {
        manager = std::make_shared<Pkcs11Manager>(Pkcs11Library::load(VirtualTokenFixture::modulePath().string()),
                                                  pollInterval);
        Dependencies::install<Pkcs11ManagerProtocol>(pkcs11Manager, manager);
        Dependencies::install<TokenLoginManagerProtocol>(tokenLoginManager, std::make_shared<TokenLoginManager>(manager));
        passkeys = std::make_shared<ExtensionPasskeyManager>(manager);
    }
    ~ExtensionServices() {
        for (auto& request : requests) {
            finish(*request);
        }
        requests.clear();
        Dependencies::resetForTesting();
    }
    ExtensionServices(const ExtensionServices&) = delete;
    ExtensionServices& operator=(const ExtensionServices&) = delete;

    // A request on the fixture's passkey service, or on `through` when given.
    Request& newRequest(std::shared_ptr<PasskeyManagerProtocol> through = nullptr) {
        if (!through) {
            through = requestPasskeys ? requestPasskeys : passkeys;
        }
        auto request = std::make_unique<Request>();
        request->controller = std::make_unique<CredentialProviderViewController>(
            clock, request->context, CredentialProviderViewController::PresentRootView{},
            CredentialProviderViewController::ContainerFactory{}, std::move(through));
        requests.push_back(std::move(request));
        return *requests.back();
    }

    // The window closes: monitoring stops and every middleware's work ends. The next request
    // may start only then, or this request's late monitoring command could end the next one's
    // run (one request per process in the product).
    void finish(Request& request) {
        if (!request.controller || !request.controller->store()) {
            return;
        }
        auto& store = request.store();
        store.send(AppAction::stopMonitoring{});
        EXPECT_TRUE(waitFor([&] {
            for (std::size_t i = 0; i < store.middlewareCount(); ++i) {
                if (store.isForwarding(i)) {
                    return false;
                }
            }
            return true;
        }));
        request.controller.reset();
    }

    // Runs the main thread, moving the virtual clock on in small steps, until the condition holds
    // or, in real time, the limit has passed.
    bool waitFor(const std::function<bool()>& condition,
                 std::chrono::steady_clock::duration limit = std::chrono::seconds(60)) {
        using namespace std::chrono_literals;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (clock.runUntil(condition, 25ms)) {
                return true;
            }
            clock.advance(100ms);
        }
        return condition();
    }

    // What the window does when it shows, then when the user confirms: the launch, the purpose
    // (registration only; a sign-in's purpose comes with the chosen passkey), monitoring.
    void open(Request& request, bool confirmRegistration) {
        request.store().send(AppAction::appLaunched{});
        if (confirmRegistration) {
            request.store().send(AppAction::completeRegistrationButtonIsPressed{});
        }
        request.store().send(AppAction::startMonitoring{});
    }

    // Waits for the unlock pane of a connected token and answers its serial.
    std::string waitForUnlockPane(Request& request) {
        std::string serial;
        EXPECT_TRUE(waitFor([&] {
            const auto& pane = request.state().loginViewState.loginDisplayViewState;
            if (const auto* pin = pane.as<Pane::enterPin>()) {
                serial = pin->token.serial;
            } else if (const auto* master = pane.as<Pane::enterMasterPassword>()) {
                serial = master->token.serial;
            }
            return !serial.empty();
        })) << printed(request.state());
        return serial;
    }

    // Types the PIN and waits for the token's verdict.
    PinVerificationStatus logIn(Request& request, const std::string& serial, std::optional<std::string> pin) {
        request.store().send(AppAction::updatePinVerificationStatus{PinVerificationStatus::notVerified{}});
        std::optional<SecretText> secret;
        if (pin) {
            secret.emplace(*pin);
        }
        request.store().send(AppAction::performLoginOnToken{serial, secret});
        EXPECT_TRUE(waitFor([&] { return !request.state().loginViewState.isLoginInProgress; }));
        return request.state().loginViewState.verificationStatus;
    }

    // The passkeys and the bare objects on the (logged-in) token.
    std::vector<PasskeyCredentials> passkeysOn(const std::string& serial) { return passkeys->getCredentials(serial); }
    std::size_t objectCount(const std::string& serial, Pkcs11Template search) {
        const auto open = manager->getToken(serial);
        if (!open) {
            ADD_FAILURE() << "the token " << serial << " is not open";
            return 0;
        }
        return open->findObjects(search).size();
    }
    std::size_t metadataObjects(const std::string& serial) { return objectCount(serial, passkeyMetadataTemplate()); }
    std::size_t privateKeys(const std::string& serial) { return objectCount(serial, privateKeyTemplate()); }
    std::size_t publicKeys(const std::string& serial) { return objectCount(serial, publicKeyTemplate()); }

    std::string serial;

    // A registration through its window: confirm, log in with the PIN, then the login sheet's
    // success hook. Answers the request (its answer or its state tell the outcome).
    Request& startRegistration(const std::string& user) {
        auto& request = newRequest();
        request.controller->prepareInterfaceForPasskeyRegistration(registrationRequest(user));
        open(request, true);
        serial = waitForUnlockPane(request);
        return request;
    }
    // The login sheet's success hook: the follow-up of the recorded purpose.
    void confirm(Request& request) {
        const auto followUp = loginFollowUp(request.state(), serial);
        ASSERT_TRUE(followUp.has_value()) << printed(request.state());
        request.store().send(*followUp);
    }
    void confirmRegistration(Request& request) { confirm(request); }
    ASPasskeyRegistrationCredential registerPasskey(const std::string& user) {
        auto& request = startRegistration(user);
        EXPECT_EQ(logIn(request, serial, pin), PinVerificationStatus(PinVerificationStatus::success{}));
        confirmRegistration(request);
        EXPECT_TRUE(waitFor([&] { return answered(request); })) << printed(request.state());
        const auto credential = request.context->only<ASPasskeyRegistrationCredential>();
        EXPECT_TRUE(credential.has_value());
        return credential.value_or(ASPasskeyRegistrationCredential{});
    }

    // A sign-in that lets the user choose: the passkeys the choice offers once it has loaded.
    Request& startChoice(const std::string& relyingParty, std::vector<Bytes> allowed = {}) {
        auto& request = newRequest();
        request.controller->prepareCredentialListForServiceIdentifiers(
            {{relyingParty}}, ASPasskeyCredentialRequestParameters{relyingParty, clientDataHash, std::move(allowed)});
        open(request, false);
        // The launch loads the lists; its stream ends after them.
        EXPECT_TRUE(waitFor([&] { return !request.state().credentialListState.tokens.empty() && !request.store().isForwarding(0); }));
        return request;
    }
    void choose(Request& request, const PasskeyCredentials& passkey) {
        request.store().send(AppAction::credForAuthenticationSelected{passkey});
    }
    // The login sheet's success hook of a sign-in.
    void confirmSignIn(Request& request) { confirm(request); }
    // The login sheet of a chosen passkey: unlock its token with the PIN, then confirm.
    void unlockAndConfirm(Request& request) {
        EXPECT_EQ(waitForUnlockPane(request), serial);
        EXPECT_EQ(logIn(request, serial, pin), PinVerificationStatus(PinVerificationStatus::success{}));
        confirmSignIn(request);
    }
    // The first offered passkey of the site, chosen in a new list request, up to the confirmation.
    Request& chooseAndConfirm() {
        auto& request = startChoice(rp);
        choose(request, passkeysForRequest(request.state()).front());
        unlockAndConfirm(request);
        return request;
    }
    // The same, to the answer.
    std::optional<ASPasskeyAssertionCredential> signIn(Request& request) {
        unlockAndConfirm(request);
        EXPECT_TRUE(waitFor([&] { return answered(request); })) << printed(request.state());
        return request.context->only<ASPasskeyAssertionCredential>();
    }
    std::string alert(const Request& request) const {
        return request.state().navigationState.alert ? printed(*request.state().navigationState.alert) : "";
    }

    flowkeep::VirtualClockExecutor clock;
    std::shared_ptr<Pkcs11Manager> manager;
    std::shared_ptr<ExtensionPasskeyManager> passkeys;
    // The passkey service of new requests, when not the fixture's own.
    std::shared_ptr<PasskeyManagerProtocol> requestPasskeys;
    std::vector<std::unique_ptr<Request>> requests;
};

// A test's own fixtures and the extension's services over them.
class ExtensionOnVirtualToken : public ExtensionFixtures, public ExtensionServices {
public:
    explicit ExtensionOnVirtualToken(std::vector<VirtualTokenSettings> tokens = {VirtualTokenSettings{}},
                                     std::chrono::milliseconds pollInterval = std::chrono::milliseconds(50))
        : ExtensionFixtures(std::move(tokens)), ExtensionServices(pollInterval) {}
};

} // namespace keyvane::ext::testing
