// The PKCS#11 entry points, kept thin: each checks its arguments, forwards to the unit that
// owns the work and answers a return value. The one helper around them takes the current
// module, re-reads the control file, applies an injected fault if one is due, runs the call
// under the store's lock of all processes (SharedStore), maps what the unit threw to a return
// value (nothing may escape a C entry point) and logs the call with its thread. No entry point
// takes a lock of its own.
#include "Library.h"
#include "Reply.h"
#include "VendorConstants.h"

#include <cstring>
#include <optional>
#include <string>

#define VT_EXPORT extern "C" __attribute__((visibility("default")))

namespace virtual_token {
namespace {

std::string slotTarget(CK_SLOT_ID slot) {
    return "slot=" + std::to_string(slot);
}

std::string sessionTarget(CK_SESSION_HANDLE session) {
    return "session=" + std::to_string(session);
}

// The return value of a unit's work: a Failure answers its own, anything else is a general error.
template <typename Body>
CK_RV answer(Body&& body) {
    try {
        return body();
    } catch (const Failure& failure) {
        return failure.rv;
    } catch (...) {
        return CKR_GENERAL_ERROR;
    }
}

template <typename Body>
CK_RV call(const char* function, const std::string& target, Body&& body,
           std::optional<CK_SESSION_HANDLE> session = std::nullopt) {
    const auto module = Library::instance().current();
    if (!module) {
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    }
    const CK_RV rv = answer([&]() -> CK_RV {
        module->refreshControl();
        if (const auto injected = module->injectedFault(function, session)) {
            return *injected;
        }
        const auto access = SharedStore::accessOf(function);
        std::optional<std::size_t> slotIndex;
        if (access == SharedStore::Access::write && session) {
            slotIndex = module->sessions().slotOf(*session);
        }
        return module->store().run(access, slotIndex, [&] { return body(*module); });
    });
    module->record(function, target, rv);
    return rv;
}

// A call on an open session: the session is checked before anything else, and the body gets
// the index of the session's slot.
template <typename Body>
CK_RV onSession(const char* function, CK_SESSION_HANDLE session, Body&& body) {
    return call(
        function, sessionTarget(session), [&](Module& m) -> CK_RV { return body(m, m.sessions().slotOf(session)); },
        session);
}

// ---- General purpose ----

CK_RV initializeArguments(CK_VOID_PTR initArgs) {
    if (!initArgs) {
        return CKR_OK;
    }
    const auto* arguments = static_cast<const CK_C_INITIALIZE_ARGS*>(initArgs);
    const bool anyCallback =
        arguments->CreateMutex || arguments->DestroyMutex || arguments->LockMutex || arguments->UnlockMutex;
    const bool allCallbacks =
        arguments->CreateMutex && arguments->DestroyMutex && arguments->LockMutex && arguments->UnlockMutex;
    if (arguments->pReserved || (anyCallback && !allCallbacks)) {
        return CKR_ARGUMENTS_BAD;
    }
    // Only the operating system's locks are used here.
    if (anyCallback && !(arguments->flags & CKF_OS_LOCKING_OK)) {
        return CKR_CANT_LOCK;
    }
    return CKR_OK;
}

CK_RV vtInitialize(CK_VOID_PTR initArgs) {
    return answer([&] { return Library::instance().initialize(initializeArguments(initArgs)); });
}

CK_RV vtFinalize(CK_VOID_PTR reserved) {
    return answer([&] { return Library::instance().finalize(reserved ? CKR_ARGUMENTS_BAD : CKR_OK); });
}

CK_RV vtGetInfo(CK_INFO_PTR info) {
    return call("C_GetInfo", "", [&](Module& m) -> CK_RV {
        if (!info) {
            return CKR_ARGUMENTS_BAD;
        }
        return m.info(*info);
    });
}

CK_RV vtGetFunctionList(CK_FUNCTION_LIST_PTR_PTR list);

// ---- Slots and tokens ----

CK_RV vtGetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR list, CK_ULONG_PTR count) {
    return call("C_GetSlotList", "", [&](Module& m) -> CK_RV {
        if (!count) {
            return CKR_ARGUMENTS_BAD;
        }
        return replyList(m.slots().list(tokenPresent), list, count);
    });
}

CK_RV vtGetSlotInfo(CK_SLOT_ID slot, CK_SLOT_INFO_PTR info) {
    return call("C_GetSlotInfo", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!info) {
            return CKR_ARGUMENTS_BAD;
        }
        m.slots().slotInfo(slot, *info);
        return CKR_OK;
    });
}

CK_RV vtGetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    return call("C_GetTokenInfo", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!info) {
            return CKR_ARGUMENTS_BAD;
        }
        return m.slots().tokenInfo(slot, *info);
    });
}

CK_RV vtGetMechanismList(CK_SLOT_ID slot, CK_MECHANISM_TYPE_PTR list, CK_ULONG_PTR count) {
    return call("C_GetMechanismList", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!count) {
            return CKR_ARGUMENTS_BAD;
        }
        return replyList(m.slots().mechanisms(slot), list, count);
    });
}

