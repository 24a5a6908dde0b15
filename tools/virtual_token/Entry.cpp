// The PKCS#11 entry points. Each one takes the current module, re-reads the control file,
// applies an injected fault if one is due, does its work (mostly forwarding to the backend) and
// logs itself with its thread. The module lock guards this module's own state only; backend
// calls run outside it, since the backend does its own locking and signing may wait for a touch.
#include "Module.h"
#include "VendorConstants.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#define VT_EXPORT extern "C" __attribute__((visibility("default")))

namespace virtual_token {
namespace {

std::mutex lifecycleMutex;
std::shared_ptr<Module> activeModule;

std::string slotTarget(CK_SLOT_ID slot) {
    return "slot=" + std::to_string(slot);
}

std::string sessionTarget(CK_SESSION_HANDLE session) {
    return "session=" + std::to_string(session);
}

// Runs one entry point: the body runs with the module's lock NOT held.
template <typename Body>
CK_RV guarded(const char* function, const std::string& target, Body&& body) {
    const auto current = currentModule();
    if (!current) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    std::optional<CK_RV> injected;
    {
        std::lock_guard lock(current->mutex);
        current->refreshControl();
        injected = current->takeFault(function);
    }
    CK_RV rv = CKR_GENERAL_ERROR;
    if (injected) {
        rv = *injected;
    } else {
        try {
            rv = body(*current);
        } catch (...) {
            // Nothing may escape a C entry point.
            rv = CKR_GENERAL_ERROR;
        }
    }
    current->log(function, target, rv);
    return rv;
}

// A slot index, or the return value that stands in its way (rv is then not CKR_OK).
struct SlotLookup {
    std::size_t index = 0;
    CK_RV rv = CKR_OK;
};

SlotLookup sessionSlot(Module& m, CK_SESSION_HANDLE session) {
    if (const auto it = m.sessions.find(session); it != m.sessions.end()) {
        return {it->second.slotIndex, CKR_OK};
    }
    return {0, m.removedSessions.contains(session) ? CKR_DEVICE_REMOVED : CKR_SESSION_HANDLE_INVALID};
}

template <typename Body>
CK_RV withSession(const char* function, CK_SESSION_HANDLE session, Body&& body) {
    return guarded(function, sessionTarget(session), [&](Module& m) -> CK_RV {
        std::size_t index = 0;
        {
            std::lock_guard lock(m.mutex);
            const auto slot = sessionSlot(m, session);
            if (slot.rv != CKR_OK) {
                return slot.rv;
            }
            index = slot.index;
        }
        return body(m, index);
    });
}

// The slot index of a present token, or the return value for an absent or unknown slot.
SlotLookup presentSlot(Module& m, CK_SLOT_ID slot) {
    std::lock_guard lock(m.mutex);
    const auto index = m.slotIndex(slot);
    if (!index) {
        return {0, CKR_SLOT_ID_INVALID};
    }
    if (!m.slots[*index].present) {
        return {0, CKR_TOKEN_NOT_PRESENT};
    }
    return {*index, CKR_OK};
}

template <std::size_t N>
void setField(unsigned char (&field)[N], const std::string& text) {
    std::memset(field, ' ', N);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

bool isVirtualHandle(Module& m, std::size_t index, CK_OBJECT_HANDLE handle, VirtualObject* found = nullptr) {
    for (auto& object : m.virtualObjects(index)) {
        if (object.handle == handle) {
            if (found) {
                *found = std::move(object);
            }
            return true;
        }
    }
    return false;
}

bool matches(const VirtualObject& object, const CK_ATTRIBUTE* attributes, CK_ULONG count) {
    for (CK_ULONG i = 0; i < count; ++i) {
        const auto* value = object.find(attributes[i].type);
        if (!value || value->size() != attributes[i].ulValueLen ||
            (!value->empty() && std::memcmp(value->data(), attributes[i].pValue, value->size()) != 0)) {
            return false;
        }
    }
    return true;
}

// Hardware-feature objects turn up in a search only when the template asks for that class.
bool asksForHardwareFeatures(const CK_ATTRIBUTE* attributes, CK_ULONG count) {
    for (CK_ULONG i = 0; i < count; ++i) {
        if (attributes[i].type == CKA_CLASS && attributes[i].ulValueLen == sizeof(CK_OBJECT_CLASS) &&
            attributes[i].pValue) {
            CK_OBJECT_CLASS objectClass = 0;
            std::memcpy(&objectClass, attributes[i].pValue, sizeof objectClass);
            return objectClass == CKO_HW_FEATURE;
        }
    }
    return false;
}

CK_RV readVirtualAttributes(const VirtualObject& object, CK_ATTRIBUTE_PTR attributes, CK_ULONG count) {
    CK_RV rv = CKR_OK;
    for (CK_ULONG i = 0; i < count; ++i) {
        auto& attribute = attributes[i];
        const auto* value = object.find(attribute.type);
        if (!value) {
            attribute.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            rv = CKR_ATTRIBUTE_TYPE_INVALID;
        } else if (!attribute.pValue) {
            attribute.ulValueLen = value->size();
        } else if (attribute.ulValueLen >= value->size()) {
            std::memcpy(attribute.pValue, value->data(), value->size());
            attribute.ulValueLen = value->size();
        } else {
            attribute.ulValueLen = CK_UNAVAILABLE_INFORMATION;
            if (rv == CKR_OK) {
                rv = CKR_BUFFER_TOO_SMALL;
            }
        }
    }
    return rv;
}

Digest newSha256() {
    Digest digest(EVP_MD_CTX_new());
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 unavailable");
    }
    return digest;
}

std::array<unsigned char, 32> finishCopy(const EVP_MD_CTX* context) {
    Digest copy(EVP_MD_CTX_new());
    std::array<unsigned char, 32> digest{};
    unsigned length = 0;
    if (!copy || EVP_MD_CTX_copy_ex(copy.get(), context) != 1 ||
        EVP_DigestFinal_ex(copy.get(), digest.data(), &length) != 1 || length != digest.size()) {
        throw std::runtime_error("SHA-256 failed");
    }
    return digest;
}

std::array<unsigned char, 32> sha256(const unsigned char* data, CK_ULONG length) {
    auto context = newSha256();
    if (length > 0 && EVP_DigestUpdate(context.get(), data, length) != 1) {
        throw std::runtime_error("SHA-256 failed");
    }
    return finishCopy(context.get());
}

// Whether a single-part call ended the operation (it stays for a length query or a short buffer).
bool operationEnded(CK_RV rv, const void* output) {
    return rv == CKR_OK ? output != nullptr : rv != CKR_BUFFER_TOO_SMALL;
}

// The touch wait of a finished signature: the configured delay, then the user's verdict.
CK_RV awaitTouch(Module& m, std::size_t index, CK_BYTE_PTR signature, CK_ULONG_PTR length) {
    unsigned delay = 0;
    bool reject = false;
    {
        std::lock_guard lock(m.mutex);
        const auto& slot = m.slots[index];
        if (!slot.config.touch) {
            return CKR_OK;
        }
        delay = m.touchDelayMs(slot);
        reject = m.touchRejects(slot);
    }
    if (delay > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    }
    if (reject) {
        std::memset(signature, 0, *length);
        *length = 0;
        return CKR_FUNCTION_REJECTED;
    }
    return CKR_OK;
}

enum class HashedOperation { sign, verify };

Digest& hashOf(SessionState& session, HashedOperation operation) {
    return operation == HashedOperation::sign ? session.signHash : session.verifyHash;
}

// Starts a sign or verify operation; CKM_ECDSA_SHA256 hashes here and has the backend sign or
// verify the digest with CKM_ECDSA.
template <typename BackendInit>
CK_RV startHashedOperation(const char* function, HashedOperation operation, CK_SESSION_HANDLE session,
                           CK_MECHANISM_PTR mechanism, BackendInit&& backendInit) {
    return withSession(function, session, [&](Module& m, std::size_t index) -> CK_RV {
        if (!mechanism) {
            return CKR_ARGUMENTS_BAD;
        }
        {
            std::lock_guard lock(m.mutex);
            if (m.mechanismHidden(index, mechanism->mechanism)) {
                return CKR_MECHANISM_INVALID;
            }
        }
        const bool hashed = mechanism->mechanism == CKM_ECDSA_SHA256;
        CK_MECHANISM ecdsa{CKM_ECDSA, nullptr, 0};
        const CK_RV rv = backendInit(m, hashed ? &ecdsa : mechanism);
        // A refused start (an operation already active, say) leaves that operation as it was.
        if (rv != CKR_OK) {
            return rv;
        }
        std::lock_guard lock(m.mutex);
        if (const auto it = m.sessions.find(session); it != m.sessions.end()) {
            hashOf(it->second, operation) = hashed ? newSha256() : Digest{};
        }
        return rv;
    });
}

// Copies the running digest of a hashed operation, or nothing when the operation is not hashed.
std::optional<std::array<unsigned char, 32>> runningDigest(Module& m, CK_SESSION_HANDLE session,
                                                           HashedOperation operation) {
    std::lock_guard lock(m.mutex);
    const auto it = m.sessions.find(session);
    if (it == m.sessions.end() || !hashOf(it->second, operation)) {
        return std::nullopt;
    }
    return finishCopy(hashOf(it->second, operation).get());
}

bool isHashed(Module& m, CK_SESSION_HANDLE session, HashedOperation operation) {
    std::lock_guard lock(m.mutex);
    const auto it = m.sessions.find(session);
    return it != m.sessions.end() && hashOf(it->second, operation);
}

void endHashed(Module& m, CK_SESSION_HANDLE session, HashedOperation operation) {
    std::lock_guard lock(m.mutex);
    if (const auto it = m.sessions.find(session); it != m.sessions.end()) {
        hashOf(it->second, operation).reset();
    }
}

// Feeds one part into the module's own running hash; nothing when the operation is the
// backend's, which then takes the part itself.
std::optional<CK_RV> updateHashed(Module& m, CK_SESSION_HANDLE session, HashedOperation operation, CK_BYTE_PTR part,
                                  CK_ULONG length) {
    std::lock_guard lock(m.mutex);
    const auto it = m.sessions.find(session);
    if (it == m.sessions.end() || !hashOf(it->second, operation)) {
        return std::nullopt;
    }
    if (!part && length > 0) {
        return CKR_ARGUMENTS_BAD;
    }
    if (length > 0 && EVP_DigestUpdate(hashOf(it->second, operation).get(), part, length) != 1) {
        return CKR_GENERAL_ERROR;
    }
    return CKR_OK;
}

// ---- General purpose ----

CK_RV vtInitialize(CK_VOID_PTR initArgs) {
    std::lock_guard lifecycle(lifecycleMutex);
    if (activeModule) {
        activeModule->log("C_Initialize", "", CKR_CRYPTOKI_ALREADY_INITIALIZED);
        return CKR_CRYPTOKI_ALREADY_INITIALIZED;
    }
    if (initArgs) {
        const auto* arguments = static_cast<const CK_C_INITIALIZE_ARGS*>(initArgs);
        const bool anyCallback = arguments->CreateMutex || arguments->DestroyMutex || arguments->LockMutex ||
                                 arguments->UnlockMutex;
        const bool allCallbacks = arguments->CreateMutex && arguments->DestroyMutex && arguments->LockMutex &&
                                  arguments->UnlockMutex;
        if (arguments->pReserved || (anyCallback && !allCallbacks)) {
            return CKR_ARGUMENTS_BAD;
        }
        // Only the operating system's locks are used here.
        if (anyCallback && !(arguments->flags & CKF_OS_LOCKING_OK)) {
            return CKR_CANT_LOCK;
        }
    }
    const char* path = std::getenv("KEYVANE_VIRTUAL_TOKEN_CONFIG");
    if (!path || !*path) {
        std::fprintf(stderr, "keyvane-virtual-token: KEYVANE_VIRTUAL_TOKEN_CONFIG names no configuration\n");
        return CKR_GENERAL_ERROR;
    }
    std::shared_ptr<Module> created;
    try {
        created = std::make_shared<Module>(readConfig(path));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "keyvane-virtual-token: %s\n", error.what());
        return CKR_GENERAL_ERROR;
    }
    std::optional<CK_RV> injected;
    {
        std::lock_guard lock(created->mutex);
        injected = created->takeFault("C_Initialize");
    }
    const CK_RV rv = injected ? *injected : created->start();
    created->log("C_Initialize", "", rv);
    if (rv == CKR_OK) {
        activeModule = std::move(created);
    }
    return rv;
}

CK_RV vtFinalize(CK_VOID_PTR reserved) {
    std::shared_ptr<Module> finished;
    {
        std::lock_guard lifecycle(lifecycleMutex);
        if (!activeModule) {
            return CKR_CRYPTOKI_NOT_INITIALIZED;
        }
        if (reserved) {
            return CKR_ARGUMENTS_BAD;
        }
        std::optional<CK_RV> injected;
        {
            std::lock_guard lock(activeModule->mutex);
            injected = activeModule->takeFault("C_Finalize");
        }
        if (injected) {
            activeModule->log("C_Finalize", "", *injected);
            return *injected;
        }
        finished = std::move(activeModule);
    }
    finished->stop();
    finished->log("C_Finalize", "", CKR_OK);
    return CKR_OK;
}

CK_RV vtGetInfo(CK_INFO_PTR info) {
    return guarded("C_GetInfo", "", [&](Module& m) -> CK_RV {
        if (!info) {
            return CKR_ARGUMENTS_BAD;
        }
        const CK_RV rv = m.backend->C_GetInfo(info);
        if (rv == CKR_OK) {
            info->cryptokiVersion = {2, 40};
            setField(info->manufacturerID, "Keyvane");
            setField(info->libraryDescription, "Keyvane virtual token");
            info->libraryVersion = {0, 1};
        }
        return rv;
    });
}

CK_RV vtGetFunctionList(CK_FUNCTION_LIST_PTR_PTR list);

// ---- Slots and tokens ----

CK_RV vtGetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
    return guarded("C_GetSlotList", "", [&](Module& m) -> CK_RV {
        if (!count) {
            return CKR_ARGUMENTS_BAD;
        }
        std::vector<CK_SLOT_ID> slots;
        {
            std::lock_guard lock(m.mutex);
            for (const auto& slot : m.slots) {
                if (!tokenPresent || slot.present) {
                    slots.push_back(slot.config.slot);
                }
            }
        }
        if (!list) {
            *count = slots.size();
            return CKR_OK;
        }
        if (*count < slots.size()) {
            *count = slots.size();
            return CKR_BUFFER_TOO_SMALL;
        }
        std::copy(slots.begin(), slots.end(), list);
        *count = slots.size();
        return CKR_OK;
    });
}

