#include "ForkedProcesses.h"
#include "crypto/SoftwareTpm.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/crypto/CryptoManager.h"
#include "shared/crypto/CryptoManagerError.h"
#include "shared/crypto/DeviceKeyError.h"
#include "shared/crypto/PlatformDeviceKeyStore.h"
#include "shared/crypto/TpmDeviceKeyStore.h"
#include "shared/files/SecureFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace keyvane;
namespace fs = std::filesystem;

// Which DeviceKeyError case an operation fails with, looked for also as the cause of a
// crypto-manager error; "none" when it succeeds.
std::string deviceKeyFailure(const std::function<void()>& operation) {
    const auto name = [](const DeviceKeyError& error) -> std::string {
        if (error.is<DeviceKeyError::keyLost>()) {
            return "keyLost";
        }
        return error.is<DeviceKeyError::tpmUnavailable>() ? "tpmUnavailable" : "tpmFailure";
    };
    try {
        operation();
    } catch (const DeviceKeyError& error) {
        return name(error);
    } catch (const CryptoManagerError& error) {
        const auto& cause = error.as<CryptoManagerError::generalError>()->error;
        if (const auto* deviceKeyError = cause ? cause->as<DeviceKeyError>() : nullptr) {
            return name(*deviceKeyError);
        }
        return "CryptoManagerError without a device-key cause";
    }
    return "none";
}

class TpmDeviceKeyTest : public ::testing::Test {
protected:
    test_support::TemporaryGroupDirectory group;
    test_support::DeviceKeyBackendUnderTest backend{"tpm"};
    test_support::SoftwareTpm& tpm = *backend.tpm;
    CryptoManager crypto;
    const Bytes tag{'k', 'e', 'k'};

    SecureBytes kek() {
        const auto keys = crypto.getKeysFromEnclave(tag);
        return crypto.deriveKEK(*keys.privateKey, keys.publicKey);
    }
    DeviceKeyBackend backendOfTag() const { return PlatformDeviceKeyStore().backendOf(tag); }
    fs::path keyFile() const { return TpmDeviceKeyStore("", group.path()).pathFor(tag); }
};

