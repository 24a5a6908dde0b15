#pragma once

class QQmlEngine;

namespace keyvane::app {

// Makes the main window's views (QML module Keyvane.MainWindow) and the shared views they
// present available to an engine.
void installMainWindowViews(QQmlEngine& engine);

} // namespace keyvane::app
