#pragma once

#include <p11-kit/pkcs11.h>

namespace keyvane {

static_assert(sizeof(CK_ULONG) == 8, "Keyvane expects the 64-bit CK_ULONG of LP64 platforms");

// The vendor entry point: fills the extended token information record of a slot.
using Pkcs11GetTokenInfoExtended = CK_RV (*)(CK_SLOT_ID slot, CK_BYTE_PTR record);

// What the layer calls: a module's standard function list and, where the module has it, the
// vendor function. A loaded module gives both; tests give a scripted table instead.
struct Pkcs11Functions {
    CK_FUNCTION_LIST_PTR list = nullptr;
    Pkcs11GetTokenInfoExtended getTokenInfoExtended = nullptr; // absent on most modules
};

} // namespace keyvane
