#pragma once

class QQmlEngine;

namespace keyvane::ext::views {

// Makes the extension's views (QML module Keyvane.Extension) and the shared views they host
// available to an engine.
void installExtensionViews(QQmlEngine& engine);

} // namespace keyvane::ext::views