CK_RV vtGetSlotInfo(CK_SLOT_ID slot, CK_SLOT_INFO_PTR info) {
    return guarded("C_GetSlotInfo", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!info) {
            return CKR_ARGUMENTS_BAD;
        }
        std::lock_guard lock(m.mutex);
        const auto index = m.slotIndex(slot);
        if (!index) {
            return CKR_SLOT_ID_INVALID;
        }
        const auto& state = m.slots[*index];
        *info = CK_SLOT_INFO{};
        setField(info->slotDescription, "Keyvane virtual slot " + std::to_string(slot));
        setField(info->manufacturerID, "Keyvane");
        info->flags = CKF_REMOVABLE_DEVICE | CKF_HW_SLOT | (state.present ? CKF_TOKEN_PRESENT : 0);
        info->hardwareVersion = state.config.hardwareVersion.value_or(CK_VERSION{1, 0});
        info->firmwareVersion = state.config.firmwareVersion.value_or(CK_VERSION{1, 0});
        return CKR_OK;
    });
}

CK_RV vtGetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    return guarded("C_GetTokenInfo", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!info) {
            return CKR_ARGUMENTS_BAD;
        }
        const auto present = presentSlot(m, slot);
        if (present.rv != CKR_OK) {
            return present.rv;
        }
        const auto index = present.index;
        const CK_RV rv = m.backend->C_GetTokenInfo(m.slots[index].backing, info);
        if (rv != CKR_OK) {
            return rv;
        }
        std::lock_guard lock(m.mutex);
        const auto& state = m.slots[index];
        const auto& config = state.config;
        const auto copyField = [](auto& field, const std::optional<std::string>& value) {
            if (value) {
                std::memcpy(field, value->data(), sizeof field);
            }
        };
        copyField(info->serialNumber, config.serialField);
        copyField(info->label, config.labelField);
        copyField(info->manufacturerID, config.manufacturerField);
        copyField(info->model, config.modelField);
        info->hardwareVersion = config.hardwareVersion.value_or(info->hardwareVersion);
        info->firmwareVersion = config.firmwareVersion.value_or(info->firmwareVersion);
        info->ulTotalPublicMemory = config.totalMemory;
        info->ulFreePublicMemory = state.control.freeMemory.value_or(config.freeMemory);
        // The PIN counter flags follow this module's counter, not the backend's.
        info->flags &= ~(CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_LOCKED);
        if (state.attemptsLeft == 0) {
            info->flags |= CKF_USER_PIN_LOCKED;
        } else if (state.attemptsLeft == 1) {
            info->flags |= CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_COUNT_LOW;
        } else if (state.attemptsLeft < config.pinRetries) {
            info->flags |= CKF_USER_PIN_COUNT_LOW;
        }
        return CKR_OK;
    });
}

