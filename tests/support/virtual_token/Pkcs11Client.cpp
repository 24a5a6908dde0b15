#include "Pkcs11Client.h"

#include "VirtualTokenFixture.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <stdexcept>

namespace keyvane::testing {

const VirtualTokenModule& virtualTokenModule() {
    static const VirtualTokenModule loaded = [] {
        VirtualTokenModule result;
        void* handle = ::dlopen(VirtualTokenFixture::modulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            throw std::runtime_error(::dlerror());
        }
        auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(::dlsym(handle, "C_GetFunctionList"));
        result.extended =
            reinterpret_cast<VT_C_EX_GetTokenInfoExtended>(::dlsym(handle, VT_EXTENDED_INFO_FUNCTION_NAME));
        if (!getFunctionList || getFunctionList(&result.functions) != CKR_OK || !result.extended) {
            throw std::runtime_error("the module lacks its entry points");
        }
        return result;
    }();
    return loaded;
}

CK_C_INITIALIZE_ARGS osLockingArguments() {
    CK_C_INITIALIZE_ARGS arguments{};
    arguments.flags = CKF_OS_LOCKING_OK;
    return arguments;
}

CK_ULONG ExtendedRecord::word(std::size_t offset) const {
    CK_ULONG value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

CK_SESSION_HANDLE Pkcs11Client::openSession(CK_SLOT_ID slot) const {
    CK_SESSION_HANDLE session = 0;
    EXPECT_EQ(functions()->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session),
              CKR_OK);
    return session;
}

CK_RV Pkcs11Client::login(CK_SESSION_HANDLE session, std::string pin) const {
    return functions()->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(pin.data()), pin.size());
}

std::pair<CK_RV, ExtendedRecord> Pkcs11Client::extendedInfo(CK_SLOT_ID slot, CK_ULONG size) const {
    ExtendedRecord record;
    std::memcpy(record.bytes.data(), &size, sizeof size);
    const CK_RV rv = module_.extended(slot, record.bytes.data());
    return {rv, record};
}

std::vector<CK_SLOT_ID> Pkcs11Client::slotList(CK_BBOOL tokenPresent) const {
    CK_ULONG count = 0;
    EXPECT_EQ(functions()->C_GetSlotList(tokenPresent, nullptr, &count), CKR_OK);
    std::vector<CK_SLOT_ID> slots(count);
    EXPECT_EQ(functions()->C_GetSlotList(tokenPresent, slots.data(), &count), CKR_OK);
    slots.resize(count);
    return slots;
}

std::vector<CK_OBJECT_HANDLE> Pkcs11Client::find(CK_SESSION_HANDLE session,
                                                 std::vector<CK_ATTRIBUTE> attributes) const {
    EXPECT_EQ(functions()->C_FindObjectsInit(session, attributes.data(), attributes.size()), CKR_OK);
    std::vector<CK_OBJECT_HANDLE> found;
    while (true) {
        std::array<CK_OBJECT_HANDLE, 16> batch{};
        CK_ULONG count = 0;
        EXPECT_EQ(functions()->C_FindObjects(session, batch.data(), batch.size(), &count), CKR_OK);
        found.insert(found.end(), batch.begin(), batch.begin() + count);
        if (count == 0) {
            break;
        }
    }
    EXPECT_EQ(functions()->C_FindObjectsFinal(session), CKR_OK);
    return found;
}

std::vector<CK_OBJECT_HANDLE> Pkcs11Client::findHardwareFeature(CK_SESSION_HANDLE session, CK_ULONG type) const {
    static CK_OBJECT_CLASS hardwareFeature = CKO_HW_FEATURE;
    return find(session,
                {{CKA_CLASS, &hardwareFeature, sizeof hardwareFeature}, {CKA_HW_FEATURE_TYPE, &type, sizeof type}});
}

std::pair<CK_RV, std::vector<unsigned char>> Pkcs11Client::readBytes(CK_SESSION_HANDLE session,
                                                                     CK_OBJECT_HANDLE object,
                                                                     CK_ATTRIBUTE_TYPE type) const {
    CK_ATTRIBUTE attribute{type, nullptr, 0};
    if (const CK_RV rv = functions()->C_GetAttributeValue(session, object, &attribute, 1); rv != CKR_OK) {
        return {rv, {}};
    }
    std::vector<unsigned char> value(attribute.ulValueLen);
    attribute.pValue = value.data();
    const CK_RV rv = functions()->C_GetAttributeValue(session, object, &attribute, 1);
    value.resize(rv == CKR_OK ? attribute.ulValueLen : 0);
    return {rv, value};
}

CK_ULONG Pkcs11Client::readUlong(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const {
    CK_ULONG value = 0;
    CK_ATTRIBUTE attribute{type, &value, sizeof value};
    EXPECT_EQ(functions()->C_GetAttributeValue(session, object, &attribute, 1), CKR_OK);
    return value;
}

TokenKeyPair Pkcs11Client::generateKeyPair(CK_SESSION_HANDLE session) const {
    static const unsigned char p256[] = {0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07};
    CK_BBOOL yes = CK_TRUE;
    CK_MECHANISM mechanism{CKM_EC_KEY_PAIR_GEN, nullptr, 0};
    std::vector<CK_ATTRIBUTE> publicTemplate = {{CKA_EC_PARAMS, const_cast<unsigned char*>(p256), sizeof p256},
                                                {CKA_TOKEN, &yes, sizeof yes},
                                                {CKA_VERIFY, &yes, sizeof yes}};
    std::vector<CK_ATTRIBUTE> privateTemplate = {
        {CKA_TOKEN, &yes, sizeof yes}, {CKA_PRIVATE, &yes, sizeof yes}, {CKA_SIGN, &yes, sizeof yes}};
    CK_OBJECT_HANDLE publicKey = 0;
    CK_OBJECT_HANDLE privateKey = 0;
    EXPECT_EQ(functions()->C_GenerateKeyPair(session, &mechanism, publicTemplate.data(), publicTemplate.size(),
                                             privateTemplate.data(), privateTemplate.size(), &publicKey, &privateKey),
              CKR_OK);
    auto [rv, point] = readBytes(session, publicKey, CKA_EC_POINT);
    EXPECT_EQ(rv, CKR_OK);
    // The point arrives wrapped in a DER OCTET STRING: 04 41 || 04 X Y.
    EXPECT_EQ(point.size(), 67u);
    return {publicKey, privateKey,
            point.size() > 2 ? std::vector<unsigned char>(point.begin() + 2, point.end()) : std::vector<unsigned char>{}};
}

std::pair<CK_RV, std::vector<unsigned char>> Pkcs11Client::signSha256(CK_SESSION_HANDLE session,
                                                                      CK_OBJECT_HANDLE key,
                                                                      const std::string& data) const {
    CK_MECHANISM mechanism{CKM_ECDSA_SHA256, nullptr, 0};
    if (const CK_RV rv = functions()->C_SignInit(session, &mechanism, key); rv != CKR_OK) {
        return {rv, {}};
    }
    CK_ULONG length = 0;
    auto* bytes = reinterpret_cast<CK_BYTE_PTR>(const_cast<char*>(data.data()));
    if (const CK_RV rv = functions()->C_Sign(session, bytes, data.size(), nullptr, &length); rv != CKR_OK) {
        return {rv, {}};
    }
    std::vector<unsigned char> signature(length);
    const CK_RV rv = functions()->C_Sign(session, bytes, data.size(), signature.data(), &length);
    signature.resize(rv == CKR_OK ? length : 0);
    return {rv, signature};
}

}  // namespace keyvane::testing
