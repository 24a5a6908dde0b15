#include "files/TemporaryGroupDirectory.h"

#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"
#include "shared/preferences/PreferencesFile.h"
#include "shared/preferences/UserDefaultsManager.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace keyvane;

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

TEST_F(UserDefaultsManagerTest, AGroupReadableFileIsRefused) {
    defaults.set(true, UserDefaultsKey::isBioEnabled);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    EXPECT_EQ(defaults.value<bool>(UserDefaultsKey::isBioEnabled), std::nullopt);
}

} // namespace
