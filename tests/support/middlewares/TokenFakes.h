#pragma once

#include "middlewares/MiddlewareHarness.h"
#include "shared/passkeys/PasskeyManagerProtocol.h"
#include "shared/pkcs11/Pkcs11ManagerProtocol.h"
#include "shared/pkcs11/TokenLoginManagerProtocol.h"

namespace keyvane::testing {

// An open token as far as the middlewares read it.
class FakeToken : public Pkcs11TokenProtocol {
public:
    explicit FakeToken(std::string serial, std::optional<std::uint64_t> freeMemory = 1024, bool freeMemoryFails = false)
        : label_("Token " + serial), serial_(std::move(serial)), freeMemory_(freeMemory), freeMemoryFails_(freeMemoryFails) {}
    std::uint64_t slot() const override { return 1; }
    std::uint64_t sessionHandle() const override { return 1; }
    const std::optional<std::string>& label() const override { return label_; }
    const std::string& serial() const override { return serial_; }
    const std::string& serialNumber() const override { return serialNumber_; }
    const std::string& model() const override { return model_; }
    const Pkcs11TokenInteractionType& interactionType() const override { return interaction_; }
    bool isSupported() const override { return true; }
    // Key operations of this token wait for a touch, for up to the timeout.
    void requireTouch(std::uint64_t userActionTimeout) {
        interaction_ = Pkcs11TokenInteractionType::touch{Pkcs11TouchTokenInfo{1, 0, userActionTimeout}};
    }
    const Pkcs11TokenVersion& tokenVersion() const override { return version_; }
    std::optional<std::uint64_t> totalMemory() const override { return 65536; }
    std::vector<Pkcs11Object> findObjects(const Pkcs11Template&) const override { throw TextError("not used"); }
    Pkcs11Object createObject(const Pkcs11Template&) const override { throw TextError("not used"); }
    void login(const std::string&) const override {}
    std::optional<std::uint64_t> getFreeMemory() const override {
        if (freeMemoryFails_) {
            throw Pkcs11Error(Pkcs11Error::internalError{"getFreeMemory()", 0, std::nullopt, 5});
        }
        return freeMemory_;
    }
    bool isLoggedIn() const override { return true; }
    Pkcs11KeyPair generateKeyPair(const Pkcs11Template&, const Pkcs11Template&) const override { throw TextError("not used"); }
    Bytes sign(const Bytes&, const Pkcs11ObjectProtocol&) const override { throw TextError("not used"); }

private:
    std::optional<std::string> label_;
    std::string serial_;
    std::string serialNumber_ = "full-" + serial_;
    std::string model_ = "Model";
    Pkcs11TokenInteractionType interaction_ = Pkcs11TokenInteractionType::plain{};
    Pkcs11TokenVersion version_{1, 0, 2, 3};
    std::optional<std::uint64_t> freeMemory_;
    bool freeMemoryFails_;
};

// The token as the state shows it after reading FakeToken.
inline TokenInfo fakeTokenInfo(const std::string& serial, std::optional<std::uint64_t> freeMemory = 1024) {
    return TokenInfo{"Token " + serial, "Model", serial, "1.0.2.3", 65536, freeMemory, true};
}

// A manager whose monitoring stream the test feeds by hand.
class FakePkcs11Manager : public Pkcs11ManagerProtocol {
public:
    Pkcs11TokenEventStream startMonitoring() override {
        std::lock_guard lock(mutex_);
        if (startFailure) {
            throw *startFailure;
        }
        auto [stream, producer] = Pkcs11TokenEventStream::make();
        producer_.emplace(producer);
        ++starts;
        return stream;
    }
    void stopMonitoring() override {
        if (beforeStop) {
            beforeStop();
        }
        std::lock_guard lock(mutex_);
        ++stops;
        if (producer_) {
            producer_->finish();
            producer_.reset();
        }
    }
    std::shared_ptr<Pkcs11TokenProtocol> getToken(const std::string& serial) override {
        std::lock_guard lock(mutex_);
        auto it = tokens.find(serial);
        return it == tokens.end() ? nullptr : it->second;
    }

