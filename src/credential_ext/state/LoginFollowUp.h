#pragma once

#include "credential_ext/state/AppAction.h"
#include "credential_ext/state/AppState.h"

#include <optional>
#include <string>

namespace keyvane::ext {

// What the window sends once the login sheet reports the token it unlocked, by the purpose the
// state records: the registration on that token, the sign-in with the chosen passkey (whose
// token it must be), or the refresh of that token's passkeys. Nothing when no login is pending,
// or when the unlocked token is not the chosen passkey's.
std::optional<AppAction> loginFollowUp(const AppState& state, const std::string& unlockedSerial);

} // namespace keyvane::ext
