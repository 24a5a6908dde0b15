#pragma once

#include "keyvane/state/AppAction.h"
#include "middlewares/MiddlewareHarness.h"

namespace keyvane::testing {

using app::AppAction;

inline std::string describe(const AppAction& action) { return action.description(); }

} // namespace keyvane::testing
