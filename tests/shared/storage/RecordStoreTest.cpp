#include "ForkedProcesses.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/storage/CredentialsStorage.h"
#include "shared/storage/CredentialsStorageError.h"
#include "shared/files/SecureFile.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorage.h"
#include "shared/storage/TokenStorage.h"
#include "shared/storage/TokenStorageError.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

using namespace keyvane;

TokenInfo token(const std::string& serial, std::optional<std::string> label = "Token") {
    return TokenInfo{std::move(label), "Model X", serial, "1.0.2.3", 65536, 4096, true};
}

PasskeyCredentials passkey(std::uint8_t id, const std::string& serial = "ignored") {
    return PasskeyCredentials{{id, 0xaa}, "example.com", "user" + std::to_string(id), {id}, serial};
}

class RecordStoreTest : public ::testing::Test {
protected:
    test_support::TemporaryGroupDirectory group;
    std::shared_ptr<ModelContainer> container = std::make_shared<ModelContainer>();
    TokenStorage tokens{container};
    CredentialsStorage credentials{container};
    PinCodeStorage pins{container};

    // A connection of its own, as another process would have: it sees only what was saved.
    std::int64_t countThroughFreshConnection(const char* sql) {
        SqliteConnection fresh(container->path());
        auto statement = fresh.prepare(sql);
        statement.step();
        return statement.int64(0);
    }
    void executeThroughFreshConnection(const char* sql) {
        SqliteConnection fresh(container->path());
        fresh.execute(sql);
    }
    std::vector<std::int64_t> passkeyIds() {
        std::vector<std::int64_t> ids;
        for (const auto& record : credentials.fetchRecords()) {
            ids.push_back(*record.persistentId);
        }
        return ids;
    }
};

TEST_F(RecordStoreTest, TokenRecordsKeepTheirFieldsAndAlwaysReadBackAsSupported) {
    TokenInfo unsupported = token("A");
    unsupported.isSupported = false;
    TokenInfo bare{std::nullopt, "M", "B", "2.0", 0, std::nullopt, true};
    TokenInfo huge = token("C");
    huge.totalMemory = UINT64_MAX;
    huge.availableMemory = (std::uint64_t{1} << 63) + 5;
    for (const auto& info : {unsupported, bare, huge}) {
        tokens.syncToken(info);
    }

    const auto back = tokens.getToken("A");
    EXPECT_TRUE(back.isSupported);
    EXPECT_NE(back, unsupported);
    EXPECT_EQ(tokens.getToken("B"), bare);
    EXPECT_EQ(tokens.getToken("C"), huge);
    const auto all = tokens.listTokens();
    EXPECT_EQ(all.size(), 3u);
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](const TokenInfo& t) { return t.isSupported; }));
}

TEST_F(RecordStoreTest, SyncInsertsOnceThenUpdatesKeepingTheModel) {
    EXPECT_TRUE(tokens.listTokens().empty());
    tokens.syncToken(token("S1", "first"));
    TokenInfo changed = token("S1", "second");
    changed.model = "Other model";
    changed.version = "9.9";
    changed.availableMemory = std::nullopt;
    tokens.syncToken(changed);

    const auto records = tokens.fetchRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].label, "second");
    EXPECT_EQ(records[0].version, "9.9");
    EXPECT_EQ(records[0].model, "Model X");
    EXPECT_FALSE(records[0].availableMemory.has_value());
}

TEST_F(RecordStoreTest, DuplicateSerialsAreDetectedUpdatedOnceAndDeletedTogether) {
    tokens.syncToken(token("DUP", "one"));
    executeThroughFreshConnection(
        "INSERT INTO TokenStorableInfo (label, model, serial, version, totalMemory) VALUES ('two', 'M', 'DUP', '1', 1)");
    credentials.updateCredentials({passkey(1)}, "DUP");
    tokens.syncToken(token("DUP", "three"));

    const auto records = tokens.fetchRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].label, "three");
    EXPECT_EQ(records[1].label, "two");
    try {
        tokens.getToken("DUP");
        FAIL() << "two records of one serial answered a token";
    } catch (const TokenStorageError& error) {
        EXPECT_TRUE(error.is<TokenStorageError::multipleTokensWithSameSerial>());
    }

    tokens.deleteToken("DUP");
    EXPECT_TRUE(tokens.listTokens().empty());
    EXPECT_EQ(countThroughFreshConnection("SELECT count(*) FROM PasskeyStorableInfo"), 0);
}

