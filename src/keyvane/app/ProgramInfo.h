#pragma once

#include "shared/viewmodels/AboutViewModel.h"

namespace keyvane::app {

// The build that runs (version, build number, commit), as the build configured it.
views::BuildInfo programBuildInfo();
// Where the About sheet sends people for help, as the build configured it.
views::AboutConfiguration programAboutConfiguration();

} // namespace keyvane::app
