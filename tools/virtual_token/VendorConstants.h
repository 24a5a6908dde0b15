/* Vendor values of the emulated token family, shared by the virtual token and its tests.
 * Plain C so that any PKCS#11 client can use it; the product keeps its own copy and never
 * includes this file. */
#ifndef KEYVANE_VIRTUAL_TOKEN_VENDOR_CONSTANTS_H
#define KEYVANE_VIRTUAL_TOKEN_VENDOR_CONSTANTS_H

#include <p11-kit/pkcs11.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The extended token information record: 256 bytes, zero-filled by the caller, whose first
 * 8-byte word holds the record's size. Every field is an 8-byte word at a fixed offset. */
#define VT_EXTENDED_INFO_SIZE 256u
#define VT_EXTENDED_INFO_SIZE_OFFSET 0u
#define VT_EXTENDED_INFO_FLAGS_OFFSET 40u
#define VT_EXTENDED_INFO_USER_PIN_ATTEMPTS_OFFSET 104u
#define VT_EXTENDED_INFO_TOKEN_CLASS_OFFSET 208u

/* Flag word bit: key operations need a touch on the token. */
#define VT_EXTENDED_FLAG_TOUCH 0x200ul

/* Hardware-feature object types (CKA_HW_FEATURE_TYPE). */
#define VT_HW_FEATURE_MODEL 0x80000001ul
#define VT_HW_FEATURE_TOUCH_SETTINGS 0x80000007ul

/* Vendor attributes of those objects. */
#define VT_ATTR_SUPPORTED_INTERFACE 0x80003004ul
#define VT_ATTR_MODEL_NAME 0x80003010ul
#define VT_ATTR_TOUCH_MODE 0x80003400ul
#define VT_ATTR_TOUCH_USER_PRESENT_TIME_LIMIT 0x80003401ul
#define VT_ATTR_TOUCH_USER_ACTION_TIMEOUT 0x80003402ul

/* C_EX_GetTokenInfoExtended(slot, record): fills the record for the token in the slot. */
typedef CK_RV (*VT_C_EX_GetTokenInfoExtended)(CK_SLOT_ID slotID, CK_BYTE_PTR record);
#define VT_EXTENDED_INFO_FUNCTION_NAME "C_EX_GetTokenInfoExtended"

#ifdef __cplusplus
}
#endif

#endif
