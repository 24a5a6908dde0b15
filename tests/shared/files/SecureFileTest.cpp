#include "ForkedProcesses.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/files/FileError.h"
#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>

namespace {

using namespace keyvane;
namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

class SecureFileTest : public ::testing::Test {
protected:
    test_support::TemporaryGroupDirectory group;
    fs::path directory = groupDirectory();
};

TEST_F(SecureFileTest, GroupDirectoryIsCreatedPrivateAndNarrowedWhenOpen) {
    EXPECT_EQ(directory, group.path());
    EXPECT_EQ(modeOf(directory), 0700u);
    ASSERT_EQ(::chmod(directory.c_str(), 0755), 0);
    groupDirectory();
    EXPECT_EQ(modeOf(directory), 0700u);
}

TEST_F(SecureFileTest, WritesArePrivateAndReplaceTheWholeFile) {
    const fs::path file = directory / "item.json";
    EXPECT_EQ(readSecureFile(file), std::nullopt);
    writeSecureFile(file, "first, longer content");
    writeSecureFile(file, "second");
    EXPECT_EQ(readSecureFile(file), "second");
    EXPECT_EQ(modeOf(file), 0600u);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1);
    EXPECT_TRUE(removeSecureFile(file));
    EXPECT_FALSE(removeSecureFile(file));
}

TEST_F(SecureFileTest, FilesOthersCanUseAndSymbolicLinksAreRefused) {
    const fs::path file = directory / "item.json";
    writeSecureFile(file, "secret");
    for (const mode_t mode : {0640, 0604, 0620, 0602}) {
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        EXPECT_THROW(readSecureFile(file), FileError) << std::oct << mode;
    }
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);

    const fs::path link = directory / "link.json";
    fs::create_symlink(file, link);
    EXPECT_THROW(readSecureFile(link), FileError);
    EXPECT_THROW(FileLock{link}, FileError);
    EXPECT_THROW(ensurePrivateFile(link), FileError);
    // Writing over a link replaces the link, never the file it points to.
    writeSecureFile(link, "replaced");
    EXPECT_EQ(readSecureFile(file), "secret");
    EXPECT_FALSE(fs::is_symlink(link));
}

FileError::Kind kindOfFailure(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const FileError& error) {
        return error.kind;
    }
    ADD_FAILURE() << "no FileError";
    return FileError::Kind::failed;
}

TEST_F(SecureFileTest, AWriteWhoseDirectorySyncFailsSaysItLanded) {
    const fs::path file = directory / "item.json";
    writeSecureFile(file, "old");
    {
        DirectorySyncFailureForTesting failingDisk(EIO);
        try {
            writeSecureFile(file, "new");
            ADD_FAILURE() << "the failed directory fsync was not reported";
        } catch (const FileError& error) {
            EXPECT_TRUE(error.landed());
            EXPECT_NE(error.description().find("in place"), std::string::npos) << error.description();
        }
        EXPECT_EQ(readSecureFile(file), "new");
        EXPECT_EQ(kindOfFailure([&] { removeSecureFile(file); }), FileError::Kind::landedNotDurable);
        EXPECT_FALSE(fs::exists(file));
    }
    // A write that fails before its rename changed nothing, and says so.
    const auto kind = kindOfFailure([&] { writeSecureFile(directory / "missing" / "item.json", "new"); });
    EXPECT_EQ(kind, FileError::Kind::failed);
}

TEST_F(SecureFileTest, AnUpdateSeesTheCurrentContentAndWritesOnlyWhatItIsGiven) {
    const fs::path file = directory / "item.json";
    std::vector<std::optional<std::string>> seen;
    const auto append = [&](const std::optional<std::string>& current) -> std::optional<std::string> {
        seen.push_back(current);
        return current.value_or("") + "+";
    };
    EXPECT_EQ(updateSecureFile(file, append), FileUpdate::written);
    EXPECT_EQ(updateSecureFile(file, append), FileUpdate::written);
    EXPECT_EQ(updateSecureFile(file, [](const auto&) { return std::optional<std::string>(); }), FileUpdate::unchanged);
    EXPECT_EQ(seen, (std::vector<std::optional<std::string>>{std::nullopt, "+"}));
    EXPECT_EQ(readSecureFile(file), "++");
    EXPECT_EQ(modeOf(lockPathFor(file)), 0600u);
    EXPECT_EQ(lockPathFor(directory / "keychain-group.a.json"), directory / "keychain-group.a.lock");

    // A change that throws leaves the file as it was.
    EXPECT_THROW(updateSecureFile(file, [](const auto&) -> std::optional<std::string> { throw std::runtime_error("x"); }),
                 std::runtime_error);
    EXPECT_EQ(readSecureFile(file), "++");
}

