#include "TemporaryFolder.h"
#include "shared/dependencies/DependencyRegistry.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests fork; the threadsafe style re-executes the program, which is safe with
    // the worker threads that the runtime starts.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    keyvane::Dependencies::setContext(keyvane::DependencyContext::test);

    // A test that forgets to set its own group folder still never reaches the user's data.
    std::optional<keyvane::test_support::TemporaryFolder> groupDir;
    if (std::getenv("KEYVANE_GROUP_DIR") == nullptr) {
        groupDir.emplace("keyvane-test-group");
        ::setenv("KEYVANE_GROUP_DIR", groupDir->path().c_str(), 1);
    }

    int result = 0;
    {
        QCoreApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
