#include "ForkedProcesses.h"
#include "crypto/SoftwareTpm.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/biometrics/LAContextWrapper.h"
#include "shared/biometrics/LaContextError.h"
#include "shared/biometrics/ScriptedBiometricAuthenticator.h"
#include "shared/crypto/CryptoManagerError.h"
#include "shared/crypto/DeviceKeyError.h"
#include "shared/crypto/PlatformDeviceKeyStore.h"
#include "shared/files/FileError.h"
#include "shared/files/SecureFile.h"
#include "shared/keychain/VarnelKeychainManager.h"
#include "shared/pin_cache/PinCodeCacheError.h"
#include "shared/pin_cache/PinCodeCacheManager.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorage.h"
#include "shared/storage/TokenStorage.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <thread>

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
    std::optional<std::string> readEncoded(const std::string& key) override { return real.readEncoded(key); }
    bool clear() override { return real.clear(); }
    bool deleteItem(const std::string& key) override { return real.deleteItem(key); }
    KeychainWrite write(const KeychainBatch& batch) override {
        return failBatches ? KeychainWrite::failed : real.write(batch);
    }
};

// The test device-key store with one of its operations made to fail as the files below it
// would (a write refused, a key file that cannot be read).
class FaultyDeviceKeyStore final : public DeviceKeyStoreProtocol {
public:
    std::string failing; // the operation that fails, or nothing
    PlatformDeviceKeyStore real{std::nullopt, false};

    void createKey(const Bytes& tag) override {
        fault("createKey");
        real.createKey(tag);
    }
    std::shared_ptr<const DeviceKey> findKey(const Bytes& tag) override {
        fault("findKey");
        return real.findKey(tag);
    }
    bool deleteKey(const Bytes& tag) override {
        fault("deleteKey");
        return real.deleteKey(tag);
    }
    DeviceKeyBackend backendOf(const Bytes& tag) const override { return real.backendOf(tag); }
    bool moveKey(const Bytes& from, const Bytes& to) override {
        fault("moveKey");
        return real.moveKey(from, to);
    }

private:
    void fault(const char* operation) const {
        if (failing == operation) {
            throw FileError(operation, "injected failure");
        }
    }
};

// Records that refuse every call, standing for a registry value that must not be reached.
class RefusingPinStorage final : public PinCodeStorageProtocol {
public:
    void savePin(const std::string&, const Bytes&, const std::string&) override { refuse(); }
    std::optional<PinEntry> getPin(const std::string&) override { refuse(); }
    void deletePin(const std::string&) override { refuse(); }
    void clean() override { refuse(); }
    bool hasPins() override { refuse(); }

private:
    [[noreturn]] static void refuse() { throw TextError("the registry's records were reached"); }
};

// Holds the record database's write lock, as another process in a long write would.
class WriteLockedDatabase {
public:
    explicit WriteLockedDatabase(const fs::path& path) {
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK ||
            sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw std::runtime_error("cannot lock the record database");
        }
    }
    ~WriteLockedDatabase() {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }
    WriteLockedDatabase(const WriteLockedDatabase&) = delete;
    WriteLockedDatabase& operator=(const WriteLockedDatabase&) = delete;

private:
    sqlite3* db_ = nullptr;
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
// A writer gives up on a locked database after a short wait, so a write-locked test is quick.
void installStores() {
    Dependencies::install(pinCodeStorage, std::shared_ptr<PinCodeStorageProtocol>(std::make_shared<PinCodeStorage>(
                                              std::make_shared<ModelContainer>(std::nullopt, std::chrono::milliseconds(50)))));
}

// The services the cache resolves when it is made, with faults that a test can switch on.
struct CacheServices {
    CacheServices() {
        installStores();
        Dependencies::install(keychainManager, std::shared_ptr<VarnelKeychainManagerProtocol>(keychain));
        Dependencies::install(deviceKeyStore, std::shared_ptr<DeviceKeyStoreProtocol>(keys));
    }
    std::shared_ptr<FailingKeychain> keychain = std::make_shared<FailingKeychain>();
    std::shared_ptr<FaultyDeviceKeyStore> keys = std::make_shared<FaultyDeviceKeyStore>();
};

