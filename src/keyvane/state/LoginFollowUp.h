#pragma once

#include "keyvane/state/AppAction.h"
#include "keyvane/state/AppState.h"

#include <optional>
#include <string>

namespace keyvane::app {

// What the window sends once the login sheet reports the token it unlocked, by the purpose the
// state records: the refresh of that token's passkeys, or the deletion the user confirmed.
// Nothing when no login is pending.
std::optional<AppAction> loginFollowUp(const AppState& state, const std::string& unlockedSerial);

} // namespace keyvane::app
