#pragma once

#include "credential_ext/state/AppAction.h"
#include "credential_ext/state/AppState.h"

namespace keyvane::ext {

// The extension's reducer: pure and synchronous. It keeps the request's login purpose and the
// touch countdown, and hands the cases it shares with the main program to LoginReduction
// (shared/login) with its alert, telling it that a sign-in waits for the chosen passkey's
// token.
struct AppReducer {
    AppState reduce(AppState state, const AppAction& action) const;
};

} // namespace keyvane::ext