// The backend's mechanisms as this slot shows them: hidden ones removed, ECDSA-SHA256 added.
CK_RV slotMechanisms(Module& m, std::size_t index, std::vector<CK_MECHANISM_TYPE>& mechanisms) {
    CK_ULONG count = 0;
    CK_RV rv = m.backend->C_GetMechanismList(m.slots[index].backing, nullptr, &count);
    if (rv != CKR_OK) {
        return rv;
    }
    mechanisms.assign(count, 0);
    rv = m.backend->C_GetMechanismList(m.slots[index].backing, mechanisms.data(), &count);
    if (rv != CKR_OK) {
        return rv;
    }
    mechanisms.resize(count);
    std::lock_guard lock(m.mutex);
    const bool hasEcdsa = std::find(mechanisms.begin(), mechanisms.end(), CKM_ECDSA) != mechanisms.end();
    if (hasEcdsa && std::find(mechanisms.begin(), mechanisms.end(), CKM_ECDSA_SHA256) == mechanisms.end()) {
        mechanisms.push_back(CKM_ECDSA_SHA256);
    }
    std::erase_if(mechanisms, [&](CK_MECHANISM_TYPE type) { return m.mechanismHidden(index, type); });
    return CKR_OK;
}

CK_RV vtGetMechanismList(CK_SLOT_ID slot, CK_MECHANISM_TYPE_PTR list, CK_ULONG_PTR count) {
    return guarded("C_GetMechanismList", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!count) {
            return CKR_ARGUMENTS_BAD;
        }
        const auto present = presentSlot(m, slot);
        if (present.rv != CKR_OK) {
            return present.rv;
        }
        std::vector<CK_MECHANISM_TYPE> mechanisms;
        if (const CK_RV rv = slotMechanisms(m, present.index, mechanisms); rv != CKR_OK) {
            return rv;
        }
        if (!list) {
            *count = mechanisms.size();
            return CKR_OK;
        }
        if (*count < mechanisms.size()) {
            *count = mechanisms.size();
            return CKR_BUFFER_TOO_SMALL;
        }
        std::copy(mechanisms.begin(), mechanisms.end(), list);
        *count = mechanisms.size();
        return CKR_OK;
    });
}

