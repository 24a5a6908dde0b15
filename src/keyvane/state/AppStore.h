#pragma once

#include "flowkeep/Store.h"
#include "keyvane/state/AppAction.h"
#include "keyvane/state/AppReducer.h"
#include "keyvane/state/AppState.h"

namespace keyvane::app {

// The program's store type: what the view models and the test driver hold, without knowing how
// the entry builds it.
using AppStore = flowkeep::Store<AppState, AppAction>;

} // namespace keyvane::app