CK_RV vtGetMechanismInfo(CK_SLOT_ID slot, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO_PTR info) {
    return call("C_GetMechanismInfo", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!info) {
            return CKR_ARGUMENTS_BAD;
        }
        return m.slots().mechanismInfo(slot, type, *info);
    });
}

CK_RV vtInitToken(CK_SLOT_ID slot, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength, CK_UTF8CHAR_PTR label) {
    return call("C_InitToken", slotTarget(slot),
                [&](Module& m) { return m.slots().initToken(slot, pin, pinLength, label); });
}

CK_RV vtInitPIN(CK_SESSION_HANDLE session, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength) {
    return onSession("C_InitPIN", session, [&](Module& m, std::size_t index) {
        return m.sessions().initPin(session, index, pin, pinLength);
    });
}

CK_RV vtSetPIN(CK_SESSION_HANDLE session, CK_UTF8CHAR_PTR oldPin, CK_ULONG oldLength, CK_UTF8CHAR_PTR newPin,
               CK_ULONG newLength) {
    return onSession("C_SetPIN", session, [&](Module& m, std::size_t) {
        return m.backend()->C_SetPIN(session, oldPin, oldLength, newPin, newLength);
    });
}

// ---- Sessions ----

CK_RV vtOpenSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR session) {
    return call("C_OpenSession", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!session) {
            return CKR_ARGUMENTS_BAD;
        }
        return m.sessions().open(slot, flags, *session);
    });
}

CK_RV vtCloseSession(CK_SESSION_HANDLE session) {
    return onSession("C_CloseSession", session, [&](Module& m, std::size_t) { return m.sessions().close(session); });
}

CK_RV vtCloseAllSessions(CK_SLOT_ID slot) {
    return call("C_CloseAllSessions", slotTarget(slot), [&](Module& m) { return m.sessions().closeAll(slot); });
}

CK_RV vtGetSessionInfo(CK_SESSION_HANDLE session, CK_SESSION_INFO_PTR info) {
    return onSession("C_GetSessionInfo", session,
                     [&](Module& m, std::size_t index) { return m.sessions().info(session, index, info); });
}

CK_RV vtLogin(CK_SESSION_HANDLE session, CK_USER_TYPE userType, CK_UTF8CHAR_PTR pin, CK_ULONG pinLength) {
    return onSession("C_Login", session, [&](Module& m, std::size_t index) {
        return m.sessions().login(session, index, userType, pin, pinLength);
    });
}

// ---- Objects ----

CK_RV vtCopyObject(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attributes,
                   CK_ULONG count, CK_OBJECT_HANDLE_PTR copy) {
    return onSession("C_CopyObject", session, [&](Module& m, std::size_t index) {
        return m.objects().copy(session, index, object, attributes, count, copy);
    });
}

CK_RV vtDestroyObject(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object) {
    return onSession("C_DestroyObject", session,
                     [&](Module& m, std::size_t index) { return m.objects().destroy(session, index, object); });
}

CK_RV vtGetObjectSize(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ULONG_PTR size) {
    return onSession("C_GetObjectSize", session,
                     [&](Module& m, std::size_t index) { return m.objects().size(session, index, object, size); });
}

CK_RV vtGetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attributes,
                          CK_ULONG count) {
    return onSession("C_GetAttributeValue", session, [&](Module& m, std::size_t index) {
        return m.objects().readAttributes(session, index, object, attributes, count);
    });
}

CK_RV vtSetAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR attributes,
                          CK_ULONG count) {
    return onSession("C_SetAttributeValue", session, [&](Module& m, std::size_t index) {
        return m.objects().writeAttributes(session, index, object, attributes, count);
    });
}

CK_RV vtFindObjectsInit(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR attributes, CK_ULONG count) {
    return onSession("C_FindObjectsInit", session, [&](Module& m, std::size_t index) -> CK_RV {
        if (!attributes && count > 0) {
            return CKR_ARGUMENTS_BAD;
        }
        return m.objects().beginSearch(session, index, attributes, count);
    });
}

CK_RV vtFindObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG maximum,
                    CK_ULONG_PTR count) {
    return onSession("C_FindObjects", session, [&](Module& m, std::size_t) -> CK_RV {
        if (!objects || !count) {
            return CKR_ARGUMENTS_BAD;
        }
        return m.objects().search(session, objects, maximum, *count);
    });
}

CK_RV vtFindObjectsFinal(CK_SESSION_HANDLE session) {
    return onSession("C_FindObjectsFinal", session,
                     [&](Module& m, std::size_t) { return m.objects().endSearch(session); });
}

// ---- Signing and verifying ----

CK_RV vtSignInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key) {
    return onSession("C_SignInit", session, [&](Module& m, std::size_t index) -> CK_RV {
        if (!mechanism) {
            return CKR_ARGUMENTS_BAD;
        }
        return m.signing().signInit(session, index, mechanism, key);
    });
}

CK_RV vtSign(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG dataLength, CK_BYTE_PTR signature,
             CK_ULONG_PTR signatureLength) {
    return onSession("C_Sign", session, [&](Module& m, std::size_t index) {
        return m.signing().sign(session, index, data, dataLength, signature, signatureLength);
    });
}

