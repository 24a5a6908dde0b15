#include "crypto/SoftwareTpm.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/biometrics/LAContextWrapper.h"
#include "shared/biometrics/LaContextError.h"
#include "shared/biometrics/ScriptedBiometricAuthenticator.h"
#include "shared/crypto/CryptoManagerError.h"
#include "shared/crypto/DeviceKeyError.h"
#include "shared/crypto/PlatformDeviceKeyStore.h"
#include "shared/keychain/VarnelKeychainManager.h"
#include "shared/pin_cache/PinCodeCacheError.h"
#include "shared/pin_cache/PinCodeCacheManager.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorage.h"
#include "shared/storage/TokenStorage.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace {

using namespace keyvane;
namespace fs = std::filesystem;

using Key = PinCodeCacheManager;

// Keychain items through the real store, with item writes that can be made to fail.
class FailingKeychain final : public VarnelKeychainManagerProtocol {
public:
    bool failBatches = false;
    VarnelKeychainManager real{keyvaneAccessGroup};

    bool setEncoded(const std::string& json, const std::string& key, VNAccessibilityType type) override {
        return real.setEncoded(json, key, type);
    }
    std::optional<std::string> getEncoded(const std::string& key) override { return real.getEncoded(key); }
    bool clear() override { return real.clear(); }
    bool deleteItem(const std::string& key) override { return real.deleteItem(key); }
    bool apply(const KeychainBatch& batch) override { return !failBatches && real.apply(batch); }
};

std::string failureText(const std::function<void()>& operation, std::string* function = nullptr) {
    try {
        operation();
    } catch (const PinCodeCacheError& error) {
        const auto* general = error.as<PinCodeCacheError::generalError>();
        if (function) {
            *function = general->function;
        }
        if (const auto* text = general->error->as<TextError>()) {
            return text->text;
        }
        return general->error->description();
    }
    return "no failure";
}

// Installs the PIN entry store of this process's own container (after a fork, a child needs
// its own connection).
void installStores() {
    Dependencies::install(pinCodeStorage,
                          std::shared_ptr<PinCodeStorageProtocol>(
                              std::make_shared<PinCodeStorage>(std::make_shared<ModelContainer>())));
}

Bytes kekTagBytes() {
    const std::string tag = Key::kekTag;
    return Bytes(tag.begin(), tag.end());
}

// Every test runs on each device-key backend.
class PinCodeCacheManagerTest : public ::testing::TestWithParam<std::string> {
protected:
    PinCodeCacheManagerTest() { installStores(); }

    test_support::DeviceKeyBackendUnderTest backend{GetParam()};
    test_support::TemporaryGroupDirectory group;
    PinCodeCacheManager cache;

    bool hasPins() { return Dependencies::get(pinCodeStorage)->hasPins(); }
    bool deviceKeyExists() { return PlatformDeviceKeyStore().backendOf(kekTagBytes()) != DeviceKeyBackend::none; }
    std::optional<std::string> item(const char* key) { return Dependencies::get(keychainManager)->getEncoded(key); }
};

TEST_P(PinCodeCacheManagerTest, CachedPinsRoundTripUnderTheMasterPassword) {
    EXPECT_FALSE(cache.isMasterPasswordSet());
    EXPECT_EQ(failureText([&] { cache.savePin("S", "1"); }), "Something went wrong with reading CEK from keychain");
    cache.initCache("correct horse");
    EXPECT_TRUE(cache.isMasterPasswordSet());
    EXPECT_EQ(cache.auth("correct horse"), AuthResult(AuthResult::success{}));

    cache.savePin("S1", "пин-1234");
    cache.savePin("S2", "0000");
    cache.savePin("S2", "1111");
    EXPECT_EQ(cache.getPin("S1"), "пин-1234");
    EXPECT_EQ(cache.getPin("S2"), "1111");
    std::string function;
    EXPECT_EQ(failureText([&] { cache.getPin("S3"); }, &function), "Something went wrong with PIN retrieving");
    EXPECT_EQ(function, "getPin(for:)");
    cache.deletePin("S1");
    EXPECT_EQ(failureText([&] { cache.getPin("S1"); }), "Something went wrong with PIN retrieving");

    const auto salt = Dependencies::get(keychainManager)->get<Bytes>(Key::saltKeychainKey);
    ASSERT_TRUE(salt);
    EXPECT_GE(salt->size(), 16u);
    EXPECT_LE(salt->size(), 32u);
    EXPECT_EQ(Dependencies::get(keychainManager)->get<Bytes>(Key::cekKeychainKey)->size(), 60u);
}

