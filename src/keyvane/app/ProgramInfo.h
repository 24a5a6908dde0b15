#pragma once

#include "keyvane/viewmodels/AboutViewModel.h"

namespace keyvane::app {

// The build that runs (version, build number, commit), as the build configured it.
BuildInfo programBuildInfo();
// Where the About sheet sends people for help, as the build configured it.
AboutConfiguration programAboutConfiguration();

} // namespace keyvane::app
