#pragma once

#include "credential_ext/state/AppAction.h"
#include "credential_ext/state/AppState.h"

namespace keyvane::ext {

// The extension's reducer: pure and synchronous. The login sheet's pane machine is the one
// the main program uses (LoginPaneMachine); the extension tells it that a sign-in waits for
// the chosen passkey's token.
struct AppReducer {
    AppState reduce(AppState state, const AppAction& action) const;
};

} // namespace keyvane::ext
