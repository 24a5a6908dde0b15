#pragma once

#include "keyvane/state/AppAction.h"
#include "keyvane/state/AppState.h"

namespace keyvane::app {

// The main program's reducer: pure and synchronous. Besides plain field updates it holds the
// login window's pane machine, which decides from the token events, the login purpose and
// the master-password state which pane the login window shows.
struct AppReducer {
    AppState reduce(AppState state, const AppAction& action) const;
};

} // namespace keyvane::app
