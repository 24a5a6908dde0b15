#pragma once

// What middleware tests of both deliverables share: forwarding a middleware's stream on the
// virtual clock, and test values of the services. Generic over the deliverable's action type
// (both hold the shared cases of shared/login).

#include "flowkeep/Middleware.h"
#include "flowkeep/VirtualClockExecutor.h"
#include "shared/biometrics/LAContextWrapperProtocol.h"
#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/pin_cache/PinCodeCacheError.h"
#include "shared/pin_cache/PinCodeCacheManagerProtocol.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"
#include "shared/storage/CredentialsStorageProtocol.h"
#include "shared/storage/PinCodeStorageProtocol.h"
#include "shared/storage/TokenStorageProtocol.h"

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace keyvane::testing {

using Actions = std::vector<std::string>;

// What a middleware answers for one action, as the printed actions in the order yielded.
// The stream is forwarded on a virtual clock until it has finished.
template <class Action>
class Forwarded {
public:
    Forwarded(flowkeep::VirtualClockExecutor& clock, flowkeep::ActionStream<Action> stream)
        : clock_(clock), received_(std::make_shared<std::vector<std::string>>()) {
        forwarding_ = std::move(stream).forward(
            clock, [received = received_](Action action) { received->push_back(action.description()); });
    }
    bool finished() const { return !forwarding_.isActive(); }
    Actions waitUntilFinished() {
        EXPECT_TRUE(clock_.runUntil([this] { return finished(); })) << "the stream never finished";
        return *received_;
    }
    Actions waitForCount(std::size_t count) {
        EXPECT_TRUE(clock_.runUntil([this, count] { return received_->size() >= count; }));
        return *received_;
    }
    const Actions& received() const { return *received_; }
    void cancel() { forwarding_.cancel(); }

private:
    flowkeep::VirtualClockExecutor& clock_;
    std::shared_ptr<std::vector<std::string>> received_;
    typename flowkeep::ActionStream<Action>::Forwarding forwarding_;
};

template <class Action>
Actions runToEnd(flowkeep::VirtualClockExecutor& clock, flowkeep::Middleware<Action>& middleware, const Action& action) {
    auto stream = middleware.process(action);
    if (!stream) {
        ADD_FAILURE() << "no stream for " << action.description();
        return {};
    }
    return Forwarded<Action>(clock, std::move(*stream)).waitUntilFinished();
}

inline PinCodeCacheError cacheError(const std::string& function) {
    return PinCodeCacheError(PinCodeCacheError::generalError{function, 0, std::nullopt});
}

class MockPinCodeCacheManager : public PinCodeCacheManagerProtocol {
public:
    MOCK_METHOD(void, eraseCache, (), (override));
    MOCK_METHOD(AuthResult, auth, (const std::string&), (override));
    MOCK_METHOD(void, auth, (), (override));
    MOCK_METHOD(void, initCache, (const std::string&), (override));
    MOCK_METHOD(void, deletePin, (const std::string&), (override));
    MOCK_METHOD(void, savePin, (const std::string&, const std::string&, const std::string&), (override));
    MOCK_METHOD(std::string, getPin, (const std::string&, const std::string&), (override));
    MOCK_METHOD(void, changePassword, (const std::string&), (override));
    MOCK_METHOD(bool, isMasterPasswordSet, (), (override));
    MOCK_METHOD(DeviceKeyBackend, protection, (), (override));
};

class MockPinCodeStorage : public PinCodeStorageProtocol {
public:
    MOCK_METHOD(void, savePin, (const std::string&, const Bytes&, const std::string&), (override));
    MOCK_METHOD(std::optional<PinEntry>, getPin, (const std::string&), (override));
    MOCK_METHOD(void, deletePin, (const std::string&), (override));
    MOCK_METHOD(void, clean, (), (override));
    MOCK_METHOD(bool, hasPins, (), (override));
};

class MockTokenStorage : public TokenStorageProtocol {
public:
    MOCK_METHOD(void, syncToken, (const TokenInfo&), (override));
    MOCK_METHOD(std::vector<TokenInfo>, listTokens, (), (override));
    MOCK_METHOD(TokenInfo, getToken, (const std::string&), (override));
    MOCK_METHOD(void, deleteToken, (const std::string&), (override));
};

class MockCredentialsStorage : public CredentialsStorageProtocol {
public:
    MockCredentialsStorage() {
        ON_CALL(*this, withTokenRecordsLocked)
            .WillByDefault([](const std::string&, const std::function<void()>& work) { work(); });
    }
    MOCK_METHOD(void, updateCredentials, (const std::vector<PasskeyCredentials>&, const std::string&), (override));
    MOCK_METHOD(std::vector<PasskeyCredentials>, fetchAllCredentials, (), (override));
    MOCK_METHOD(void, deleteCredentials, (const std::set<Bytes>&), (override));
    MOCK_METHOD(void, withTokenRecordsLocked, (const std::string&, const std::function<void()>&), (override));
};

// Publishes what the current list answers at once, through published.
class MockCredentialIdentityStore : public CredentialIdentityStoreProtocol {
public:
    void update(const CurrentCredentials& current) override { published(current()); }
    MOCK_METHOD(void, published, (const std::vector<PasskeyCredentials>&));
};

class MockAutofillExtensionHelper : public AutofillExtensionHelperProtocol {
public:
    MOCK_METHOD(bool, isEnabled, (), (override));
    MOCK_METHOD(bool, requestToTurnOnExtension, (), (override));
};

class MockLAContextWrapper : public LAContextWrapperProtocol {
public:
    MOCK_METHOD(void, performBiometricAuthentication, (), (override));
    MOCK_METHOD(void, setBioEnabled, (bool), (override));
    MOCK_METHOD(BiometryType, biometryType, (), (override));
    MOCK_METHOD(std::optional<bool>, isBioEnabled, (), (override));
};

// Preferences in memory, typed as the real ones.
class MemoryUserDefaults : public UserDefaultsManagerProtocol {
public:
    void setValue(const PreferenceValue& value, UserDefaultsKey key) override {
        std::lock_guard lock(mutex_);
        values_[key] = value;
    }
    std::optional<PreferenceValue> storedValue(UserDefaultsKey key) override {
        std::lock_guard lock(mutex_);
        if (unreadable) {
            return std::nullopt;
        }
        auto it = values_.find(key);
        return it == values_.end() ? std::nullopt : std::optional(it->second);
    }
    void removeValue(UserDefaultsKey key) override {
        std::lock_guard lock(mutex_);
        values_.erase(key);
    }
    PreferenceState state(UserDefaultsKey key) override {
        if (unreadable) {
            return PreferenceState::unreadable;
        }
        return preferenceStateOf(key, storedValue(key));
    }

    // A preferences file that cannot be read: every key reads as nothing.
    std::atomic<bool> unreadable = false;

private:
    std::mutex mutex_;
    std::map<UserDefaultsKey, PreferenceValue> values_;
};

// Waits until only the test holds the value: a middleware's work on the pool drops its copies
// just after its stream has finished, and a mock must be destroyed (and verified) on the
// test's thread, never on a worker.
template <class T>
void waitUntilOnlyTestHolds(const std::shared_ptr<T>& value) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (value.use_count() > 1) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "a service is still held after its middleware finished";
            return;
        }
        std::this_thread::yield();
    }
}

