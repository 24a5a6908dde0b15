// The extension's controller on real services: a virtual token, a temporary group directory,
// one store per request as the entry builds it, time on a virtual clock. The tests drive each
// request through store actions, as its window would.
#pragma once

#include "credential_ext/controller/CredentialProviderViewController.h"
#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"

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
#include <functional>
#include <memory>
#include <sstream>
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

// One request: its controller (a fresh one, as the host makes one per process) and the
// context that receives its answer.
struct Request {
    std::shared_ptr<RecordingContext> context = std::make_shared<RecordingContext>();
    std::unique_ptr<CredentialProviderViewController> controller;

    ExtStore& store() const { return *controller->store(); }
    const AppState& state() const { return store().state(); }
};

class ExtensionOnVirtualToken {
public:
    explicit ExtensionOnVirtualToken(std::vector<VirtualTokenSettings> tokens = {VirtualTokenSettings{}},
                                     std::chrono::milliseconds pollInterval = std::chrono::milliseconds(50))
        : token(std::move(tokens)) {
        manager = std::make_shared<Pkcs11Manager>(Pkcs11Library::load(VirtualTokenFixture::modulePath().string()),
                                                  pollInterval);
        Dependencies::install<Pkcs11ManagerProtocol>(pkcs11Manager, manager);
        Dependencies::install<TokenLoginManagerProtocol>(tokenLoginManager, std::make_shared<TokenLoginManager>(manager));
        passkeys = std::make_shared<ExtensionPasskeyManager>(manager);
    }
    ~ExtensionOnVirtualToken() {
        for (auto& request : requests) {
            finish(*request);
        }
        requests.clear();
        Dependencies::resetForTesting();
    }
    ExtensionOnVirtualToken(const ExtensionOnVirtualToken&) = delete;
    ExtensionOnVirtualToken& operator=(const ExtensionOnVirtualToken&) = delete;

    // A request on the fixture's passkey service, or on `through` when given.
    Request& newRequest(std::shared_ptr<PasskeyManagerProtocol> through = nullptr) {
        auto request = std::make_unique<Request>();
        request->controller = std::make_unique<CredentialProviderViewController>(
            clock, request->context, CredentialProviderViewController::PresentRootView{},
            CredentialProviderViewController::ContainerFactory{},
            through ? std::move(through) : std::shared_ptr<PasskeyManagerProtocol>(passkeys));
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

    // Runs the main thread, moving the virtual clock on in small steps, until the condition holds.
    bool waitFor(const std::function<bool()>& condition) {
        using namespace std::chrono_literals;
        const auto deadline = std::chrono::steady_clock::now() + 60s;
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

    test_support::TemporaryGroupDirectory group;
    VirtualTokenFixture token;
    flowkeep::VirtualClockExecutor clock;
    std::shared_ptr<Pkcs11Manager> manager;
    std::shared_ptr<ExtensionPasskeyManager> passkeys;
    std::vector<std::unique_ptr<Request>> requests;
};

} // namespace keyvane::ext::testing
