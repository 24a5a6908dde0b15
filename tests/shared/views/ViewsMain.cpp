#include "QmlWarnings.h"
#include "shared/dependencies/DependencyRegistry.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// The views render offscreen on the software backend: no display, no GPU, no shader effects.
// A QML warning while a test runs fails that test.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    keyvane::views::testing::failOnQmlWarnings(
        [](const QString& warning) { ADD_FAILURE() << "QML warning: " << warning.toStdString(); });
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    keyvane::Dependencies::setContext(keyvane::DependencyContext::test);
    QGuiApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