TEST_F(TpmDeviceKeyTest, TheKeyIsMadeOnTheTpmAndGivesTheSameKekAfterARestart) {
    crypto.createKEK(tag);
    ASSERT_EQ(backendOfTag(), DeviceKeyBackend::tpm);
    struct stat info {};
    ASSERT_EQ(::stat(keyFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const SecureBytes first = kek();
    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(kek(), first);

    // A new process (nothing kept in memory) on a rebooted TPM.
    Dependencies::resetForTesting();
    tpm.stop();
    tpm.start();
    CryptoManager restarted;
    const auto keys = restarted.getKeysFromEnclave(tag);
    EXPECT_EQ(restarted.deriveKEK(*keys.privateKey, keys.publicKey), first);
    EXPECT_EQ(tpm.loadedHandles(), 0u);
}

// The other TPM is told apart from this one cleared: it cannot hold the key, so the key is out
// of reach there, not lost.
TEST_F(TpmDeviceKeyTest, TheKeyFileCopiedToAnotherTpmCannotProduceTheKek) {
    crypto.createKEK(tag);
    test_support::SoftwareTpm other;
    const fs::path elsewhere = group.path() / "elsewhere";
    fs::create_directory(elsewhere);
    fs::permissions(elsewhere, fs::perms::owner_all);
    TpmDeviceKeyStore copy(other.tcti(), elsewhere);
    fs::copy_file(keyFile(), copy.pathFor(tag));
    EXPECT_EQ(deviceKeyFailure([&] { copy.findKey(tag); }), "tpmUnavailable");
    EXPECT_EQ(other.loadedHandles(), 0u);
    // Still whole where it belongs.
    EXPECT_EQ(kek().size(), 32u);
}

TEST_F(TpmDeviceKeyTest, DeletingTheKeyLeavesNoneAndANewKeyDiffers) {
    crypto.createKEK(tag);
    const auto publicKey = crypto.getKeysFromEnclave(tag).publicKey;
    const SecureBytes first = kek();
    crypto.deleteKEK(tag);
    EXPECT_EQ(backendOfTag(), DeviceKeyBackend::none);
    EXPECT_FALSE(fs::exists(keyFile()));
    EXPECT_EQ(deviceKeyFailure([&] { kek(); }), "CryptoManagerError without a device-key cause");
    crypto.createKEK(tag);
    EXPECT_NE(crypto.getKeysFromEnclave(tag).publicKey, publicKey);
    EXPECT_NE(kek(), first);
}

TEST_F(TpmDeviceKeyTest, AKeyStaysWithTheBackendThatMadeIt) {
    // Made while no TPM was there: a TPM appearing later changes nothing.
    ::setenv("KEYVANE_TPM_TCTI", "none", 1);
    crypto.createKEK(tag);
    ASSERT_EQ(backendOfTag(), DeviceKeyBackend::file);
    const SecureBytes fileKek = kek();
    ::setenv("KEYVANE_TPM_TCTI", tpm.tcti().c_str(), 1);
    EXPECT_EQ(kek(), fileKek);
    EXPECT_EQ(backendOfTag(), DeviceKeyBackend::file);

    // Made on the TPM: with the TPM gone the key fails, stays, and works again on its return.
    crypto.createKEK(tag);
    ASSERT_EQ(backendOfTag(), DeviceKeyBackend::tpm);
    const SecureBytes tpmKek = kek();
    tpm.stop();
    EXPECT_EQ(deviceKeyFailure([&] { kek(); }), "tpmUnavailable");
    ::setenv("KEYVANE_TPM_TCTI", "none", 1);
    EXPECT_EQ(deviceKeyFailure([&] { kek(); }), "tpmUnavailable");
    EXPECT_EQ(backendOfTag(), DeviceKeyBackend::tpm);
    tpm.start();
    ::setenv("KEYVANE_TPM_TCTI", tpm.tcti().c_str(), 1);
    EXPECT_EQ(kek(), tpmKek);
}

TEST_F(TpmDeviceKeyTest, AClearedTpmRefusesTheKeyAndANewKeyCanBeMade) {
    crypto.createKEK(tag);
    const SecureBytes before = kek();
    tpm.clear();
    EXPECT_EQ(deviceKeyFailure([&] { kek(); }), "keyLost");
    crypto.createKEK(tag);
    EXPECT_EQ(backendOfTag(), DeviceKeyBackend::tpm);
    EXPECT_NE(kek(), before);
    EXPECT_EQ(tpm.loadedHandles(), 0u);
}

TEST_F(TpmDeviceKeyTest, DamagedKeyFilesAreRefusedAsLost) {
    crypto.createKEK(tag);
    const std::string good = *readSecureFile(keyFile());
    const auto flipped = [&](std::size_t position) {
        std::string damaged = good;
        damaged[position] ^= 0x01;
        return damaged;
    };
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty", ""},
        {"magic only", good.substr(0, 8)},
        {"truncated", good.substr(0, good.size() - 1)},
        {"trailing byte", good + '\0'},
        {"other magic", flipped(0)},
        {"changed public point", flipped(good.size() / 4)},
        // The name of the TPM that made the key (2 + 34 bytes) ends the file.
        {"changed wrapped private part", flipped(good.size() - 36 - 5)},
    };
    for (const auto& [name, content] : cases) {
        writeSecureFile(keyFile(), content);
        EXPECT_EQ(deviceKeyFailure([&] { kek(); }), "keyLost") << name;
    }
    EXPECT_EQ(tpm.loadedHandles(), 0u);
}

TEST_F(TpmDeviceKeyTest, TwoProcessesUseTheKeyAtOnce) {
    crypto.createKEK(tag);
    const SecureBytes expected = kek();
    // Each process reports "y" when every round gave the same key, "n" when one gave another
    // and "e" when one failed.
    const auto reports = test_support::runInForkedProcesses(2, [&](int) {
        std::string outcome = "y";
        for (int round = 0; round < 8; ++round) {
            try {
                if (kek() != expected) {
                    outcome = "n";
                }
            } catch (...) {
                outcome = "e";
            }
        }
        return outcome;
    });
    EXPECT_EQ(reports, std::vector<std::string>(2, "y"));
    EXPECT_EQ(tpm.loadedHandles(), 0u);
}

} // namespace