// Every service a middleware of the main program may read, as test values, installed in a
// registry scope while the middleware under test is built. Destroy the middlewares first.
struct Services {
    Services() = default;
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;
    ~Services() { release(); }

    // New test values for the next case.
    void renew() {
        release();
        cache = std::make_shared<::testing::NiceMock<MockPinCodeCacheManager>>();
        pins = std::make_shared<::testing::NiceMock<MockPinCodeStorage>>();
        tokens = std::make_shared<::testing::NiceMock<MockTokenStorage>>();
        credentials = std::make_shared<::testing::NiceMock<MockCredentialsStorage>>();
        identities = std::make_shared<::testing::NiceMock<MockCredentialIdentityStore>>();
        extension = std::make_shared<::testing::NiceMock<MockAutofillExtensionHelper>>();
        biometrics = std::make_shared<::testing::NiceMock<MockLAContextWrapper>>();
        defaults = std::make_shared<MemoryUserDefaults>();
    }

    std::shared_ptr<::testing::NiceMock<MockPinCodeCacheManager>> cache =
        std::make_shared<::testing::NiceMock<MockPinCodeCacheManager>>();
    std::shared_ptr<::testing::NiceMock<MockPinCodeStorage>> pins = std::make_shared<::testing::NiceMock<MockPinCodeStorage>>();
    std::shared_ptr<::testing::NiceMock<MockTokenStorage>> tokens = std::make_shared<::testing::NiceMock<MockTokenStorage>>();
    std::shared_ptr<::testing::NiceMock<MockCredentialsStorage>> credentials =
        std::make_shared<::testing::NiceMock<MockCredentialsStorage>>();
    std::shared_ptr<::testing::NiceMock<MockCredentialIdentityStore>> identities =
        std::make_shared<::testing::NiceMock<MockCredentialIdentityStore>>();
    std::shared_ptr<::testing::NiceMock<MockAutofillExtensionHelper>> extension =
        std::make_shared<::testing::NiceMock<MockAutofillExtensionHelper>>();
    std::shared_ptr<::testing::NiceMock<MockLAContextWrapper>> biometrics =
        std::make_shared<::testing::NiceMock<MockLAContextWrapper>>();
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();