TEST_P(PinCodeCacheManagerTest, FifthConsecutiveFailureErasesTheCacheButNotTheRecords) {
    TokenStorage tokens(std::make_shared<ModelContainer>());
    tokens.syncToken(TokenInfo{"L", "M", "S", "1.0", 1, 1, true});
    Dependencies::get(userDefaultsManager)->set(3, UserDefaultsKey::onboardingStatus);
    cache.initCache("right");
    cache.savePin("S", "1234");

    for (const int remaining : {4, 3, 2, 1}) {
        EXPECT_EQ(cache.auth("wrong"), AuthResult(AuthResult::invalidMasterPassword{remaining}));
    }
    EXPECT_TRUE(hasPins());
    EXPECT_EQ(cache.auth("wrong"), AuthResult(AuthResult::masterPasswordBlocked{}));

    EXPECT_FALSE(cache.isMasterPasswordSet());
    EXPECT_FALSE(hasPins());
    EXPECT_FALSE(deviceKeyExists());
    for (const char* key : {Key::cekKeychainKey, Key::hashKeychainKey, Key::saltKeychainKey, Key::failedAuthKeychainKey}) {
        EXPECT_EQ(item(key), std::nullopt) << key;
    }
    EXPECT_EQ(failureText([&] { cache.getPin("S"); }), "Something went wrong with reading CEK from keychain");
    EXPECT_EQ(tokens.listTokens().size(), 1u);
    EXPECT_EQ(Dependencies::get(userDefaultsManager)->value<int>(UserDefaultsKey::onboardingStatus), 3);
}

TEST_P(PinCodeCacheManagerTest, OnlyConsecutiveFailuresCount) {
    EXPECT_EQ(failureText([&] { cache.auth("any"); }), "Failed to retrieve stored credentials");
    EXPECT_EQ(item(Key::failedAuthKeychainKey), std::nullopt);
    cache.initCache("right");
    for (int i = 0; i < 3; ++i) {
        cache.auth("wrong");
    }
    EXPECT_EQ(cache.auth("right"), AuthResult(AuthResult::success{}));
    EXPECT_EQ(cache.auth("wrong"), AuthResult(AuthResult::invalidMasterPassword{4}));
    cache.changePassword("new");
    EXPECT_EQ(cache.auth("wrong"), AuthResult(AuthResult::invalidMasterPassword{4}));
}

TEST_P(PinCodeCacheManagerTest, ChangingThePasswordKeepsPinsAndAFailedChangeKeepsTheOldOne) {
    cache.initCache("old");
    cache.savePin("S", "4321");
    cache.changePassword("new");
    EXPECT_EQ(cache.getPin("S"), "4321");
    EXPECT_EQ(cache.auth("old"), AuthResult(AuthResult::invalidMasterPassword{4}));
    EXPECT_EQ(cache.auth("new"), AuthResult(AuthResult::success{}));

    // Hash and salt are written together: a failed write leaves the old pair whole.
    auto keychain = std::make_shared<FailingKeychain>();
    keychain->failBatches = true;
    Dependencies::install(keychainManager, std::shared_ptr<VarnelKeychainManagerProtocol>(keychain));
    EXPECT_EQ(failureText([&] { cache.changePassword("newer"); }), "Something went wrong with master password changing");
    EXPECT_EQ(failureText([&] { cache.initCache("newer"); }), "Something went wrong with cache initialization");
    keychain->failBatches = false;
    EXPECT_EQ(cache.auth("new"), AuthResult(AuthResult::success{}));
}