CK_RV vtGetMechanismInfo(CK_SLOT_ID slot, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO_PTR info) {
    return guarded("C_GetMechanismInfo", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!info) {
            return CKR_ARGUMENTS_BAD;
        }
        const auto present = presentSlot(m, slot);
        if (present.rv != CKR_OK) {
            return present.rv;
        }
        const auto index = present.index;
        {
            std::lock_guard lock(m.mutex);
            if (m.mechanismHidden(index, type)) {
                return CKR_MECHANISM_INVALID;
            }
        }
        const CK_RV rv = m.backend->C_GetMechanismInfo(m.slots[index].backing, type, info);
        if (rv == CKR_MECHANISM_INVALID && type == CKM_ECDSA_SHA256) {
            // Signing and verifying go through CKM_ECDSA, so it has the same key sizes.
            const CK_RV ecdsa = m.backend->C_GetMechanismInfo(m.slots[index].backing, CKM_ECDSA, info);
            if (ecdsa == CKR_OK) {
                info->flags &= CKF_HW | CKF_SIGN | CKF_VERIFY | CKF_EC_F_P | CKF_EC_NAMEDCURVE |
                               CKF_EC_UNCOMPRESS;
            }
            return ecdsa;
        }
        return rv;
    });
}

CK_RV vtInitToken(CK_SLOT_ID slot, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength, CK_UTF8CHAR_PTR label) {
    return guarded("C_InitToken", slotTarget(slot), [&](Module& m) -> CK_RV {
        const auto present = presentSlot(m, slot);
        if (present.rv != CKR_OK) {
            return present.rv;
        }
        const auto index = present.index;
        const CK_RV rv = m.backend->C_InitToken(m.slots[index].backing, pin, pinLength, label);
        if (rv == CKR_OK) {
            std::lock_guard lock(m.mutex);
            m.slots[index].attemptsLeft = m.slots[index].config.pinRetries;
            m.saveAttempts();
        }
        return rv;
    });
}

CK_RV vtInitPIN(CK_SESSION_HANDLE session, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength) {
    return withSession("C_InitPIN", session, [&](Module& m, std::size_t index) -> CK_RV {
        const CK_RV rv = m.backend->C_InitPIN(session, pin, pinLength);
        if (rv == CKR_OK) {
            // A new user PIN set by the security officer unlocks the user.
            std::lock_guard lock(m.mutex);
            m.slots[index].attemptsLeft = m.slots[index].config.pinRetries;
            m.saveAttempts();
        }
        return rv;
    });
}

CK_RV vtSetPIN(CK_SESSION_HANDLE session, CK_UTF8CHAR_PTR oldPin, CK_ULONG oldLength, CK_UTF8CHAR_PTR newPin,
               CK_ULONG newLength) {
    return withSession("C_SetPIN", session, [&](Module& m, std::size_t) {
        return m.backend->C_SetPIN(session, oldPin, oldLength, newPin, newLength);
    });
}

// ---- Sessions ----