CK_RV vtSignUpdate(CK_SESSION_HANDLE session, CK_BYTE_PTR part, CK_ULONG length) {
    return onSession("C_SignUpdate", session,
                     [&](Module& m, std::size_t) { return m.signing().signUpdate(session, part, length); });
}

CK_RV vtSignFinal(CK_SESSION_HANDLE session, CK_BYTE_PTR signature, CK_ULONG_PTR signatureLength) {
    return onSession("C_SignFinal", session, [&](Module& m, std::size_t index) {
        return m.signing().signFinal(session, index, signature, signatureLength);
    });
}

CK_RV vtVerifyInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key) {
    return onSession("C_VerifyInit", session, [&](Module& m, std::size_t index) -> CK_RV {
        if (!mechanism) {
            return CKR_ARGUMENTS_BAD;
        }
        return m.signing().verifyInit(session, index, mechanism, key);
    });
}

CK_RV vtVerify(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG dataLength, CK_BYTE_PTR signature,
               CK_ULONG signatureLength) {
    return onSession("C_Verify", session, [&](Module& m, std::size_t) {
        return m.signing().verify(session, data, dataLength, signature, signatureLength);
    });
}

CK_RV vtVerifyUpdate(CK_SESSION_HANDLE session, CK_BYTE_PTR part, CK_ULONG length) {
    return onSession("C_VerifyUpdate", session,
                     [&](Module& m, std::size_t) { return m.signing().verifyUpdate(session, part, length); });
}

CK_RV vtVerifyFinal(CK_SESSION_HANDLE session, CK_BYTE_PTR signature, CK_ULONG signatureLength) {
    return onSession("C_VerifyFinal", session, [&](Module& m, std::size_t) {
        return m.signing().verifyFinal(session, signature, signatureLength);
    });
}

// ---- Key generation (the mechanisms that a slot hides are refused) ----

CK_RV vtGenerateKey(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_ATTRIBUTE_PTR attributes,
                    CK_ULONG count, CK_OBJECT_HANDLE_PTR key) {
    return onSession("C_GenerateKey", session, [&](Module& m, std::size_t index) {
        return m.objects().generateKey(session, index, mechanism, attributes, count, key);
    });
}

CK_RV vtGenerateKeyPair(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_ATTRIBUTE_PTR publicAttributes,
                        CK_ULONG publicCount, CK_ATTRIBUTE_PTR privateAttributes, CK_ULONG privateCount,
                        CK_OBJECT_HANDLE_PTR publicKey, CK_OBJECT_HANDLE_PTR privateKey) {
    return onSession("C_GenerateKeyPair", session, [&](Module& m, std::size_t index) {
        return m.objects().generateKeyPair(session, index, mechanism, publicAttributes, publicCount,
                                           privateAttributes, privateCount, publicKey, privateKey);
    });
}

// ---- Plain forwarding to the backend ----

#define VT_FORWARD(name, parameters, ...)                                                              \
    CK_RV vt##name parameters {                                                                        \
        return onSession("C_" #name, session,                                                          \
                         [&](Module& m, std::size_t) { return m.backend()->C_##name(__VA_ARGS__); }); \
    }

VT_FORWARD(GetOperationState, (CK_SESSION_HANDLE session, CK_BYTE_PTR state, CK_ULONG_PTR length), session, state,
           length)
VT_FORWARD(SetOperationState, (CK_SESSION_HANDLE session, CK_BYTE_PTR state, CK_ULONG length,
                               CK_OBJECT_HANDLE encryptionKey, CK_OBJECT_HANDLE authenticationKey), session, state,
           length, encryptionKey, authenticationKey)
VT_FORWARD(Logout, (CK_SESSION_HANDLE session), session)
VT_FORWARD(CreateObject, (CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR attributes, CK_ULONG count,
                          CK_OBJECT_HANDLE_PTR object), session, attributes, count, object)
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

CK_RV vtWaitForSlotEvent(CK_FLAGS flags, CK_SLOT_ID_PTR slot, CK_VOID_PTR reserved) {
    return call("C_WaitForSlotEvent", "", [&](Module& m) -> CK_RV {
        if (!slot || reserved) {
            return CKR_ARGUMENTS_BAD;
        }
        return m.waitForSlotEvent(flags, *slot);
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
    return call("C_EX_GetTokenInfoExtended", slotTarget(slot), [&](Module& m) -> CK_RV {
        if (!record) {
            return CKR_ARGUMENTS_BAD;
        }
        CK_ULONG size = 0;
        std::memcpy(&size, record + VT_EXTENDED_INFO_SIZE_OFFSET, sizeof size);
        if (size < VT_EXTENDED_INFO_SIZE) {
            return CKR_BUFFER_TOO_SMALL;
        }
        return m.slots().extendedInfo(slot, record);
    });
}

}  // namespace
}  // namespace virtual_token

VT_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    return virtual_token::vtGetFunctionList(list);
}

VT_EXPORT CK_RV C_EX_GetTokenInfoExtended(CK_SLOT_ID slot, CK_BYTE_PTR record) {
    return virtual_token::getTokenInfoExtended(slot, record);
}