TEST_F(SecureFileTest, AnUpdateReplacesARefusedFileOnlyWhenAskedAndNeverALink) {
    const fs::path file = directory / "item.json";
    writeSecureFile(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    const auto replace = [](const std::optional<std::string>& current) -> std::optional<std::string> {
        EXPECT_EQ(current, std::nullopt);
        return "new";
    };
    EXPECT_EQ(kindOfFailure([&] { updateSecureFile(file, replace); }), FileError::Kind::refused);
    EXPECT_EQ(modeOf(file), 0644u);
    EXPECT_EQ(updateSecureFile(file, replace, RefusedFile::replace), FileUpdate::written);
    EXPECT_EQ(readSecureFile(file), "new");
    EXPECT_EQ(modeOf(file), 0600u);

    const fs::path link = directory / "link.json";
    fs::create_symlink(file, link);
    EXPECT_EQ(kindOfFailure([&] { updateSecureFile(link, replace, RefusedFile::replace); }),
              FileError::Kind::symbolicLink);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readSecureFile(file), "new");
}

// Read-modify-write under the lock from several processes loses no update.
TEST_F(SecureFileTest, LockedUpdatesFromSeveralProcessesAreAllKept) {
    const fs::path counter = directory / "counter";
    const fs::path lock = lockPathFor(counter);
    writeSecureFile(counter, "0");
    constexpr int processes = 4;
    constexpr int rounds = 50;
    const auto reports = test_support::runInForkedProcesses(processes, [&](int) {
        for (int round = 0; round < rounds; ++round) {
            updateSecureFile(counter, [](const std::optional<std::string>& current) {
                return std::optional(std::to_string(std::stoi(*current) + 1));
            });
        }
        return std::string();
    });
    EXPECT_EQ(reports, std::vector<std::string>(processes, ""));
    EXPECT_EQ(readSecureFile(counter), std::to_string(processes * rounds));
    EXPECT_EQ(modeOf(lock), 0600u);
}

// Shared holders exclude an exclusive one and nothing else, within one process as between two.
TEST_F(SecureFileTest, SharedLocksExcludeOnlyAnExclusiveHolder) {
    using Mode = SharedFileLock::Mode;
    const fs::path lock = directory / "token.lock";
    const auto available = [&](Mode mode) { return SharedFileLock::tryTake(lock, mode).has_value(); };
    struct Case {
        std::vector<Mode> held;
        bool sharedAvailable;
        bool exclusiveAvailable;
    };
    for (const Case& c : {Case{{}, true, true}, Case{{Mode::shared}, true, false},
                          Case{{Mode::shared, Mode::shared}, true, false}, Case{{Mode::exclusive}, false, false}}) {
        SCOPED_TRACE(c.held.size());
        std::vector<SharedFileLock> holders;
        for (const Mode mode : c.held) {
            holders.push_back(SharedFileLock::take(lock, mode));
        }
        EXPECT_EQ(available(Mode::shared), c.sharedAvailable);
        EXPECT_EQ(available(Mode::exclusive), c.exclusiveAvailable);
        const auto reports = test_support::runInForkedProcesses(1, [&](int) {
            return std::string(available(Mode::exclusive) ? "exclusive" : "busy");
        });
        EXPECT_EQ(reports, std::vector<std::string>{c.exclusiveAvailable ? "exclusive" : "busy"});
    }
    EXPECT_TRUE(available(Mode::exclusive)) << "every holder let go";
    EXPECT_EQ(modeOf(lock), 0600u);

    const fs::path link = directory / "link.lock";
    fs::create_symlink(lock, link);
    EXPECT_THROW(SharedFileLock::tryTake(link, Mode::exclusive), FileError);
}

} // namespace