CK_RV vtOpenSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR session) {
    return guarded("C_OpenSession", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!session) {
            return CKR_ARGUMENTS_BAD;
        }
        const auto present = presentSlot(m, slot);
        if (present.rv != CKR_OK) {
            return present.rv;
        }
        const auto index = present.index;
        // Notification callbacks are not forwarded: the backend would call them with its own
        // handles, and no caller of this module relies on them.
        const CK_RV rv = m.backend->C_OpenSession(m.slots[index].backing, flags, nullptr, nullptr, session);
        if (rv == CKR_OK) {
            std::lock_guard lock(m.mutex);
            m.removedSessions.erase(*session);
            m.sessions[*session] = SessionState{index, false, {}, {}, {}};
        }
        return rv;
    });
}

CK_RV vtCloseSession(CK_SESSION_HANDLE session) {
    return withSession("C_CloseSession", session, [&](Module& m, std::size_t) {
        const CK_RV rv = m.backend->C_CloseSession(session);
        std::lock_guard lock(m.mutex);
        m.sessions.erase(session);
        return rv;
    });
}

CK_RV vtCloseAllSessions(CK_SLOT_ID slot) {
    return guarded("C_CloseAllSessions", slotTarget(slot), [&](Module& m) -> CK_RV {
        const auto present = presentSlot(m, slot);
        if (present.rv != CKR_OK) {
            return present.rv;
        }
        const auto index = present.index;
        const CK_RV rv = m.backend->C_CloseAllSessions(m.slots[index].backing);
        std::lock_guard lock(m.mutex);
        std::erase_if(m.sessions, [&](const auto& entry) { return entry.second.slotIndex == index; });
        return rv;
    });
}

CK_RV vtGetSessionInfo(CK_SESSION_HANDLE session, CK_SESSION_INFO_PTR info) {
    return withSession("C_GetSessionInfo", session, [&](Module& m, std::size_t index) {
        const CK_RV rv = m.backend->C_GetSessionInfo(session, info);
        if (rv == CKR_OK) {
            info->slotID = m.slots[index].config.slot;
        }
        return rv;
    });
}

CK_RV vtGetOperationState(CK_SESSION_HANDLE session, CK_BYTE_PTR state, CK_ULONG_PTR length) {
    return withSession("C_GetOperationState", session, [&](Module& m, std::size_t) {
        return m.backend->C_GetOperationState(session, state, length);
    });
}

CK_RV vtSetOperationState(CK_SESSION_HANDLE session, CK_BYTE_PTR state, CK_ULONG length,
                          CK_OBJECT_HANDLE encryptionKey, CK_OBJECT_HANDLE authenticationKey) {
    return withSession("C_SetOperationState", session, [&](Module& m, std::size_t) {
        return m.backend->C_SetOperationState(session, state, length, encryptionKey, authenticationKey);
    });
}

CK_RV vtLogin(CK_SESSION_HANDLE session, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength) {
    return withSession("C_Login", session, [&](Module& m, std::size_t index) -> CK_RV {
        const bool counted = userType == CKU_USER;
        if (counted) {
            std::lock_guard lock(m.mutex);
            if (m.slots[index].attemptsLeft == 0) {
                return CKR_PIN_LOCKED;
            }
        }
        const CK_RV rv = m.backend->C_Login(session, userType, pin, pinLength);
        if (counted && (rv == CKR_OK || rv == CKR_PIN_INCORRECT)) {
            std::lock_guard lock(m.mutex);
            auto& slot = m.slots[index];
            if (rv == CKR_OK) {
                slot.attemptsLeft = slot.config.pinRetries;
            } else if (slot.attemptsLeft > 0) {
                --slot.attemptsLeft;
            }
            m.saveAttempts();
        }
        return rv;
    });
}

CK_RV vtLogout(CK_SESSION_HANDLE session) {
    return withSession("C_Logout", session, [&](Module& m, std::size_t) { return m.backend->C_Logout(session); });
}

// ---- Objects ----

CK_RV vtCreateObject(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR attributes, CK_ULONG count,
                     CK_OBJECT_HANDLE_PTR object) {
    return withSession("C_CreateObject", session, [&](Module& m, std::size_t) {
        return m.backend->C_CreateObject(session, attributes, count, object);
    });
}

CK_RV vtCopyObject(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attributes,
                   CK_ULONG count, CK_OBJECT_HANDLE_PTR copy) {
    return withSession("C_CopyObject", session, [&](Module& m, std::size_t index) -> CK_RV {
        if (isVirtualHandle(m, index, object)) {
            return CKR_ACTION_PROHIBITED;
        }
        return m.backend->C_CopyObject(session, object, attributes, count, copy);
    });
}

CK_RV vtDestroyObject(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object) {
    return withSession("C_DestroyObject", session, [&](Module& m, std::size_t index) -> CK_RV {
        if (isVirtualHandle(m, index, object)) {
            return CKR_ACTION_PROHIBITED;
        }
        return m.backend->C_DestroyObject(session, object);
    });
}

CK_RV vtGetObjectSize(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ULONG_PTR size) {
    return withSession("C_GetObjectSize", session, [&](Module& m, std::size_t index) -> CK_RV {
        if (isVirtualHandle(m, index, object)) {
            if (!size) {
                return CKR_ARGUMENTS_BAD;
            }
            *size = CK_UNAVAILABLE_INFORMATION;
            return CKR_OK;
        }
        return m.backend->C_GetObjectSize(session, object, size);
    });
}

CK_RV vtGetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attributes,
                          CK_ULONG count) {
    return withSession("C_GetAttributeValue", session, [&](Module& m, std::size_t index) -> CK_RV {
        VirtualObject found;
        if (isVirtualHandle(m, index, object, &found)) {
            if (!attributes && count > 0) {
                return CKR_ARGUMENTS_BAD;
            }
            return readVirtualAttributes(found, attributes, count);
        }
        return m.backend->C_GetAttributeValue(session, object, attributes, count);
    });
}

