// The virtual token seen from a PKCS#11 client, for tests: the module loaded as a product loads
// a vendor module, and the calls that tests make again and again (open a session, log in, list
// slots, search, read attributes, make a P-256 key pair, sign with CKM_ECDSA_SHA256). The
// helpers check the steps that must succeed with non-fatal expectations, so a test reads as what
// it asserts.
#pragma once

#include "VendorConstants.h"

#include <p11-kit/pkcs11.h>

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace keyvane::testing {

struct VirtualTokenModule {
    CK_FUNCTION_LIST_PTR functions = nullptr;
    VT_C_EX_GetTokenInfoExtended extended = nullptr;
};

// Loaded with dlopen on first use and never closed; throws std::runtime_error when the module
// cannot be loaded or lacks its entry points.
const VirtualTokenModule& virtualTokenModule();

// C_Initialize's arguments for a client that lets the module use the operating system's locks.
CK_C_INITIALIZE_ARGS osLockingArguments();

// The vendor record that C_EX_GetTokenInfoExtended fills.
struct ExtendedRecord {
    std::array<unsigned char, VT_EXTENDED_INFO_SIZE> bytes{};

    CK_ULONG word(std::size_t offset) const;
};

// A P-256 key pair on the token, with its public point (04 || X || Y).
struct TokenKeyPair {
    CK_OBJECT_HANDLE publicKey = 0;
    CK_OBJECT_HANDLE privateKey = 0;
    std::vector<unsigned char> point;
};

class Pkcs11Client {
public:
    explicit Pkcs11Client(const VirtualTokenModule& module = virtualTokenModule()) : module_(module) {}

    CK_FUNCTION_LIST_PTR functions() const { return module_.functions; }

    // A read-write session; expects it to open.
    CK_SESSION_HANDLE openSession(CK_SLOT_ID slot) const;
    CK_RV login(CK_SESSION_HANDLE session, std::string pin) const;
    // The vendor record of a slot, asked for with the given record size.
    std::pair<CK_RV, ExtendedRecord> extendedInfo(CK_SLOT_ID slot, CK_ULONG size = VT_EXTENDED_INFO_SIZE) const;
    std::vector<CK_SLOT_ID> slotList(CK_BBOOL tokenPresent) const;

    // A whole search, in batches; expects each step to succeed.
    std::vector<CK_OBJECT_HANDLE> find(CK_SESSION_HANDLE session, std::vector<CK_ATTRIBUTE> attributes) const;
    std::vector<CK_OBJECT_HANDLE> findHardwareFeature(CK_SESSION_HANDLE session, CK_ULONG type) const;
    // The two-pass read of a byte-string attribute.
    std::pair<CK_RV, std::vector<unsigned char>> readBytes(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                                                           CK_ATTRIBUTE_TYPE type) const;
    CK_ULONG readUlong(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const;

    // A token key pair for signing (the session must be logged in); expects it to be made.
    TokenKeyPair generateKeyPair(CK_SESSION_HANDLE session) const;
    // A raw r || s signature over SHA-256(data), after a length query.
    std::pair<CK_RV, std::vector<unsigned char>> signSha256(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE key,
                                                            const std::string& data) const;

private:
    const VirtualTokenModule& module_;
};

}  // namespace keyvane::testing
