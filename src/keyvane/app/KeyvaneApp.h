#pragma once

#include "flowkeep/MainExecutor.h"
#include "keyvane/state/AppStore.h"

#include <memory>
#include <string>
#include <vector>

namespace keyvane::app {

// The launch argument that switches the program into the user-interface test mode. Only an
// argument equal to it counts, never one that merely contains it.
inline constexpr const char* uiTestingArgument = "UI-Testing";
bool isUiTesting(const std::vector<std::string>& arguments);

// The program's one store and what it is built from. Creating it opens the object store in
// the group directory (throws its error when that fails), installs the three object-store
// services in the registry, builds the store with the middleware list and sends appLaunched;
// under the test mode it hands the store to TestsLauncher instead (which throws
// TestNotImplemented for an unknown UI_TEST_CASE).
class KeyvaneApp {
public:
    KeyvaneApp(const std::vector<std::string>& arguments, flowkeep::MainExecutor& executor);

    AppStore& store() { return *store_; }
    bool uiTesting() const { return uiTesting_; }

    // The middleware list in its order; the test mode leaves out the last four.
    static AppStore::MiddlewareList makeMiddlewares(flowkeep::MainExecutor& executor, bool uiTesting);

private:
    bool uiTesting_;
    std::unique_ptr<AppStore> store_;
};

} // namespace keyvane::app
