// The process's virtual token library: at most one initialised module at a time, created by
// C_Initialize from the configuration that KEYVANE_VIRTUAL_TOKEN_CONFIG names and ended by
// C_Finalize. A call that runs while C_Finalize ends the module keeps it alive until it returns.
#pragma once

#include "Module.h"

#include <memory>
#include <mutex>

namespace virtual_token {

class Library {
public:
    static Library& instance();

    // arguments: what the entry point found wrong with C_Initialize's arguments (CKR_OK when
    // nothing); it counts only once the library is known not to run yet.
    CK_RV initialize(CK_RV arguments);
    CK_RV finalize(CK_RV arguments);

    // Empty when the library is not initialised.
    std::shared_ptr<Module> current();

private:
    std::mutex mutex_;
    std::shared_ptr<Module> module_;
};

}  // namespace virtual_token
