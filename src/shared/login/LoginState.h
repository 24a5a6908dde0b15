#pragma once

#include "shared/redux/CredentialListState.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/MasterPasswordState.h"
#include "shared/redux/PinCacheState.h"

namespace keyvane {

// What both programs' states hold for the login: the login window (its pane, the connected
// tokens, the outcomes, the login in flight), the stored tokens and passkeys, the PIN cache
// and the master password. Each program's AppState derives from it, so these fields keep their
// paths (`state.loginViewState`, ...) and the shared reducer works on the program's state
// itself.
struct LoginState {
    LoginViewState loginViewState;
    CredentialListState credentialListState;
    PinCacheState pinCacheState;
    MasterPasswordState masterPasswordState = MasterPasswordState::disabled;
};

} // namespace keyvane