TEST_F(RecordStoreTest, UnknownSerialsFailToReadAndChangeNothing) {
    tokens.syncToken(token("KNOWN"));
    credentials.updateCredentials({passkey(1)}, "KNOWN");
    try {
        tokens.getToken("known"); // exact text equality
        FAIL();
    } catch (const TokenStorageError& error) {
        EXPECT_TRUE(error.is<TokenStorageError::tokenNotFound>());
    }
    tokens.deleteToken("UNKNOWN");
    pins.deletePin("UNKNOWN");
    credentials.deleteCredentials({{0x99}});
    try {
        credentials.updateCredentials({passkey(2)}, "UNKNOWN");
        FAIL();
    } catch (const CredentialsStorageError& error) {
        const auto* general = error.as<CredentialsStorageError::generalError>();
        ASSERT_NE(general, nullptr);
        EXPECT_EQ(general->function, "updateCredentials(_:for:)");
        EXPECT_EQ(general->error->as<TextError>()->text, "Token not found");
    }
    EXPECT_EQ(tokens.listTokens().size(), 1u);
    EXPECT_EQ(credentials.fetchAllCredentials(), std::vector<PasskeyCredentials>{passkey(1, "KNOWN")});
}

TEST_F(RecordStoreTest, DeletingATokenCascadesToItsPasskeysForOtherConnections) {
    tokens.syncToken(token("A"));
    tokens.syncToken(token("B"));
    credentials.updateCredentials({passkey(1), passkey(2)}, "A");
    credentials.updateCredentials({passkey(3)}, "B");
    tokens.deleteToken("A");

    EXPECT_EQ(countThroughFreshConnection("SELECT count(*) FROM PasskeyStorableInfo"), 1);
    EXPECT_EQ(credentials.fetchAllCredentials(), std::vector<PasskeyCredentials>{passkey(3, "B")});
}

TEST_F(RecordStoreTest, UpdateCredentialsReplacesOneTokensRecordsWithNewOnes) {
    tokens.syncToken(token("A"));
    tokens.syncToken(token("B"));
    credentials.updateCredentials({passkey(9)}, "B");
    const auto bBefore = passkeyIds();

    // The elements' own serial is not used; equal elements give two records.
    credentials.updateCredentials({passkey(1, "B"), passkey(2, "B"), passkey(2, "B")}, "A");
    auto stored = credentials.fetchAllCredentials();
    EXPECT_EQ(std::count(stored.begin(), stored.end(), passkey(2, "A")), 2);
    EXPECT_EQ(std::count(stored.begin(), stored.end(), passkey(9, "B")), 1);
    EXPECT_EQ(stored.size(), 4u);

    const auto firstIds = passkeyIds();
    credentials.updateCredentials({passkey(1), passkey(2), passkey(2)}, "A");
    const auto secondIds = passkeyIds();
    ASSERT_EQ(secondIds.size(), 4u);
    EXPECT_EQ(secondIds[0], bBefore[0]); // token B untouched
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(std::count(firstIds.begin(), firstIds.end(), secondIds[i]), 0) << "a record was reused";
    }

    credentials.updateCredentials({}, "A");
    EXPECT_EQ(credentials.fetchAllCredentials(), std::vector<PasskeyCredentials>{passkey(9, "B")});
    EXPECT_EQ(tokens.listTokens().size(), 2u);
}

TEST_F(RecordStoreTest, FetchSkipsPasskeysWithoutATokenAndDeleteMatchesEveryToken) {
    EXPECT_TRUE(credentials.fetchAllCredentials().empty());
    tokens.syncToken(token("A"));
    tokens.syncToken(token("B"));
    credentials.updateCredentials({passkey(1), passkey(2)}, "A");
    credentials.updateCredentials({passkey(1)}, "B");
    executeThroughFreshConnection(
        "INSERT INTO PasskeyStorableInfo (keyId, relyingPartyId, username, userHandle, token) "
        "VALUES (x'07', 'orphan.example', 'nobody', x'07', NULL)");
    EXPECT_EQ(credentials.fetchRecords().size(), 4u);
    EXPECT_EQ(credentials.fetchAllCredentials().size(), 3u);

    credentials.deleteCredentials({passkey(1).keyId, {0x42}});
    EXPECT_EQ(credentials.fetchAllCredentials(), std::vector<PasskeyCredentials>{passkey(2, "A")});
}