CK_RV vtSetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attributes,
                          CK_ULONG count) {
    return withSession("C_SetAttributeValue", session, [&](Module& m, std::size_t index) -> CK_RV {
        if (isVirtualHandle(m, index, object)) {
            return CKR_ACTION_PROHIBITED;
        }
        return m.backend->C_SetAttributeValue(session, object, attributes, count);
    });
}

CK_RV vtFindObjectsInit(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR attributes, CK_ULONG count) {
    return withSession("C_FindObjectsInit", session, [&](Module& m, std::size_t index) -> CK_RV {
        if (!attributes && count > 0) {
            return CKR_ARGUMENTS_BAD;
        }
        const CK_RV rv = m.backend->C_FindObjectsInit(session, attributes, count);
        if (rv != CKR_OK) {
            return rv;
        }
        std::deque<CK_OBJECT_HANDLE> found;
        if (asksForHardwareFeatures(attributes, count)) {
            for (const auto& object : m.virtualObjects(index)) {
                if (matches(object, attributes, count)) {
                    found.push_back(object.handle);
                }
            }
        }
        std::lock_guard lock(m.mutex);
        if (const auto it = m.sessions.find(session); it != m.sessions.end()) {
            it->second.finding = true;
            it->second.pendingVirtual = std::move(found);
        }
        return CKR_OK;
    });
}

CK_RV vtFindObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG maximum,
                    CK_ULONG_PTR count) {
    return withSession("C_FindObjects", session, [&](Module& m, std::size_t) -> CK_RV {
        if (!objects || !count) {
            return CKR_ARGUMENTS_BAD;
        }
        CK_ULONG given = 0;
        {
            std::lock_guard lock(m.mutex);
            const auto it = m.sessions.find(session);
            if (it != m.sessions.end() && it->second.finding) {
                auto& pending = it->second.pendingVirtual;
                while (given < maximum && !pending.empty()) {
                    objects[given++] = pending.front();
                    pending.pop_front();
                }
            }
        }
        CK_ULONG more = 0;
        const CK_RV rv = m.backend->C_FindObjects(session, objects + given, maximum - given, &more);
        if (rv != CKR_OK) {
            return rv;
        }
        *count = given + more;
        return CKR_OK;
    });
}

CK_RV vtFindObjectsFinal(CK_SESSION_HANDLE session) {
    return withSession("C_FindObjectsFinal", session, [&](Module& m, std::size_t) {
        {
            std::lock_guard lock(m.mutex);
            if (const auto it = m.sessions.find(session); it != m.sessions.end()) {
                it->second.finding = false;
                it->second.pendingVirtual.clear();
            }
        }
        return m.backend->C_FindObjectsFinal(session);
    });
}

// ---- Signing and verifying ----

CK_RV vtSignInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key) {
    return startHashedOperation("C_SignInit", HashedOperation::sign, session, mechanism, [&](Module& m, CK_MECHANISM_PTR used) {
        return m.backend->C_SignInit(session, used, key);
    });
}

CK_RV vtSign(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG dataLength, CK_BYTE_PTR signature,
             CK_ULONG_PTR signatureLength) {
    return withSession("C_Sign", session, [&](Module& m, std::size_t index) -> CK_RV {
        CK_RV rv = CKR_OK;
        if (isHashed(m, session, HashedOperation::sign)) {
            if (!data && dataLength > 0) {
                return CKR_ARGUMENTS_BAD;
            }
            auto digest = sha256(data, dataLength);
            rv = m.backend->C_Sign(session, digest.data(), digest.size(), signature, signatureLength);
            if (operationEnded(rv, signature)) {
                endHashed(m, session, HashedOperation::sign);
            }
        } else {
            rv = m.backend->C_Sign(session, data, dataLength, signature, signatureLength);
        }
        return rv == CKR_OK && signature ? awaitTouch(m, index, signature, signatureLength) : rv;
    });
}

CK_RV vtSignUpdate(CK_SESSION_HANDLE session, CK_BYTE_PTR part, CK_ULONG length) {
    return withSession("C_SignUpdate", session, [&](Module& m, std::size_t) -> CK_RV {
        if (auto rv = updateHashed(m, session, HashedOperation::sign, part, length)) {
            return *rv;
        }
        return m.backend->C_SignUpdate(session, part, length);
    });
}

CK_RV vtSignFinal(CK_SESSION_HANDLE session, CK_BYTE_PTR signature, CK_ULONG_PTR signatureLength) {
    return withSession("C_SignFinal", session, [&](Module& m, std::size_t index) -> CK_RV {
        CK_RV rv = CKR_OK;
        if (auto digest = runningDigest(m, session, HashedOperation::sign)) {
            rv = m.backend->C_Sign(session, digest->data(), digest->size(), signature, signatureLength);
            if (operationEnded(rv, signature)) {
                endHashed(m, session, HashedOperation::sign);
            }
        } else {
            rv = m.backend->C_SignFinal(session, signature, signatureLength);
        }
        return rv == CKR_OK && signature ? awaitTouch(m, index, signature, signatureLength) : rv;
    });
}

CK_RV vtVerifyInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key) {
    return startHashedOperation("C_VerifyInit", HashedOperation::verify, session, mechanism,
                                [&](Module& m, CK_MECHANISM_PTR used) {
                                    return m.backend->C_VerifyInit(session, used, key);
                                });
}

CK_RV vtVerify(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG dataLength, CK_BYTE_PTR signature,
               CK_ULONG signatureLength) {
    return withSession("C_Verify", session, [&](Module& m, std::size_t) -> CK_RV {
        if (isHashed(m, session, HashedOperation::verify)) {
            if (!data && dataLength > 0) {
                return CKR_ARGUMENTS_BAD;
            }
            auto digest = sha256(data, dataLength);
            endHashed(m, session, HashedOperation::verify);
            return m.backend->C_Verify(session, digest.data(), digest.size(), signature, signatureLength);
        }
        return m.backend->C_Verify(session, data, dataLength, signature, signatureLength);
    });
}