    void release() const {
        waitUntilOnlyTestHolds(cache);
        waitUntilOnlyTestHolds(pins);
        waitUntilOnlyTestHolds(tokens);
        waitUntilOnlyTestHolds(credentials);
        waitUntilOnlyTestHolds(identities);
        waitUntilOnlyTestHolds(extension);
        waitUntilOnlyTestHolds(biometrics);
        waitUntilOnlyTestHolds(defaults);
    }

    void fill(DependencyScope& scope) const {
        scope.set<PinCodeCacheManagerProtocol>(pinCodeCacheManager, cache)
            .set<PinCodeStorageProtocol>(pinCodeStorage, pins)
            .set<TokenStorageProtocol>(tokenStorage, tokens)
            .set<CredentialsStorageProtocol>(credentialsStorage, credentials)
            .set<CredentialIdentityStoreProtocol>(credentialIdentityStore, identities)
            .set<AutofillExtensionHelperProtocol>(autofillExtensionHelper, extension)
            .set<LAContextWrapperProtocol>(laContextWrapper, biometrics)
            .set<UserDefaultsManagerProtocol>(userDefaultsManager, defaults);
    }

    // Builds the middleware with these services in the registry.
    template <class M, class... Args>
    std::unique_ptr<M> make(Args&&... args) const {
        DependencyScope scope;
        fill(scope);
        return std::make_unique<M>(std::forward<Args>(args)...);
    }
};

inline TokenInfo sampleToken(const std::string& serial) {
    return TokenInfo{std::string("Token ") + serial, "Model", serial, "1.0.2.3", 65536, 1024, true};
}

inline PasskeyCredentials samplePasskey(const std::string& serial, std::uint8_t id) {
    PasskeyCredentials passkey;
    passkey.keyId = Bytes{id};
    passkey.relyingPartyId = "site" + std::to_string(id) + ".example";
    passkey.username = "user" + std::to_string(id);
    passkey.userHandle = Bytes{id, id};
    passkey.tokenSerial = serial;
    return passkey;
}

} // namespace keyvane::testing
