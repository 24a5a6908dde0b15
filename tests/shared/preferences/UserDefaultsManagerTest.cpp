#include "LogCapture.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"
#include "shared/preferences/PreferencesFile.h"
#include "shared/preferences/UserDefaultsManager.h"

#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using namespace keyvane;
using keyvane::testing::LogCapture;

class UserDefaultsManagerTest : public ::testing::Test {
protected:
    test_support::TemporaryGroupDirectory group;
    UserDefaultsManager defaults;
    std::filesystem::path file = groupDirectory() / "preferences.json";
};

TEST_F(UserDefaultsManagerTest, ValuesKeepTheirTypes) {
    EXPECT_EQ(defaults.value<bool>(UserDefaultsKey::isBioEnabled), std::nullopt);
    defaults.set(true, UserDefaultsKey::isBioEnabled);
    defaults.set(2, UserDefaultsKey::onboardingStatus);
    EXPECT_EQ(defaults.value<bool>(UserDefaultsKey::isBioEnabled), true);
    EXPECT_EQ(defaults.value<int>(UserDefaultsKey::isBioEnabled), std::nullopt);
    EXPECT_EQ(defaults.value<int>(UserDefaultsKey::onboardingStatus), 2);
    EXPECT_EQ(defaults.value<bool>(UserDefaultsKey::onboardingStatus), std::nullopt);
    // The integer is a plain JSON integer, the Boolean a JSON Boolean.
    const auto text = readSecureFile(file);
    EXPECT_NE(text->find("\"onboardingStatus\": 2"), std::string::npos) << *text;
    EXPECT_NE(text->find("\"isBioEnabled\": true"), std::string::npos) << *text;

    defaults.removeValue(UserDefaultsKey::onboardingStatus);
    EXPECT_EQ(defaults.value<int>(UserDefaultsKey::onboardingStatus), std::nullopt);
    EXPECT_EQ(defaults.value<bool>(UserDefaultsKey::isBioEnabled), true);
}

TEST_F(UserDefaultsManagerTest, OnlyExactJsonTypesAreRead) {
    const struct {
        const char* json;
        std::optional<bool> asBool;
        std::optional<int> asInt;
    } cases[] = {
        {R"({"isBioEnabled": 1, "onboardingStatus": true})", std::nullopt, std::nullopt},
        {R"({"isBioEnabled": "true", "onboardingStatus": "2"})", std::nullopt, std::nullopt},
        {R"({"isBioEnabled": false, "onboardingStatus": 2.0})", false, std::nullopt},
        {R"({"isBioEnabled": null, "onboardingStatus": 99999999999})", std::nullopt, std::nullopt},
        {R"([true, 2])", std::nullopt, std::nullopt},
        {R"({"onboardingStatus": 4)", std::nullopt, std::nullopt},
    };
    for (const auto& row : cases) {
        writeSecureFile(file, row.json);
        EXPECT_EQ(defaults.value<bool>(UserDefaultsKey::isBioEnabled), row.asBool) << row.json;
        EXPECT_EQ(defaults.value<int>(UserDefaultsKey::onboardingStatus), row.asInt) << row.json;
    }
    // A write keeps the other deliverable's keys.
    writeSecureFile(file, R"({"someoneElse": "kept", "isBioEnabled": true})");
    defaults.set(1, UserDefaultsKey::onboardingStatus);
    EXPECT_EQ(std::get<std::string>(parsePreferencesFile(*readSecureFile(file))->at("someoneElse")), "kept");
    EXPECT_EQ(defaults.value<bool>(UserDefaultsKey::isBioEnabled), true);
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

// A refused or damaged file is not "nothing stored": the keys read as their defaults, the
// state says so, the problem is logged with the file's path, and the next write replaces the
// file with a private one.
TEST_F(UserDefaultsManagerTest, ARefusedOrDamagedFileIsLoggedReadAsDefaultsAndReplacedByTheNextWrite) {
    const struct {
        const char* name;
        const char* json;
        mode_t mode;
        const char* logged;
    } cases[] = {
        {"group can read it", R"({"onboardingStatus": 2, "isBioEnabled": true})", 0640, "other users"},
        {"others can write it", R"({"onboardingStatus": 2, "isBioEnabled": true})", 0602, "other users"},
        {"unparsable", R"({"onboardingStatus": 2)", 0600, "not a JSON object"},
        {"not an object", R"([2, true])", 0600, "not a JSON object"},
        {"wrong types", R"({"onboardingStatus": "2", "isBioEnabled": 1})", 0600, "another type"},
        {"no preference type", R"({"onboardingStatus": null, "isBioEnabled": [true]})", 0600, "another type"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        LogCapture log;
        writeSecureFile(file, row.json);
        ASSERT_EQ(::chmod(file.c_str(), row.mode), 0);
        UserDefaultsManager fresh;
        for (const auto key : {UserDefaultsKey::onboardingStatus, UserDefaultsKey::isBioEnabled}) {
            EXPECT_EQ(fresh.state(key), PreferenceState::unreadable);
        }
        EXPECT_EQ(fresh.value<int>(UserDefaultsKey::onboardingStatus), std::nullopt);
        EXPECT_EQ(fresh.value<bool>(UserDefaultsKey::isBioEnabled), std::nullopt);
        EXPECT_NE(log.text().find(file.string()), std::string::npos) << log.text();
        EXPECT_NE(log.text().find(row.logged), std::string::npos) << log.text();

        fresh.set(3, UserDefaultsKey::onboardingStatus);
        EXPECT_EQ(modeOf(file), 0600u);
        EXPECT_EQ(fresh.state(UserDefaultsKey::onboardingStatus), PreferenceState::stored);
        EXPECT_EQ(fresh.value<int>(UserDefaultsKey::onboardingStatus), 3);
        EXPECT_EQ(fresh.state(UserDefaultsKey::isBioEnabled), PreferenceState::absent);
    }
}

TEST_F(UserDefaultsManagerTest, ASymbolicLinkIsNeitherFollowedNorReplacedAndSaysSo) {
    const auto elsewhere = group.path().parent_path() / "elsewhere.json";
    writeSecureFile(elsewhere, R"({"onboardingStatus": 4})");
    std::filesystem::create_symlink(elsewhere, file);
    LogCapture log;
    EXPECT_EQ(defaults.state(UserDefaultsKey::onboardingStatus), PreferenceState::unreadable);
    EXPECT_EQ(defaults.value<int>(UserDefaultsKey::onboardingStatus), std::nullopt);
    EXPECT_NE(log.text().find(file.string() + ": is a symbolic link"), std::string::npos) << log.text();
    EXPECT_NE(log.text().find("left as it is"), std::string::npos) << log.text();

    log.clear();
    defaults.set(1, UserDefaultsKey::onboardingStatus);
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(readSecureFile(elsewhere), R"({"onboardingStatus": 4})");
    EXPECT_NE(log.text().find("left as it is"), std::string::npos) << log.text();
}

TEST_F(UserDefaultsManagerTest, NothingStoredIsAbsentAndLogsNothing) {
    LogCapture log;
    EXPECT_EQ(defaults.state(UserDefaultsKey::onboardingStatus), PreferenceState::absent);
    defaults.set(true, UserDefaultsKey::isBioEnabled);
    EXPECT_EQ(defaults.state(UserDefaultsKey::onboardingStatus), PreferenceState::absent);
    EXPECT_EQ(defaults.state(UserDefaultsKey::isBioEnabled), PreferenceState::stored);
    EXPECT_EQ(log.text(), "");
}

} // namespace
