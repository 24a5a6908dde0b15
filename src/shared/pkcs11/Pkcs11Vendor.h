#pragma once

// The token maker's additions to PKCS#11 that Keyvane relies on. The standard names come
// from p11-kit's pkcs11.h; these are not in it.

#include <p11-kit/pkcs11.h>

#include <cstddef>
#include <cstdint>

namespace keyvane::pkcs11_vendor {

// The record that C_EX_GetTokenInfoExtended fills: the caller zero-fills it and sets its
// first 8-byte word to the record's size. Words are read at these offsets, nothing more is
// assumed of its layout.
inline constexpr std::size_t extendedInfoSize = 256;
inline constexpr std::size_t extendedInfoFlagsOffset = 40;
inline constexpr std::size_t extendedInfoUserPinAttemptsOffset = 104;
inline constexpr std::size_t extendedInfoTokenClassOffset = 208;

// Flag of the extended record: key operations need a touch on the token.
inline constexpr std::uint64_t extendedFlagTouchRequired = 0x200;

// Token classes that Keyvane supports.
inline constexpr std::uint64_t tokenClassA = 1;
inline constexpr std::uint64_t tokenClassB = 9;

// Hardware-feature object types.
inline constexpr CK_HW_FEATURE_TYPE hwFeatureModelName = 0x80000001UL;
inline constexpr CK_HW_FEATURE_TYPE hwFeatureTouchSettings = 0x80000007UL;

// Attributes.
inline constexpr CK_ATTRIBUTE_TYPE attributeSupportedInterface = 0x80003004UL; // declared, never read
inline constexpr CK_ATTRIBUTE_TYPE attributeModelName = 0x80003010UL;
inline constexpr CK_ATTRIBUTE_TYPE attributeTouchMode = 0x80003400UL;
inline constexpr CK_ATTRIBUTE_TYPE attributeTouchUserPresentTimeLimit = 0x80003401UL;
inline constexpr CK_ATTRIBUTE_TYPE attributeTouchUserActionTimeout = 0x80003402UL;

// Name of the optional vendor entry point that a module may export.
inline constexpr const char* getTokenInfoExtendedSymbol = "C_EX_GetTokenInfoExtended";

} // namespace keyvane::pkcs11_vendor
