#pragma once

class QQmlEngine;

namespace keyvane::views {

// Makes the shared views (QML module Keyvane.Views) available to an engine.
void installViews(QQmlEngine& engine);

} // namespace keyvane::views
