#include "keyvane/app/KeyvaneApp.h"

#include "../middlewares/TokenFakes.h"

#include "flowkeep/VirtualClockExecutor.h"
#include "keyvane/middlewares/OnAppLaunched.h"
#include "keyvane/middlewares/OnEnableExtension.h"
#include "keyvane/middlewares/OnFirstLaunch.h"
#include "keyvane/middlewares/OnHandleAppState.h"
#include "keyvane/middlewares/OnResetPersistentData.h"
#include "shared/redux/middlewares/TokenMonitoring.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>


#include <cstdlib>

namespace keyvane::app {
namespace {

TEST(KeyvaneAppTest, OnlyAnExactArgumentSwitchesToTheTestMode) {
    EXPECT_TRUE(isUiTesting({"keyvane", "UI-Testing"}));
    EXPECT_FALSE(isUiTesting({"keyvane"}));
    EXPECT_FALSE(isUiTesting({"keyvane", "--UI-Testing"}));
    EXPECT_FALSE(isUiTesting({"keyvane", "UI-Testing2"}));
    EXPECT_FALSE(isUiTesting({"keyvane", "ui-testing"}));
}

TEST(KeyvaneAppTest, TheTestModeLeavesOutTheLastFourMiddlewares) {
    flowkeep::VirtualClockExecutor clock;
    testing::TokenServices services;
    DependencyScope scope;
    services.fillAll(scope);
    const auto full = KeyvaneApp::makeMiddlewares(clock, false);
    const auto testing = KeyvaneApp::makeMiddlewares(clock, true);
    ASSERT_EQ(full.size(), 21u);
    ASSERT_EQ(testing.size(), 17u);
    EXPECT_NE(dynamic_cast<OnStartMonitoring<AppAction>*>(full[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<OnResetPersistentData*>(testing[16].get()), nullptr);
    EXPECT_NE(dynamic_cast<OnAppLaunched*>(full[17].get()), nullptr);
    EXPECT_NE(dynamic_cast<OnHandleAppState*>(full[18].get()), nullptr);
    EXPECT_NE(dynamic_cast<OnFirstLaunch*>(full[19].get()), nullptr);
    EXPECT_NE(dynamic_cast<OnEnableExtension*>(full[20].get()), nullptr);
}

TEST(KeyvaneAppTest, AGroupDirectoryThatCannotHoldTheObjectStoreStopsBeforeAStoreExists) {
    test_support::TemporaryFolder temporary;
    const auto blocked = (temporary / "not-a-directory").string();
    { std::FILE* file = std::fopen(blocked.c_str(), "w"); ASSERT_NE(file, nullptr); std::fclose(file); }
    ::setenv("KEYVANE_GROUP_DIR", blocked.c_str(), 1);
    flowkeep::VirtualClockExecutor clock;
    try {
        KeyvaneApp app({"keyvane", "UI-Testing"}, clock);
        ADD_FAILURE() << "the program was built over a group folder that is a file";
    } catch (const Error& error) {
        // The entry prints this description: it must say which folder and why.
        EXPECT_NE(error.description().find(blocked), std::string::npos) << error.description();
        EXPECT_NE(error.description().find("not a directory"), std::string::npos) << error.description();
    }
    ::unsetenv("KEYVANE_GROUP_DIR");
}

} // namespace
} // namespace keyvane::app
