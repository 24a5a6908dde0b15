#pragma once

#include "../../shared/views/SceneHarness.h"

#include "credential_ext/views/ExtensionViews.h"

#include <QQmlEngine>

namespace keyvane::ext::views::testing {

// One of the extension's views in an offscreen scene. Its module's types are registered once
// for the process, then every harness imports it.
inline keyvane::views::testing::SceneHarness extensionScene(const QString& viewType, QObject* model, QSize size,
                                                            int appearance = 0, bool animated = false) {
    static const bool registered = [] {
        QQmlEngine engine;
        installExtensionViews(engine);
        return true;
    }();
    (void)registered;
    return keyvane::views::testing::SceneHarness(viewType, {{QStringLiteral("model"), QVariant::fromValue(model)}},
                                                 size, appearance, animated, QStringLiteral("Keyvane.Extension"));
}

} // namespace keyvane::ext::views::testing