CK_RV vtVerifyUpdate(CK_SESSION_HANDLE session, CK_BYTE_PTR part, CK_ULONG length) {
    return withSession("C_VerifyUpdate", session, [&](Module& m, std::size_t) -> CK_RV {
        if (auto rv = updateHashed(m, session, HashedOperation::verify, part, length)) {
            return *rv;
        }
        return m.backend->C_VerifyUpdate(session, part, length);
    });
}

CK_RV vtVerifyFinal(CK_SESSION_HANDLE session, CK_BYTE_PTR signature, CK_ULONG signatureLength) {
    return withSession("C_VerifyFinal", session, [&](Module& m, std::size_t) -> CK_RV {
        if (auto digest = runningDigest(m, session, HashedOperation::verify)) {
            endHashed(m, session, HashedOperation::verify);
            return m.backend->C_Verify(session, digest->data(), digest->size(), signature, signatureLength);
        }
        return m.backend->C_VerifyFinal(session, signature, signatureLength);
    });
}

// ---- Key generation (the mechanisms that a slot hides are refused) ----

CK_RV vtGenerateKey(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_ATTRIBUTE_PTR attributes,
                    CK_ULONG count, CK_OBJECT_HANDLE_PTR key) {
    return withSession("C_GenerateKey", session, [&](Module& m, std::size_t index) -> CK_RV {
        {
            std::lock_guard lock(m.mutex);
            if (mechanism && m.mechanismHidden(index, mechanism->mechanism)) {
                return CKR_MECHANISM_INVALID;
            }
        }
        return m.backend->C_GenerateKey(session, mechanism, attributes, count, key);
    });
}

CK_RV vtGenerateKeyPair(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_ATTRIBUTE_PTR publicAttributes,
                        CK_ULONG publicCount, CK_ATTRIBUTE_PTR privateAttributes, CK_ULONG privateCount,
                        CK_OBJECT_HANDLE_PTR publicKey, CK_OBJECT_HANDLE_PTR privateKey) {
    return withSession("C_GenerateKeyPair", session, [&](Module& m, std::size_t index) -> CK_RV {
        {
            std::lock_guard lock(m.mutex);
            if (mechanism && m.mechanismHidden(index, mechanism->mechanism)) {
                return CKR_MECHANISM_INVALID;
            }
        }
        return m.backend->C_GenerateKeyPair(session, mechanism, publicAttributes, publicCount, privateAttributes,
                                            privateCount, publicKey, privateKey);
    });
}

// ---- Plain forwarding ----