    void sendEvent(Pkcs11TokenEvent event) {
        std::lock_guard lock(mutex_);
        producer_->yield(std::move(event));
    }
    void fail(Pkcs11Error error) {
        std::lock_guard lock(mutex_);
        producer_->finish(std::move(error));
    }
    void plug(const std::string& serial, std::optional<std::uint64_t> freeMemory = 1024, bool freeMemoryFails = false) {
        std::lock_guard lock(mutex_);
        tokens[serial] = std::make_shared<FakeToken>(serial, freeMemory, freeMemoryFails);
    }
    void unplug(const std::string& serial) {
        std::lock_guard lock(mutex_);
        tokens.erase(serial);
    }
    // Whether a monitoring stream is open (started and not stopped since).
    bool monitoring() {
        std::lock_guard lock(mutex_);
        return producer_.has_value();
    }

    std::optional<Pkcs11Error> startFailure;
    // Runs at the start of each stopMonitoring call, before it takes effect; set before use.
    std::function<void()> beforeStop;
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::map<std::string, std::shared_ptr<Pkcs11TokenProtocol>> tokens;

private:
    std::mutex mutex_;
    std::optional<Pkcs11TokenEventStream::Continuation> producer_;
};

class MockTokenLoginManager : public TokenLoginManagerProtocol {
public:
    MOCK_METHOD(std::shared_ptr<Pkcs11TokenProtocol>, getToken, (const std::string&), (override));
    MOCK_METHOD(void, login, (const std::string&, const std::string&), (override));
};

class MockPasskeyManager : public PasskeyManagerProtocol {
public:
    MOCK_METHOD(std::shared_ptr<Pkcs11TokenProtocol>, getToken, (const std::string&), (override));
    MOCK_METHOD(std::vector<PasskeyCredentials>, getCredentials, (const std::string&), (override));
    MOCK_METHOD(std::unique_ptr<RegistrationHold>, holdForRegistration, (const std::string&), (override));
    MOCK_METHOD(void, deleteCredentials, (const std::set<Bytes>&, const std::string&), (override));
    MOCK_METHOD(Bytes, createKeyPair, (const std::string&, const Bytes&, const Bytes&), (override));
    MOCK_METHOD(Bytes, sign, (const PasskeyCredentials&, const Bytes&), (override));
};

// The services of Services plus the token services.
struct TokenServices : Services {
    TokenServices() = default;
    ~TokenServices() { releaseTokenServices(); }

    void renew() {
        releaseTokenServices();
        Services::renew();
        manager = std::make_shared<FakePkcs11Manager>();
        login = std::make_shared<::testing::NiceMock<MockTokenLoginManager>>();
        passkeys = std::make_shared<::testing::NiceMock<MockPasskeyManager>>();
    }
    void releaseTokenServices() const {
        waitUntilOnlyTestHolds(manager);
        waitUntilOnlyTestHolds(login);
        waitUntilOnlyTestHolds(passkeys);
    }

    std::shared_ptr<FakePkcs11Manager> manager = std::make_shared<FakePkcs11Manager>();
    std::shared_ptr<::testing::NiceMock<MockTokenLoginManager>> login =
        std::make_shared<::testing::NiceMock<MockTokenLoginManager>>();
    std::shared_ptr<::testing::NiceMock<MockPasskeyManager>> passkeys =
        std::make_shared<::testing::NiceMock<MockPasskeyManager>>();

    void fillAll(DependencyScope& scope) const {
        fill(scope);
        scope.set<Pkcs11ManagerProtocol>(pkcs11Manager, manager)
            .set<TokenLoginManagerProtocol>(tokenLoginManager, login)
            .set<PasskeyManagerProtocol>(passkeyManager, passkeys);
    }

    template <class M, class... Args>
    std::unique_ptr<M> make(Args&&... args) const {
        DependencyScope scope;
        fillAll(scope);
        return std::make_unique<M>(std::forward<Args>(args)...);
    }
};

} // namespace keyvane::testing