TEST_P(PinCodeCacheManagerTest, SettingUpAgainClearsPinsSealedUnderTheOldKey) {
    cache.initCache("first");
    cache.savePin("S", "1234");
    cache.initCache("second");
    EXPECT_FALSE(hasPins());
    EXPECT_EQ(failureText([&] { cache.getPin("S"); }), "Something went wrong with PIN retrieving");
    cache.savePin("S", "5678");
    EXPECT_EQ(cache.getPin("S"), "5678");
    EXPECT_EQ(cache.auth("first"), AuthResult(AuthResult::invalidMasterPassword{4}));
}

TEST_P(PinCodeCacheManagerTest, APinThatIsNotUtf8IsRefusedRatherThanSentToTheToken) {
    cache.initCache("pw");
    cache.savePin("S", std::string("12\xff\xfe", 4));
    EXPECT_EQ(failureText([&] { cache.getPin("S"); }), "The cached PIN is not valid UTF-8");
}

TEST_P(PinCodeCacheManagerTest, NoFileOfTheGroupHoldsAPinOrThePasswordInClear) {
    const std::string pin = "Z9q-secret-PIN-7431";
    const std::string password = "Master-Password-8812";
    cache.initCache(password);
    cache.savePin("S", pin);
    ASSERT_EQ(cache.getPin("S"), pin);
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(group.path())) {
        if (!entry.is_regular_file()) {
            continue;
        }
        ++files;
        const auto content = test_support::TemporaryGroupDirectory::readAll(entry.path());
        EXPECT_EQ(content.find(pin), std::string::npos) << entry.path();
        EXPECT_EQ(content.find(password), std::string::npos) << entry.path();
        EXPECT_EQ(entry.status().permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none)
            << entry.path();
    }
    EXPECT_GE(files, 4); // records, items, device key, lock files
}

TEST_P(PinCodeCacheManagerTest, BiometricCheckFailuresLeaveAsTheCachesError) {
    auto backend = std::make_shared<ScriptedBiometricAuthenticator>();
    Dependencies::install(laContextWrapper,
                          std::shared_ptr<LAContextWrapperProtocol>(std::make_shared<LAContextWrapper>(backend)));
    EXPECT_NO_THROW(cache.auth());
    backend->queuePromptAnswer(BiometricFailure{biometricUserCancel, "cancelled"});
    try {
        cache.auth();
        FAIL();
    } catch (const PinCodeCacheError& error) {
        const auto* general = error.as<PinCodeCacheError::generalError>();
        EXPECT_EQ(general->function, "auth()");
        EXPECT_TRUE(general->error->as<LaContextError>()->is<LaContextError::userRejectedBiometry>());
    }
}