Bytes kekTagBytes() {
    const std::string tag = Key::kekTag;
    return Bytes(tag.begin(), tag.end());
}

// Every test runs on each device-key backend.
class PinCodeCacheManagerTest : public ::testing::TestWithParam<std::string> {
protected:
    test_support::DeviceKeyBackendUnderTest backend{GetParam()};
    test_support::TemporaryGroupDirectory group;
    CacheServices services;
    PinCodeCacheManager cache;

    bool hasPins() { return Dependencies::get(pinCodeStorage)->hasPins(); }
    bool deviceKeyExists() { return PlatformDeviceKeyStore().backendOf(kekTagBytes()) != DeviceKeyBackend::none; }
    std::optional<std::string> item(const char* key) { return Dependencies::get(keychainManager)->getEncoded(key); }
};

TEST_P(PinCodeCacheManagerTest, CachedPinsRoundTripUnderTheMasterPassword) {
    EXPECT_FALSE(cache.isMasterPasswordSet());
    EXPECT_EQ(cache.protection(), DeviceKeyBackend::none);
    EXPECT_EQ(failureText([&] { cache.savePin("S", "1", "sn-S"); }), "Something went wrong with reading CEK from keychain");
    cache.initCache("correct horse");
    EXPECT_TRUE(cache.isMasterPasswordSet());
    EXPECT_EQ(cache.protection(), GetParam() == "tpm" ? DeviceKeyBackend::tpm : DeviceKeyBackend::file);
    EXPECT_EQ(cache.auth("correct horse"), AuthResult(AuthResult::success{}));

    cache.savePin("S1", "пин-1234", "sn-S1");
    cache.savePin("S2", "0000", "sn-S2");
    cache.savePin("S2", "1111", "sn-S2");
    EXPECT_EQ(cache.getPin("S1", "sn-S1"), "пин-1234");
    EXPECT_EQ(cache.getPin("S2", "sn-S2"), "1111");
    std::string function;
    EXPECT_EQ(failureText([&] { cache.getPin("S3", "sn-S3"); }, &function), "Something went wrong with PIN retrieving");
    EXPECT_EQ(function, "getPin(for:)");
    cache.deletePin("S1");
    EXPECT_EQ(failureText([&] { cache.getPin("S1", "sn-S1"); }), "Something went wrong with PIN retrieving");

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
    cache.savePin("S", "1234", "sn-S");

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
    EXPECT_EQ(failureText([&] { cache.getPin("S", "sn-S"); }), "Something went wrong with reading CEK from keychain");
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
    cache.savePin("S", "4321", "sn-S");
    cache.changePassword("new");
    EXPECT_EQ(cache.getPin("S", "sn-S"), "4321");
    EXPECT_EQ(cache.auth("old"), AuthResult(AuthResult::invalidMasterPassword{4}));
    EXPECT_EQ(cache.auth("new"), AuthResult(AuthResult::success{}));

    // Hash and salt are written together: a failed write leaves the old pair whole.
    services.keychain->failBatches = true;
    EXPECT_EQ(failureText([&] { cache.changePassword("newer"); }), "Something went wrong with master password changing");
    services.keychain->failBatches = false;
    EXPECT_EQ(cache.auth("new"), AuthResult(AuthResult::success{}));
}

TEST_P(PinCodeCacheManagerTest, SettingUpAgainClearsPinsSealedUnderTheOldKey) {
    cache.initCache("first");
    cache.savePin("S", "1234", "sn-S");
    cache.initCache("second");
    EXPECT_FALSE(hasPins());
    EXPECT_EQ(failureText([&] { cache.getPin("S", "sn-S"); }), "Something went wrong with PIN retrieving");
    cache.savePin("S", "5678", "sn-S");
    EXPECT_EQ(cache.getPin("S", "sn-S"), "5678");
    EXPECT_EQ(cache.auth("first"), AuthResult(AuthResult::invalidMasterPassword{4}));
}

