#pragma once

#include "shared/model/DeviceKeyBackend.h"

namespace keyvane {

struct PinCacheState {
    bool hasPins = false; // at least one token's PIN is cached
    // What keeps the cached PINs from being read off the disk: the master-password settings
    // show it (a TPM, or a file that any process of the user can read).
    DeviceKeyBackend protection = DeviceKeyBackend::none;
};

} // namespace keyvane
