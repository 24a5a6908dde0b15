#pragma once

#include "shared/pkcs11/Pkcs11Library.h"
#include "shared/utils/Bytes.h"

#include <p11-kit/pkcs11.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace keyvane::testing {

// A PKCS#11 function table whose token is a script: one slot, in-memory objects, a PIN,
// injected failures and a log of every call with its thread. It shows what SoftHSM2 cannot:
// the vendor record, retry counts, failures of any call at any point.
//
// One instance at a time: the C entry points find it through a process-wide pointer.
class ScriptedModule {
public:
    static constexpr CK_SLOT_ID slot = 7;

    ScriptedModule();
    ~ScriptedModule();
    ScriptedModule(const ScriptedModule&) = delete;
    ScriptedModule& operator=(const ScriptedModule&) = delete;

    // A library over this table; with the vendor function when `withVendorFunction` is set.
    std::shared_ptr<Pkcs11Library> library();

    // Token information as C_GetTokenInfo answers it (fields padded with blanks).
    CK_TOKEN_INFO tokenInfo{};
    void setSerialField(const std::string& text);
    void setLabelField(const std::string& text);
    void setModelField(const std::string& text);
    void setSerialBytes(const Bytes& bytes);
    void setLabelBytes(const Bytes& bytes);

    std::vector<CK_MECHANISM_TYPE> mechanisms{CKM_EC_KEY_PAIR_GEN, CKM_ECDSA, CKM_SHA256};

    bool withVendorFunction = false;
    std::uint64_t vendorFlags = 0;
    std::uint64_t vendorAttemptsLeft = 0;
    std::uint64_t vendorTokenClass = 1;

    std::string userPin = "12345678";
    bool pinLocked = false;
    bool loggedIn = false;

    // Objects by handle; attribute values as raw bytes.
    std::map<CK_OBJECT_HANDLE, std::map<CK_ATTRIBUTE_TYPE, Bytes>> objects;
    CK_OBJECT_HANDLE addObject(std::map<CK_ATTRIBUTE_TYPE, Bytes> attributes);
    static Bytes ulong(CK_ULONG value);
    static Bytes boolean(bool value);

    // The length that C_GetAttributeValue reports for a length query, whatever the value.
    std::optional<CK_ULONG> reportedLength;
    // Answers more handles than asked for: a misbehaving module.
    bool overfillSearch = false;

    // The nth call (from 1) of the named function answers rv without doing anything.
    void failOn(const std::string& function, CK_RV rv, int nth = 1);

    struct Call {
        std::string function;
        std::thread::id thread;
    };
    std::vector<Call> calls() const;
    int count(const std::string& function) const;
    std::vector<std::string> functions() const;

    std::vector<CK_SESSION_HANDLE> openSessions;
    std::vector<CK_SESSION_HANDLE> closedSessions;
    // Whether each C_Login and each value pass of C_GetAttributeValue saw a NULL pointer.
    std::vector<bool> loginPinWasNull;
    std::vector<std::pair<bool, CK_ULONG>> attributeValuePointers; // (NULL?, length) per record

    // Entry points (public for the C trampolines).
    std::optional<CK_RV> enter(const char* function);
    CK_RV getTokenInfo(CK_TOKEN_INFO* info);
    CK_RV getMechanismList(CK_MECHANISM_TYPE* list, CK_ULONG* count);
    CK_RV openSession(CK_SESSION_HANDLE* session);
    CK_RV login(CK_UTF8CHAR* pin, CK_ULONG length);
    CK_RV findObjectsInit(CK_ATTRIBUTE* list, CK_ULONG count);
    CK_RV findObjects(CK_OBJECT_HANDLE* handles, CK_ULONG maximum, CK_ULONG* count);
    CK_RV createObject(CK_ATTRIBUTE* list, CK_ULONG count, CK_OBJECT_HANDLE* handle);
    CK_RV getAttributeValue(CK_OBJECT_HANDLE object, CK_ATTRIBUTE* list, CK_ULONG count);
    CK_RV destroyObject(CK_OBJECT_HANDLE object);
    CK_RV getTokenInfoExtended(CK_BYTE* record);

    std::vector<CK_OBJECT_HANDLE> searchResults;
    std::size_t searchPosition = 0;
    bool searchActive = false;

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::map<std::string, std::map<int, CK_RV>> failures_;
    std::map<std::string, int> counts_;
    CK_OBJECT_HANDLE nextObject_ = 1000;
    CK_SESSION_HANDLE nextSession_ = 500;
};

} // namespace keyvane::testing