// Set-up over a cache that holds a PIN, each step failing in turn: before the new items are
// written the old cache stays whole and readable; once they are, the old cache is gone, so
// what is left is erased and the cache says so.
TEST_P(PinCodeCacheManagerTest, ASetUpThatFailsAtAnyStepLeavesTheOldCacheWholeOrErased) {
    std::optional<WriteLockedDatabase> writeLock;
    const struct {
        const char* step;
        std::function<void(bool)> fault;
        bool oldCacheWhole;
    } cases[] = {
        {"new device key made", [&](bool on) { services.keys->failing = on ? "createKey" : ""; }, true},
        {"new device key read", [&](bool on) { services.keys->failing = on ? "findKey" : ""; }, true},
        {"items written", [&](bool on) { services.keychain->failBatches = on; }, true},
        {"old PINs removed",
         [&](bool on) {
             if (on) {
                 writeLock.emplace(group.path() / "records.sqlite");
             } else {
                 writeLock.reset();
             }
         },
         false},
        {"new device key put in place", [&](bool on) { services.keys->failing = on ? "moveKey" : ""; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        cache.initCache("old");
        cache.savePin("S", "2468", "sn-S");
        c.fault(true);
        std::string function;
        EXPECT_NE(failureText([&] { cache.initCache("new"); }, &function), "no failure");
        EXPECT_EQ(function, "initCache(with:)");
        c.fault(false);
        if (c.oldCacheWhole) {
            EXPECT_TRUE(cache.isMasterPasswordSet());
            EXPECT_EQ(cache.auth("old"), AuthResult(AuthResult::success{}));
            EXPECT_EQ(cache.getPin("S", "sn-S"), "2468");
        } else {
            EXPECT_FALSE(cache.isMasterPasswordSet());
            EXPECT_EQ(cache.protection(), DeviceKeyBackend::none);
            EXPECT_FALSE(deviceKeyExists());
            EXPECT_FALSE(hasPins());
            EXPECT_EQ(failureText([&] { cache.getPin("S", "sn-S"); }), "Something went wrong with reading CEK from keychain");
        }
        // Nothing of the failed attempt is in the way of the next set-up.
        cache.initCache("new");
        cache.savePin("T", "1357", "sn-T");
        EXPECT_EQ(cache.getPin("T", "sn-T"), "1357");
        EXPECT_EQ(cache.auth("new"), AuthResult(AuthResult::success{}));
    }
}

// The record database write-locked by another process for longer than a writer waits: the
// limit still ends the guessing, and the right password opens nothing afterwards.
TEST_P(PinCodeCacheManagerTest, TheAttemptLimitHoldsWhileTheRecordsAreWriteLocked) {
    cache.initCache("right");
    cache.savePin("S", "2468", "sn-S");
    {
        WriteLockedDatabase writeLock(group.path() / "records.sqlite");
        for (const int remaining : {4, 3, 2, 1}) {
            EXPECT_EQ(cache.auth("wrong"), AuthResult(AuthResult::invalidMasterPassword{remaining}));
        }
        EXPECT_EQ(cache.auth("wrong"), AuthResult(AuthResult::masterPasswordBlocked{}));
        EXPECT_FALSE(deviceKeyExists());
        for (const char* password : {"wrong", "right"}) {
            EXPECT_EQ(failureText([&] { cache.auth(password); }), "Failed to retrieve stored credentials");
        }
        EXPECT_FALSE(cache.isMasterPasswordSet());
        EXPECT_EQ(failureText([&] { cache.getPin("S", "sn-S"); }), "Something went wrong with reading CEK from keychain");
        EXPECT_TRUE(hasPins()); // the entries wait for the lock to go
    }
    // The next call finishes the erasure.
    EXPECT_FALSE(cache.isMasterPasswordSet());
    EXPECT_FALSE(hasPins());
}

// A count whose rename landed but whose directory sync failed is a count: the guess is
// checked and counted, never refused as if the counter were unwritten.
TEST_P(PinCodeCacheManagerTest, ACountThatLandedWithoutADurableDirectoryCounts) {
    cache.initCache("right");
    const DirectorySyncFailureForTesting failingSync(EIO);
    EXPECT_EQ(cache.auth("wrong"), AuthResult(AuthResult::invalidMasterPassword{4}));
    EXPECT_EQ(cache.auth("wrong"), AuthResult(AuthResult::invalidMasterPassword{3}));
    EXPECT_EQ(cache.auth("right"), AuthResult(AuthResult::success{}));
}

// A counter that cannot be read as a number counts as spent: the guess is refused unchecked
// and the cache erased, as at the limit.
TEST_P(PinCodeCacheManagerTest, ADamagedCounterBlocksBeforeAnyComparison) {
    cache.initCache("right");
    ASSERT_TRUE(Dependencies::get(keychainManager)->setEncoded("\"x\"", Key::failedAuthKeychainKey,
                                                               VNAccessibilityType::any));
    EXPECT_EQ(cache.auth("right"), AuthResult(AuthResult::masterPasswordBlocked{}));
    EXPECT_FALSE(cache.isMasterPasswordSet());
}

// A keychain whose file was loosened by a copy cannot be read: that is an error, never "no
// master password", and a set-up tried meanwhile keeps the old device key.
TEST_P(PinCodeCacheManagerTest, AnUnreadableKeychainIsAnErrorAndASetUpKeepsTheOldKey) {
    cache.initCache("old");
    cache.savePin("S", "2468", "sn-S");
    const fs::path items = group.path() / "keychain-group.Keyvane.shared.json";
    ASSERT_TRUE(fs::exists(items));
    fs::permissions(items, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    std::string function;
    EXPECT_NE(failureText([&] { cache.isMasterPasswordSet(); }, &function), "no failure");
    EXPECT_EQ(function, "isMasterPasswordSet()");
    EXPECT_NE(failureText([&] { cache.initCache("new"); }), "no failure");
    EXPECT_NE(failureText([&] { cache.auth("old"); }), "no failure");
    EXPECT_NE(failureText([&] { cache.getPin("S", "sn-S"); }), "no failure");
    fs::permissions(items, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(cache.isMasterPasswordSet());
    EXPECT_EQ(cache.auth("old"), AuthResult(AuthResult::success{}));
    EXPECT_EQ(cache.getPin("S", "sn-S"), "2468");
}

// Two tokens whose serial numbers differ only above the 32 bits the serial shows share one
// serial: the PIN cached for one is never answered for the other (each wrong PIN would spend
// one of its retries).
TEST_P(PinCodeCacheManagerTest, APinIsAnsweredOnlyForTheTokenItWasSavedFor) {
    cache.initCache("pw");
    cache.savePin("0000000001", "1111", "0000000100000001");
    EXPECT_EQ(failureText([&] { cache.getPin("0000000001", "0000000200000001"); }),
              "The cached PIN was saved for another token");
    EXPECT_EQ(cache.getPin("0000000001", "0000000100000001"), "1111");
}

TEST_P(PinCodeCacheManagerTest, APinThatIsNotUtf8IsRefusedRatherThanSentToTheToken) {
    cache.initCache("pw");
    cache.savePin("S", std::string("12\xff\xfe", 4), "sn-S");
    EXPECT_EQ(failureText([&] { cache.getPin("S", "sn-S"); }), "The cached PIN is not valid UTF-8");
}

TEST_P(PinCodeCacheManagerTest, NoFileOfTheGroupHoldsAPinOrThePasswordInClear) {
    const std::string pin = "Z9q-secret-PIN-7431";
    const std::string password = "Master-Password-8812";
    cache.initCache(password);
    cache.savePin("S", pin, "sn-S");
    ASSERT_EQ(cache.getPin("S", "sn-S"), pin);
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

// The services are taken once, when the cache is made: a call on another thread, where the
// registry holds something else (the records' fatal placeholder, say), still reaches them.
TEST_P(PinCodeCacheManagerTest, CallsReachTheServicesTheCacheWasMadeWith) {
    cache.initCache("pw");
    cache.savePin("S", "1357", "sn-S");
    Dependencies::install(pinCodeStorage, std::shared_ptr<PinCodeStorageProtocol>(std::make_shared<RefusingPinStorage>()));
    std::string pin;
    std::thread([&] { pin = cache.getPin("S", "sn-S"); }).join();
    EXPECT_EQ(pin, "1357");
}

TEST_P(PinCodeCacheManagerTest, BiometricCheckFailuresLeaveAsTheCachesError) {
    auto backend = std::make_shared<ScriptedBiometricAuthenticator>();
    Dependencies::install(laContextWrapper,
                          std::shared_ptr<LAContextWrapperProtocol>(std::make_shared<LAContextWrapper>(backend)));
    PinCodeCacheManager withScriptedCheck; // takes the services it is made with
    EXPECT_NO_THROW(withScriptedCheck.auth());
    backend->queuePromptAnswer(BiometricFailure{biometricUserCancel, "cancelled"});
    try {
        withScriptedCheck.auth();
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
    cache.savePin("S", "1234", "sn-S");
    // Each process reports its three outcomes, one character per guess.
    const auto reports = test_support::runInForkedProcesses(2, [](int) {
        installStores();
        PinCodeCacheManager own;
        std::string outcomes;
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
            outcomes += outcome;
        }
        return outcomes;
    });
    std::string outcomes;
    for (const auto& report : reports) {
        EXPECT_EQ(report.size(), 3u) << report;
        outcomes += report;
    }
    std::sort(outcomes.begin(), outcomes.end());
    // 4, 3, 2, 1 remaining once each (no lost count), then blocked, then nothing left to check.
    EXPECT_EQ(outcomes, "1234bf");
    EXPECT_FALSE(cache.isMasterPasswordSet());
    EXPECT_FALSE(hasPins());
}

INSTANTIATE_TEST_SUITE_P(Backends, PinCodeCacheManagerTest, ::testing::Values("file", "tpm"),
                         [](const auto& info) { return info.param; });

// A small file system of its own (tmpfs) mounted on the group directory, which a test can fill
// to the last byte. Mounting needs the right to mount (root here); without it nothing is
// mounted and the test is skipped.
class SmallFileSystem {
public:
    explicit SmallFileSystem(fs::path at) : at_(std::move(at)) {
        fs::create_directories(at_);
        fs::permissions(at_, fs::perms::owner_all);
        mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", 0, "size=2m,mode=0700") == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            ::umount2(at_.c_str(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    // Takes every free block: first in pages, then byte by byte.
    void fill() {
        const int fd = ::open(filler().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::vector<char> page(4096, 'f');
        for (const std::size_t size : {page.size(), std::size_t{1}}) {
            while (::write(fd, page.data(), size) > 0) {
            }
        }
        ::close(fd);
    }
    void release() { fs::remove(filler()); }

private:
    fs::path filler() const { return at_ / "filler"; }

    fs::path at_;
    bool mounted_ = false;
};

class PinCodeCacheOnFullDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!disk.mounted()) {
            GTEST_SKIP() << "a tmpfs cannot be mounted here";
        }
        services.emplace();
        cache.emplace();
    }

    test_support::DeviceKeyBackendUnderTest backend{"file"};
    test_support::TemporaryGroupDirectory group;
    SmallFileSystem disk{group.path()};
    std::optional<CacheServices> services;
    std::optional<PinCodeCacheManager> cache;
};

// With the disk full, no guess is checked, so guessing cannot go on uncounted; the right
// password is refused too until a count can be written again.
TEST_F(PinCodeCacheOnFullDiskTest, GuessesThatCannotBeCountedAreNeverChecked) {
    cache->initCache("right");
    cache->savePin("S", "2468", "sn-S");
    disk.fill();
    const std::string refused = "The failed-attempt counter cannot be written; the master password was not checked";
    for (int guess = 0; guess < 8; ++guess) {
        EXPECT_EQ(failureText([&] { cache->auth("wrong"); }), refused) << guess;
    }
    EXPECT_EQ(failureText([&] { cache->auth("right"); }), refused);
    disk.release();
    EXPECT_EQ(cache->auth("wrong"), AuthResult(AuthResult::invalidMasterPassword{4}));
    EXPECT_EQ(cache->auth("right"), AuthResult(AuthResult::success{}));
    EXPECT_EQ(cache->getPin("S", "sn-S"), "2468");
}

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
        cache.initCache("master");
        cache.savePin("S", "2468", "sn-S");
    }

    test_support::DeviceKeyBackendUnderTest backend{"tpm"};
    test_support::SoftwareTpm& tpm = *backend.tpm;
    test_support::TemporaryGroupDirectory group;
    CacheServices services;
    PinCodeCacheManager cache;

    bool hasPins() { return Dependencies::get(pinCodeStorage)->hasPins(); }
    DeviceKeyBackend keyBackend() { return PlatformDeviceKeyStore().backendOf(kekTagBytes()); }
};

TEST_F(PinCodeCacheOnTpmTest, TheCacheSurvivesARestartAndReadsItsPins) {
    ASSERT_EQ(keyBackend(), DeviceKeyBackend::tpm);
    Dependencies::resetForTesting();
    CacheServices restartedServices;
    tpm.stop();
    tpm.start();
    PinCodeCacheManager restarted;
    EXPECT_EQ(restarted.getPin("S", "sn-S"), "2468");
    EXPECT_EQ(restarted.auth("master"), AuthResult(AuthResult::success{}));
    EXPECT_EQ(tpm.loadedHandles(), 0u);
}

TEST_F(PinCodeCacheOnTpmTest, AClearedTpmErasesTheCacheWithAClearError) {
    tpm.clear();
    for (const auto& operation : std::vector<std::function<void()>>{[&] { cache.getPin("S", "sn-S"); },
                                                                     [&] { cache.savePin("T", "1357", "sn-T"); }}) {
        cache.initCache("master");
        cache.savePin("S", "2468", "sn-S");
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
    cache.savePin("S", "1111", "sn-S");
    EXPECT_EQ(cache.getPin("S", "sn-S"), "1111");
    EXPECT_EQ(keyBackend(), DeviceKeyBackend::tpm);
}

// A TPM that is configured but fails makes no file key: the set-up fails, and the cache that
// was there stays on its TPM.
TEST_F(PinCodeCacheOnTpmTest, AConfiguredTpmThatFailsIsReportedAndNeverReplacedByAFile) {
    tpm.stop();
    const auto cause = deviceKeyCause([&] { cache.initCache("other"); });
    ASSERT_TRUE(cause);
    EXPECT_TRUE(cause->is<DeviceKeyError::tpmUnavailable>()) << cause->description();
    for (const auto& entry : fs::directory_iterator(group.path())) {
        EXPECT_NE(entry.path().extension(), ".der") << entry.path();
    }
    tpm.start();
    EXPECT_EQ(cache.protection(), DeviceKeyBackend::tpm);
    EXPECT_EQ(cache.auth("master"), AuthResult(AuthResult::success{}));
    EXPECT_EQ(cache.getPin("S", "sn-S"), "2468");
}

// Another live TPM answering in place of the one that made the key (a leftover software TPM
// named by KEYVANE_TPM_TCTI) is "cannot be reached", never "key lost": nothing is erased.
TEST_F(PinCodeCacheOnTpmTest, AnotherLiveTpmInItsPlaceErasesNothing) {
    test_support::SoftwareTpm other;
    ::setenv("KEYVANE_TPM_TCTI", other.tcti().c_str(), 1);
    const auto cause = deviceKeyCause([&] { cache.getPin("S", "sn-S"); });
    ASSERT_TRUE(cause);
    EXPECT_TRUE(cause->is<DeviceKeyError::tpmUnavailable>()) << cause->description();
    EXPECT_TRUE(cache.isMasterPasswordSet());
    EXPECT_TRUE(hasPins());
    EXPECT_EQ(other.loadedHandles(), 0u);
    ::setenv("KEYVANE_TPM_TCTI", tpm.tcti().c_str(), 1);
    EXPECT_EQ(cache.getPin("S", "sn-S"), "2468");
}

TEST_F(PinCodeCacheOnTpmTest, AnUnreachableTpmFailsWithoutErasingAnything) {
    tpm.stop();
    const auto cause = deviceKeyCause([&] { cache.getPin("S", "sn-S"); });
    ASSERT_TRUE(cause);
    EXPECT_TRUE(cause->is<DeviceKeyError::tpmUnavailable>());
    EXPECT_TRUE(cache.isMasterPasswordSet());
    EXPECT_TRUE(hasPins());
    tpm.start();
    EXPECT_EQ(cache.getPin("S", "sn-S"), "2468");
}

} // namespace
