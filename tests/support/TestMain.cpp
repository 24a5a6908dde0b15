#include "shared/dependencies/DependencyRegistry.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests fork; the threadsafe style re-executes the program, which is safe with
    // the worker threads that the runtime starts.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    keyvane::Dependencies::setContext(keyvane::DependencyContext::test);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
