#include "shared/dependencies/DependencyRegistry.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// The views render offscreen on the software backend: no display, no GPU, no shader effects.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    keyvane::Dependencies::setContext(keyvane::DependencyContext::test);
    QGuiApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
