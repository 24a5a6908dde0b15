#pragma once

namespace keyvane {

struct PinCacheState {
    bool hasPins = false; // at least one token's PIN is cached
};

} // namespace keyvane
