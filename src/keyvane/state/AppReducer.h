#pragma once

#include "keyvane/state/AppAction.h"
#include "keyvane/state/AppState.h"

namespace keyvane::app {

// The main program's reducer: pure and synchronous. It keeps the program's navigation
// (onboarding, settings sheet, login purpose) and hands the cases it shares with the extension
// to LoginReduction (shared/login) with its alert, telling it the token a deletion must log in
// to.
struct AppReducer {
    AppState reduce(AppState state, const AppAction& action) const;
};

} // namespace keyvane::app
