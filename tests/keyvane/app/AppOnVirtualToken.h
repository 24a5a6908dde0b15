// The main program's core on real services: a virtual token, a temporary group directory, the
// store with the program's middleware list, time of the token-event collector on a virtual
// clock. The end-to-end tests build on it, in the test's process or in processes forked from it.
#pragma once

#include "keyvane/app/KeyvaneApp.h"

#include "../../shared/files/TemporaryGroupDirectory.h"
#include "VirtualTokenFixture.h"
#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"
#include "flowkeep/VirtualClockExecutor.h"
#include "shared/passkeys/PasskeyManager.h"
#include "shared/passkeys/PasskeyMetadata.h"
#include "shared/pkcs11/Pkcs11Library.h"
#include "shared/pkcs11/Pkcs11Manager.h"
#include "shared/pkcs11/TokenLoginManager.h"
#include "shared/storage/CredentialsStorage.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorage.h"
#include "shared/storage/TokenStorage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace keyvane::app::testing {

// The group directory and the token of a test. A process forked from the test finds them
// through the environment that they set.
struct AppFixtures {
    explicit AppFixtures(std::vector<keyvane::testing::VirtualTokenSettings> tokens) : token(std::move(tokens)) {}

    test_support::TemporaryGroupDirectory group;
    keyvane::testing::VirtualTokenFixture token;
};

// The program's services and store over the group directory and the token of the environment:
// in the test's own process, or in a process forked from it (one such object per process).
class AppServices {
public:
    // What the store's middlewares get as the passkey records, made from the live records.
    using RecordsWrapper =
        std::function<std::shared_ptr<CredentialsStorageProtocol>(std::shared_ptr<CredentialsStorageProtocol>)>;

    explicit AppServices(const RecordsWrapper& wrapRecords = {}) {
        using namespace std::chrono_literals;
        manager = std::make_shared<Pkcs11Manager>(
            Pkcs11Library::load(keyvane::testing::VirtualTokenFixture::modulePath().string()), 50ms);
        auto container = std::make_shared<const ModelContainer>();
        std::shared_ptr<CredentialsStorageProtocol> records = std::make_shared<CredentialsStorage>(container);
        if (wrapRecords) {
            records = wrapRecords(std::move(records));
        }
        Dependencies::install<Pkcs11ManagerProtocol>(pkcs11Manager, manager);
        Dependencies::install<TokenLoginManagerProtocol>(tokenLoginManager, std::make_shared<TokenLoginManager>(manager));
        Dependencies::install<PasskeyManagerProtocol>(passkeyManager, std::make_shared<PasskeyManager>(manager));
        Dependencies::install<TokenStorageProtocol>(tokenStorage, std::make_shared<TokenStorage>(container));
        Dependencies::install<PinCodeStorageProtocol>(pinCodeStorage, std::make_shared<PinCodeStorage>(container));
        Dependencies::install<CredentialsStorageProtocol>(credentialsStorage, std::move(records));
        store = std::make_unique<AppStore>(AppState{}, AppReducer{}, KeyvaneApp::makeMiddlewares(clock, false), clock);
    }
    ~AppServices() {
        // Every middleware's work ends before the services go (the activation middleware's
        // stream stays open by design and runs nothing meanwhile).
        store->send(AppAction::stopMonitoring{});
        EXPECT_TRUE(clock.runUntil([&] {
            for (std::size_t i = 0; i < store->middlewareCount(); ++i) {
                if (i != activationMiddleware && store->isForwarding(i)) {
                    return false;
                }
            }
            return true;
        }));
        store.reset();
        Dependencies::resetForTesting();
    }
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    const AppState& state() const { return store->state(); }

    // A passkey made on a logged-in token as the extension's registration makes it: the key
    // pair, then its metadata object.
    void addPasskey(const PasskeyCredentials& passkey) {
        ExtensionPasskeyManager(manager).createKeyPair(passkey.tokenSerial, passkey.keyId, Bytes{'k'});
        auto metadata = dataObjectTemplate();
        metadata.dataAttrs[Pkcs11DataAttribute::objectId] = passkeyObjectId();
        metadata.dataAttrs[Pkcs11DataAttribute::value] = PasskeyMetadata(KeyInfo::from(passkey)).toData();
        manager->getToken(passkey.tokenSerial)->createObject(metadata);
    }

    // Runs the main thread, moving the virtual clock on in small steps, until the condition holds.
    // The real-time limit keeps a broken run from hanging (PBKDF2 is slow on a loaded machine);
    // the virtual clock moves 100 ms a step.
    bool waitFor(const std::function<bool()>& condition,
                 std::chrono::steady_clock::duration limit = std::chrono::seconds(120)) {
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

    flowkeep::VirtualClockExecutor clock;
    std::shared_ptr<Pkcs11Manager> manager;
    std::unique_ptr<AppStore> store;
    static constexpr std::size_t activationMiddleware = 18;
};

// A test's own fixtures and the program's services over them.
class AppOnVirtualToken : public AppFixtures, public AppServices {
public:
    explicit AppOnVirtualToken(std::vector<keyvane::testing::VirtualTokenSettings> tokens = {
                                   keyvane::testing::VirtualTokenSettings{}})
        : AppFixtures(std::move(tokens)) {}
};

} // namespace keyvane::app::testing