#define VT_FORWARD(name, parameters, ...)                                                          \
    CK_RV vt##name parameters {                                                                    \
        return withSession("C_" #name, session,                                                    \
                           [&](Module& m, std::size_t) { return m.backend->C_##name(__VA_ARGS__); }); \
    }

VT_FORWARD(EncryptInit, (CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key), session,
           mechanism, key)
VT_FORWARD(Encrypt, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                     CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(EncryptUpdate, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                           CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(EncryptFinal, (CK_SESSION_HANDLE session, CK_BYTE_PTR out, CK_ULONG_PTR outLength), session, out,
           outLength)
VT_FORWARD(DecryptInit, (CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key), session,
           mechanism, key)
VT_FORWARD(Decrypt, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                     CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(DecryptUpdate, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                           CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(DecryptFinal, (CK_SESSION_HANDLE session, CK_BYTE_PTR out, CK_ULONG_PTR outLength), session, out,
           outLength)
VT_FORWARD(DigestInit, (CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism), session, mechanism)
VT_FORWARD(Digest, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                    CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(DigestUpdate, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength), session, in, inLength)
VT_FORWARD(DigestKey, (CK_SESSION_HANDLE session, CK_OBJECT_HANDLE key), session, key)
VT_FORWARD(DigestFinal, (CK_SESSION_HANDLE session, CK_BYTE_PTR out, CK_ULONG_PTR outLength), session, out,
           outLength)
VT_FORWARD(SignRecoverInit, (CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key), session,
           mechanism, key)
VT_FORWARD(SignRecover, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                         CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(VerifyRecoverInit, (CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key),
           session, mechanism, key)
VT_FORWARD(VerifyRecover, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                           CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(DigestEncryptUpdate, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                                 CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(DecryptDigestUpdate, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                                 CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(SignEncryptUpdate, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                               CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(DecryptVerifyUpdate, (CK_SESSION_HANDLE session, CK_BYTE_PTR in, CK_ULONG inLength, CK_BYTE_PTR out,
                                 CK_ULONG_PTR outLength), session, in, inLength, out, outLength)
VT_FORWARD(WrapKey, (CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE wrappingKey,
                     CK_OBJECT_HANDLE key, CK_BYTE_PTR wrapped, CK_ULONG_PTR wrappedLength), session, mechanism,
           wrappingKey, key, wrapped, wrappedLength)
VT_FORWARD(UnwrapKey, (CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE unwrappingKey,
                       CK_BYTE_PTR wrapped, CK_ULONG wrappedLength, CK_ATTRIBUTE_PTR attributes, CK_ULONG count,
                       CK_OBJECT_HANDLE_PTR key), session, mechanism, unwrappingKey, wrapped, wrappedLength,
           attributes, count, key)
VT_FORWARD(DeriveKey, (CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE baseKey,
                       CK_ATTRIBUTE_PTR attributes, CK_ULONG count, CK_OBJECT_HANDLE_PTR key), session, mechanism,
           baseKey, attributes, count, key)
VT_FORWARD(SeedRandom, (CK_SESSION_HANDLE session, CK_BYTE_PTR seed, CK_ULONG length), session, seed, length)
VT_FORWARD(GenerateRandom, (CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG length), session, data, length)
VT_FORWARD(GetFunctionStatus, (CK_SESSION_HANDLE session), session)
VT_FORWARD(CancelFunction, (CK_SESSION_HANDLE session), session)

#undef VT_FORWARD

// ---- Slot events ----

// The first slot whose presence changed since the caller last heard of it.
std::optional<CK_SLOT_ID> takeSlotEvent(Module& m) {
    for (auto& slot : m.slots) {
        if (slot.present != slot.reportedPresent || slot.events != slot.reportedEvents) {
            slot.reportedPresent = slot.present;
            slot.reportedEvents = slot.events;
            return slot.config.slot;
        }
    }
    return std::nullopt;
}

CK_RV vtWaitForSlotEvent(CK_FLAGS flags, CK_SLOT_ID_PTR slot, CK_VOID_PTR reserved) {
    return guarded("C_WaitForSlotEvent", "", [&](Module& m) -> CK_RV {
        if (!slot || reserved) {
            return CKR_ARGUMENTS_BAD;
        }
        std::unique_lock lock(m.mutex);
        while (true) {
            m.refreshControl();
            if (const auto event = takeSlotEvent(m)) {
                *slot = *event;
                return CKR_OK;
            }
            if (flags & CKF_DONT_BLOCK) {
                return CKR_NO_EVENT;
            }
            if (m.finalized) {
                return CKR_CRYPTOKI_NOT_INITIALIZED;
            }
            // The control file changes from outside the process, so it is polled.
            m.slotEvent.wait_for(lock, std::chrono::milliseconds(20));
        }
    });
}

CK_FUNCTION_LIST functionList = {
    {2, 40},
    vtInitialize, vtFinalize, vtGetInfo, vtGetFunctionList, vtGetSlotList, vtGetSlotInfo, vtGetTokenInfo,
    vtGetMechanismList, vtGetMechanismInfo, vtInitToken, vtInitPIN, vtSetPIN, vtOpenSession, vtCloseSession,
    vtCloseAllSessions, vtGetSessionInfo, vtGetOperationState, vtSetOperationState, vtLogin, vtLogout,
    vtCreateObject, vtCopyObject, vtDestroyObject, vtGetObjectSize, vtGetAttributeValue, vtSetAttributeValue,
    vtFindObjectsInit, vtFindObjects, vtFindObjectsFinal, vtEncryptInit, vtEncrypt, vtEncryptUpdate,
    vtEncryptFinal, vtDecryptInit, vtDecrypt, vtDecryptUpdate, vtDecryptFinal, vtDigestInit, vtDigest,
    vtDigestUpdate, vtDigestKey, vtDigestFinal, vtSignInit, vtSign, vtSignUpdate, vtSignFinal,
    vtSignRecoverInit, vtSignRecover, vtVerifyInit, vtVerify, vtVerifyUpdate, vtVerifyFinal,
    vtVerifyRecoverInit, vtVerifyRecover, vtDigestEncryptUpdate, vtDecryptDigestUpdate, vtSignEncryptUpdate,
    vtDecryptVerifyUpdate, vtGenerateKey, vtGenerateKeyPair, vtWrapKey, vtUnwrapKey, vtDeriveKey, vtSeedRandom,
    vtGenerateRandom, vtGetFunctionStatus, vtCancelFunction, vtWaitForSlotEvent,
};

CK_RV vtGetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    if (!list) {
        return CKR_ARGUMENTS_BAD;
    }
    *list = &functionList;
    return CKR_OK;
}

CK_RV getTokenInfoExtended(CK_SLOT_ID slot, CK_BYTE_PTR record) {
    return guarded("C_EX_GetTokenInfoExtended", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!record) {
            return CKR_ARGUMENTS_BAD;
        }
        CK_ULONG size = 0;
        std::memcpy(&size, record + VT_EXTENDED_INFO_SIZE_OFFSET, sizeof size);
        if (size < VT_EXTENDED_INFO_SIZE) {
            return CKR_BUFFER_TOO_SMALL;
        }
        const auto present = presentSlot(m, slot);
        if (present.rv != CKR_OK) {
            return present.rv;
        }
        std::lock_guard lock(m.mutex);
        const auto& state = m.slots[present.index];
        if (!state.config.vendorRecord) {
            return CKR_FUNCTION_NOT_SUPPORTED;
        }
        const auto put = [&](std::size_t offset, CK_ULONG value) {
            std::memcpy(record + offset, &value, sizeof value);
        };
        put(VT_EXTENDED_INFO_SIZE_OFFSET, VT_EXTENDED_INFO_SIZE);
        put(VT_EXTENDED_INFO_FLAGS_OFFSET,
            state.config.vendorFlags | (state.config.touch ? VT_EXTENDED_FLAG_TOUCH : 0));
        put(VT_EXTENDED_INFO_USER_PIN_ATTEMPTS_OFFSET, state.attemptsLeft);
        put(VT_EXTENDED_INFO_TOKEN_CLASS_OFFSET, state.config.tokenClass);
        return CKR_OK;
    });
}

}  // namespace

std::shared_ptr<Module> currentModule() {
    std::lock_guard lifecycle(lifecycleMutex);
    return activeModule;
}

}  // namespace virtual_token

VT_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    return virtual_token::vtGetFunctionList(list);
}

VT_EXPORT CK_RV C_EX_GetTokenInfoExtended(CK_SLOT_ID slot, CK_BYTE_PTR record) {
    return virtual_token::getTokenInfoExtended(slot, record);
}