TEST_F(RecordStoreTest, AFailedOperationLeavesNothingPendingForTheNextSave) {
    tokens.syncToken(token("A"));
    credentials.updateCredentials({passkey(1), passkey(2)}, "A");
    // Another writer's constraint makes the insertion of one element fail midway, after the
    // old records were already deleted in the same transaction.
    executeThroughFreshConnection(
        "CREATE TRIGGER refuse BEFORE INSERT ON PasskeyStorableInfo WHEN NEW.keyId = x'bad0' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    PasskeyCredentials refused = passkey(3);
    refused.keyId = {0xba, 0xd0};
    try {
        credentials.updateCredentials({passkey(3), refused}, "A");
        FAIL() << "the refused insertion was reported as success";
    } catch (const CredentialsStorageError& error) {
        EXPECT_EQ(error.as<CredentialsStorageError::generalError>()->function, "makeDefaultError(_:)");
    }
    // The next, unrelated operation of the same store commits only its own change.
    credentials.deleteCredentials({{0x55}});
    const std::vector<PasskeyCredentials> before{passkey(1, "A"), passkey(2, "A")};
    EXPECT_EQ(credentials.fetchAllCredentials(), before);
    EXPECT_EQ(countThroughFreshConnection("SELECT count(*) FROM PasskeyStorableInfo"), 2);
}

TEST_F(RecordStoreTest, PinEntriesAreOnePerSerial) {
    EXPECT_FALSE(pins.hasPins());
    EXPECT_EQ(pins.getPin("S"), std::nullopt);
    pins.savePin("S", {1, 2, 3}, "0001");
    pins.savePin("S", {4, 5}, "1001");
    pins.savePin("T", {6}, "0002");
    EXPECT_TRUE(pins.hasPins());
    EXPECT_EQ(pins.getPin("S")->encryptedPin, Bytes({4, 5}));
    EXPECT_EQ(pins.getPin("S")->serialNumber, "1001"); // the token the PIN was last saved for
    EXPECT_EQ(countThroughFreshConnection("SELECT count(*) FROM PinEntry"), 2);
    pins.deletePin("S");
    EXPECT_EQ(pins.getPin("T")->encryptedPin, Bytes({6}));
    pins.clean();
    EXPECT_FALSE(pins.hasPins());
}

TEST_F(RecordStoreTest, DatabaseFilesAreOnlyTheOwners) {
    tokens.syncToken(token("A"));
    for (const char* name : {"records.sqlite", "records.sqlite-wal", "records.sqlite-shm"}) {
        struct stat info {};
        ASSERT_EQ(::stat((group.path() / name).c_str(), &info), 0) << name;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
    }
}

// A store of the first schema keeps its PIN entries, which now tell no token's full serial
// number (so the PIN cache sends them to no token).
TEST_F(RecordStoreTest, AStoreOfTheFirstSchemaKeepsItsPinEntries) {
    const auto path = group.path() / "first.sqlite";
    {
        ensurePrivateFile(path);
        SqliteConnection first(path);
        first.execute("CREATE TABLE PinEntry (id INTEGER PRIMARY KEY AUTOINCREMENT, serial TEXT NOT NULL UNIQUE, "
                      "encryptedPin BLOB NOT NULL); INSERT INTO PinEntry (serial, encryptedPin) VALUES ('S', x'0102'); "
                      "PRAGMA user_version = 1;");
    }
    PinCodeStorage migrated(std::make_shared<ModelContainer>(path));
    const auto entry = migrated.getPin("S");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->encryptedPin, Bytes({1, 2}));
    EXPECT_EQ(entry->serialNumber, std::nullopt);
    migrated.savePin("S", {3}, "0001");
    EXPECT_EQ(migrated.getPin("S")->serialNumber, "0001");
}

TEST_F(RecordStoreTest, ANewerSchemaIsRefused) {
    executeThroughFreshConnection("PRAGMA user_version = 99");
    EXPECT_THROW(ModelContainer{container->path()}, SqliteError);
}

// Processes that sync the same new token at the same moment must not both insert it, or
// getToken would fail for that serial from then on.
TEST_F(RecordStoreTest, ConcurrentProcessesSyncingANewTokenInsertItOnce) {
    constexpr int processes = 4;
    const auto reports = test_support::runInForkedProcesses(processes, [&](int) {
        TokenStorage own(std::make_shared<ModelContainer>(container->path()));
        for (int round = 0; round < 20; ++round) {
            own.syncToken(token("RACE" + std::to_string(round)));
        }
        return std::string();
    });
    EXPECT_EQ(reports, std::vector<std::string>(processes, ""));
    for (int round = 0; round < 20; ++round) {
        EXPECT_NO_THROW(tokens.getToken("RACE" + std::to_string(round)));
    }
    EXPECT_EQ(tokens.listTokens().size(), 20u);
}

// Programs that start at the same moment on a group directory without a record store all open
// it: one of them makes it, none is turned away while another sets it up.
TEST_F(RecordStoreTest, ProcessesOpeningANewStoreAtOnceAllOpenIt) {
    constexpr int processes = 4;
    for (int round = 0; round < 10; ++round) {
        const auto path = group.path() / ("fresh-" + std::to_string(round) + ".sqlite");
        const auto reports = test_support::runInForkedProcesses(processes, [&](int) {
            TokenStorage own(std::make_shared<ModelContainer>(path));
            return std::to_string(own.listTokens().size());
        });
        ASSERT_EQ(reports, std::vector<std::string>(processes, "0")) << "round " << round;
    }
}

TEST(RecordStoreRegistryDeathTest, UsingAStoreBeforeTheEntryInstalledOneStops) {
    EXPECT_DEATH(Dependencies::get(tokenStorage), "TokenStorage.liveValue не реализован");
    EXPECT_DEATH(Dependencies::get(credentialsStorage), "CredentialsStorage.liveValue не реализован");
    EXPECT_DEATH(Dependencies::get(pinCodeStorage), "PinCodeStorage.liveValue не реализован");
}

} // namespace