// Two processes guessing at once: every guess counts, and together they reach the limit.
TEST_P(PinCodeCacheManagerTest, TwoProcessesMakingThreeWrongAttemptsEachEndBlocked) {
    cache.initCache("right");
    cache.savePin("S", "1234");
    int results[2];
    ASSERT_EQ(::pipe(results), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < 2; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(results[0]);
            installStores();
            PinCodeCacheManager own;
            for (int attempt = 0; attempt < 3; ++attempt) {
                char outcome = 'f';
                try {
                    const auto result = own.auth("wrong");
                    if (const auto* invalid = result.as<AuthResult::invalidMasterPassword>()) {
                        outcome = static_cast<char>('0' + invalid->remainingAttemptsCount);
                    } else if (result.is<AuthResult::masterPasswordBlocked>()) {
                        outcome = 'b';
                    }
                } catch (const PinCodeCacheError&) {
                }
                if (::write(results[1], &outcome, 1) != 1) {
                    ::_exit(1);
                }
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    ::close(results[1]);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string outcomes(6, '?');
    ASSERT_EQ(::read(results[0], outcomes.data(), outcomes.size()), 6);
    ::close(results[0]);
    std::sort(outcomes.begin(), outcomes.end());
    // 4, 3, 2, 1 remaining once each (no lost count), then blocked, then nothing left to check.
    EXPECT_EQ(outcomes, "1234bf");
    EXPECT_FALSE(cache.isMasterPasswordSet());
    EXPECT_FALSE(hasPins());
}

INSTANTIATE_TEST_SUITE_P(Backends, PinCodeCacheManagerTest, ::testing::Values("file", "tpm"),
                         [](const auto& info) { return info.param; });

// The device-key error behind a PIN cache failure: its cause, or the cause of a crypto step.
std::optional<DeviceKeyError> deviceKeyCause(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const PinCodeCacheError& error) {
        std::optional<AnyError> cause = error.as<PinCodeCacheError::generalError>()->error;
        if (cause && cause->is<CryptoManagerError>()) {
            cause = cause->as<CryptoManagerError>()->as<CryptoManagerError::generalError>()->error;
        }
        if (cause && cause->is<DeviceKeyError>()) {
            return *cause->as<DeviceKeyError>();
        }
    }
    return std::nullopt;
}

class PinCodeCacheOnTpmTest : public ::testing::Test {
protected:
    PinCodeCacheOnTpmTest() {
        installStores();
        cache.initCache("master");
        cache.savePin("S", "2468");
    }

    test_support::DeviceKeyBackendUnderTest backend{"tpm"};
    test_support::SoftwareTpm& tpm = *backend.tpm;
    test_support::TemporaryGroupDirectory group;
    PinCodeCacheManager cache;

    bool hasPins() { return Dependencies::get(pinCodeStorage)->hasPins(); }
    DeviceKeyBackend keyBackend() { return PlatformDeviceKeyStore().backendOf(kekTagBytes()); }
};

TEST_F(PinCodeCacheOnTpmTest, TheCacheSurvivesARestartAndReadsItsPins) {
    ASSERT_EQ(keyBackend(), DeviceKeyBackend::tpm);
    Dependencies::resetForTesting();
    installStores();
    tpm.stop();
    tpm.start();
    PinCodeCacheManager restarted;
    EXPECT_EQ(restarted.getPin("S"), "2468");
    EXPECT_EQ(restarted.auth("master"), AuthResult(AuthResult::success{}));
    EXPECT_EQ(tpm.loadedHandles(), 0u);
}

TEST_F(PinCodeCacheOnTpmTest, AClearedTpmErasesTheCacheWithAClearError) {
    tpm.clear();
    for (const auto& operation : std::vector<std::function<void()>>{[&] { cache.getPin("S"); },
                                                                     [&] { cache.savePin("T", "1357"); }}) {
        cache.initCache("master");
        cache.savePin("S", "2468");
        tpm.clear();
        const auto cause = deviceKeyCause(operation);
        ASSERT_TRUE(cause);
        EXPECT_TRUE(cause->is<DeviceKeyError::keyLost>());
        EXPECT_NE(cause->description().find("set the master password again"), std::string::npos);
        EXPECT_FALSE(cache.isMasterPasswordSet());
        EXPECT_FALSE(hasPins());
        EXPECT_EQ(keyBackend(), DeviceKeyBackend::none);
    }
    // Set up again, on a new key of the same TPM.
    cache.initCache("new master");
    cache.savePin("S", "1111");
    EXPECT_EQ(cache.getPin("S"), "1111");
    EXPECT_EQ(keyBackend(), DeviceKeyBackend::tpm);
}

TEST_F(PinCodeCacheOnTpmTest, AnUnreachableTpmFailsWithoutErasingAnything) {
    tpm.stop();
    const auto cause = deviceKeyCause([&] { cache.getPin("S"); });
    ASSERT_TRUE(cause);
    EXPECT_TRUE(cause->is<DeviceKeyError::tpmUnavailable>());
    EXPECT_TRUE(cache.isMasterPasswordSet());
    EXPECT_TRUE(hasPins());
    tpm.start();
    EXPECT_EQ(cache.getPin("S"), "2468");
}

} // namespace
