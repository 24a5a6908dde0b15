#pragma once

#include "shared/utils/Bytes.h"

namespace keyvane {

// A new credential identifier: the UTF-8 of a random UUID in upper case with hyphens, 36 bytes.
// It is also the CKA_ID of the passkey's private key.
Bytes makeCredentialId();

} // namespace keyvane
