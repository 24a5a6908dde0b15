#include "ForkedProcesses.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/files/FileError.h"
#include "shared/files/SecureFile.h"
#include "shared/keychain/KeychainFile.h"
#include "shared/keychain/VarnelKeychainManager.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>

namespace {

using namespace keyvane;

class KeychainTest : public ::testing::Test {
protected:
    test_support::TemporaryGroupDirectory group;
    VarnelKeychainManager keychain{keyvaneAccessGroup};
    std::filesystem::path file = group.path() / "keychain-group.Keyvane.shared.json";

    KeychainItems items() { return *parseKeychainFile(*readSecureFile(file)); }
};

TEST_F(KeychainTest, ItemsAreAddedReplacedReadAndDeleted) {
    EXPECT_EQ(keychain.get<Bytes>("k"), std::nullopt);
    EXPECT_TRUE(keychain.set(Bytes{1, 2}, "k", VNAccessibilityType::any));
    EXPECT_TRUE(keychain.set(Bytes{3}, "k", VNAccessibilityType::any));
    EXPECT_EQ(keychain.get<Bytes>("k"), Bytes{3});
    EXPECT_TRUE(keychain.set(std::int64_t{3}, "count", VNAccessibilityType::any));
    EXPECT_EQ(keychain.getEncoded("count"), "3");
    EXPECT_EQ(keychain.get<std::int64_t>("count"), 3);
    // Asking for another type than the item holds answers nothing.
    EXPECT_EQ(keychain.get<Bytes>("count"), std::nullopt);
    EXPECT_EQ(keychain.get<std::int64_t>("k"), std::nullopt);

    EXPECT_TRUE(keychain.deleteItem("k"));
    EXPECT_FALSE(keychain.deleteItem("k"));
    EXPECT_TRUE(keychain.clear());
    EXPECT_FALSE(keychain.clear());
    EXPECT_EQ(keychain.get<std::int64_t>("count"), std::nullopt);
}

TEST_F(KeychainTest, ByteStringsAreBase64WithEscapedSolidusAndRoundTrip) {
    const Bytes withSolidus{0xff, 0xff, 0xff}; // "////"
    EXPECT_TRUE(keychain.set(withSolidus, "k", VNAccessibilityType::any));
    EXPECT_EQ(keychain.getEncoded("k"), "\"\\/\\/\\/\\/\"");
    EXPECT_EQ(keychain.get<Bytes>("k"), withSolidus);
}

TEST_F(KeychainTest, ProtectionIsFixedWhenAnItemIsCreated) {
    keychain.set(Bytes{1}, "k", VNAccessibilityType::any);
    keychain.set(Bytes{2}, "k", VNAccessibilityType::biometryOrPasscode);
    keychain.set(Bytes{3}, "b", VNAccessibilityType::biometryOrPasscode);
    EXPECT_EQ(items().at("k").accessibility, VNAccessibilityType::any);
    EXPECT_EQ(items().at("b").accessibility, VNAccessibilityType::biometryOrPasscode);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(KeychainTest, BatchesApplyWholeAndADamagedFileIsNeverOverwritten) {
    keychain.set(Bytes{1}, "old", VNAccessibilityType::any);
    KeychainBatch batch;
    batch.set(Bytes{2}, "a", VNAccessibilityType::any);
    batch.set(std::int64_t{7}, "b", VNAccessibilityType::any);
    batch.remove("old");
    batch.remove("never-there");
    EXPECT_TRUE(keychain.apply(batch));
    EXPECT_EQ(items().size(), 2u);
    EXPECT_EQ(keychain.get<std::int64_t>("b"), 7);

    writeSecureFile(file, "{not json");
    EXPECT_EQ(keychain.get<Bytes>("a"), std::nullopt);
    EXPECT_FALSE(keychain.set(Bytes{3}, "c", VNAccessibilityType::any));
    EXPECT_FALSE(keychain.apply(batch));
    EXPECT_EQ(readSecureFile(file), "{not json");
    EXPECT_TRUE(keychain.clear()); // clearing is what was asked for
}

// A refused or damaged file is "cannot read" for the callers that must tell it from "absent".
TEST_F(KeychainTest, AnItemFileOthersCanReadIsRefused) {
    keychain.set(Bytes{1}, "k", VNAccessibilityType::any);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    EXPECT_EQ(keychain.get<Bytes>("k"), std::nullopt);
    EXPECT_THROW(keychain.readEncoded("k"), FileError);
    EXPECT_FALSE(keychain.set(Bytes{2}, "k", VNAccessibilityType::any));
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    EXPECT_EQ(keychain.readEncoded("absent"), std::nullopt);
    writeSecureFile(file, "{not json");
    EXPECT_THROW(keychain.readEncoded("k"), FileError);
}

// A write whose rename landed but whose directory sync failed is in place: it is reported as
// such, never as a write that did not happen.
TEST_F(KeychainTest, AWriteThatLandedWithoutADurableDirectoryIsReportedAsSuch) {
    keychain.set(Bytes{1}, "k", VNAccessibilityType::any);
    const DirectorySyncFailureForTesting failingSync(EIO);
    KeychainBatch batch;
    batch.set(Bytes{2}, "k", VNAccessibilityType::any);
    EXPECT_EQ(keychain.write(batch), KeychainWrite::landedNotDurable);
    EXPECT_TRUE(keychain.set(std::int64_t{3}, "n", VNAccessibilityType::any));
    EXPECT_TRUE(keychain.deleteItem("n"));
    EXPECT_EQ(keychain.get<Bytes>("k"), Bytes{2});
    EXPECT_EQ(keychain.get<std::int64_t>("n"), std::nullopt);
}

TEST_F(KeychainTest, WritersInSeveralProcessesKeepEachOthersItems) {
    constexpr int processes = 4;
    constexpr int rounds = 25;
    const auto reports = test_support::runInForkedProcesses(processes, [&](int i) {
        VarnelKeychainManager own(keyvaneAccessGroup);
        std::string failures;
        for (int round = 0; round < rounds; ++round) {
            const std::string key = std::to_string(i) + "-" + std::to_string(round);
            if (!own.set(std::int64_t{round}, key, VNAccessibilityType::any)) {
                failures += "set " + key + " failed; ";
            }
        }
        return failures;
    });
    EXPECT_EQ(reports, std::vector<std::string>(processes, ""));
    EXPECT_EQ(items().size(), static_cast<std::size_t>(processes * rounds));
}

} // namespace
