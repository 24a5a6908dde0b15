// The virtual token as a PKCS#11 client sees it: loaded with dlopen and called through the
// standard function list and the vendor function.
#include "ForkedProcesses.h"
#include "Pkcs11Client.h"
#include "VirtualTokenFixture.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using keyvane::testing::osLockingArguments;
using keyvane::testing::Pkcs11Client;
using keyvane::testing::virtualTokenModule;
using keyvane::testing::VirtualTokenFixture;
using keyvane::testing::VirtualTokenSettings;
using keyvane::testing::VirtualTouch;
using Bytes = std::vector<unsigned char>;

template <std::size_t N>
std::string field(const unsigned char (&bytes)[N]) {
    return std::string(reinterpret_cast<const char*>(bytes), N);
}

std::string padded(std::string text, std::size_t width) {
    text.resize(width, ' ');
    return text;
}

class VirtualTokenTest : public ::testing::Test, protected Pkcs11Client {
protected:
    CK_FUNCTION_LIST_PTR p11 = functions();

    void start(std::vector<VirtualTokenSettings> tokens) {
        fixture_ = std::make_unique<VirtualTokenFixture>(std::move(tokens));
        initialize();
    }

    void initialize() {
        auto arguments = osLockingArguments();
        ASSERT_EQ(p11->C_Initialize(&arguments), CKR_OK);
        initialized_ = true;
    }

    void finalize() {
        ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        initialized_ = false;
    }

    void TearDown() override {
        if (initialized_) {
            p11->C_Finalize(nullptr);
        }
        fixture_.reset();
    }

    VirtualTokenFixture& fixture() { return *fixture_; }

private:
    std::unique_ptr<VirtualTokenFixture> fixture_;
    bool initialized_ = false;
};

// Verifies a raw r || s ECDSA signature over SHA-256(data) against an uncompressed P-256 point.
bool opensslVerifies(const Bytes& point, const std::string& data, const Bytes& signature) {
    if (signature.size() != 64) {
        return false;
    }
    std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> builder(OSSL_PARAM_BLD_new(), OSSL_PARAM_BLD_free);
    OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0);
    OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size());
    std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> parameters(OSSL_PARAM_BLD_to_param(builder.get()),
                                                                       OSSL_PARAM_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr),
                                                                        EVP_PKEY_CTX_free);
    EVP_PKEY* rawKey = nullptr;
    if (EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &rawKey, EVP_PKEY_PUBLIC_KEY, parameters.get()) != 1) {
        return false;
    }
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(rawKey, EVP_PKEY_free);

    std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> ecdsa(ECDSA_SIG_new(), ECDSA_SIG_free);
    ECDSA_SIG_set0(ecdsa.get(), BN_bin2bn(signature.data(), 32, nullptr), BN_bin2bn(signature.data() + 32, 32, nullptr));
    unsigned char* der = nullptr;
    const int derLength = i2d_ECDSA_SIG(ecdsa.get(), &der);
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> derOwner(der, [](unsigned char* p) { OPENSSL_free(p); });

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> verify(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return derLength > 0 && EVP_DigestVerifyInit(verify.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(verify.get(), der, derLength, reinterpret_cast<const unsigned char*>(data.data()),
                            data.size()) == 1;
}

VirtualTokenSettings touchToken(CK_SLOT_ID slot = 1) {
    VirtualTokenSettings settings;
    settings.slot = slot;
    settings.serial = "12AB34CD";
    settings.label = "Touch token";
    settings.modelName = "Модель с касанием";
    settings.touch = VirtualTouch{2, 15, 30, 20, false, true};
    return settings;
}

VirtualTokenSettings plainToken(CK_SLOT_ID slot = 2) {
    VirtualTokenSettings settings;
    settings.slot = slot;
    settings.serial = "FFFFFFFFFFFFFFFF";
    settings.label = "Plain token";
    settings.model = "Plain";
    settings.hardwareVersion = {65, 0};
    settings.firmwareVersion = {28, 7};
    settings.tokenClass = 1;
    settings.totalMemory = std::nullopt;
    settings.freeMemory = std::nullopt;
    settings.pinRetries = 5;
    return settings;
}

TEST_F(VirtualTokenTest, SlotsAndTokenInformationAreAsConfigured) {
    auto absent = plainToken(9);
    absent.present = false;
    auto rawSerial = plainToken(4);
    rawSerial.extra = {{"serial_bytes", "3132000000000000000000000000ff20"}, {"label_bytes", "3c6e6f206c6162656c3e"}};
    start({touchToken(1), plainToken(2), absent, rawSerial});

    EXPECT_EQ(slotList(CK_TRUE), (std::vector<CK_SLOT_ID>{1, 2, 4}));
    EXPECT_EQ(slotList(CK_FALSE), (std::vector<CK_SLOT_ID>{1, 2, 9, 4}));

    CK_SLOT_INFO slotInfo{};
    ASSERT_EQ(p11->C_GetSlotInfo(9, &slotInfo), CKR_OK);
    EXPECT_EQ(slotInfo.flags & CKF_TOKEN_PRESENT, 0u);
    ASSERT_EQ(p11->C_GetSlotInfo(1, &slotInfo), CKR_OK);
    EXPECT_NE(slotInfo.flags & CKF_TOKEN_PRESENT, 0u);
    EXPECT_NE(slotInfo.flags & CKF_REMOVABLE_DEVICE, 0u);

    CK_TOKEN_INFO info{};
    ASSERT_EQ(p11->C_GetTokenInfo(1, &info), CKR_OK);
    EXPECT_EQ(field(info.serialNumber), padded("12AB34CD", 16));
    EXPECT_EQ(field(info.label), padded("Touch token", 32));
    EXPECT_EQ(field(info.model), padded("Test token", 16));
    EXPECT_EQ(field(info.manufacturerID), padded("Keyvane", 32));
    EXPECT_EQ(info.hardwareVersion.major, 60);
    EXPECT_EQ(info.hardwareVersion.minor, 1);
    EXPECT_EQ(info.firmwareVersion.major, 30);
    EXPECT_EQ(info.firmwareVersion.minor, 2);
    EXPECT_EQ(info.ulTotalPublicMemory, 131072u);
    EXPECT_EQ(info.ulFreePublicMemory, 65536u);
    EXPECT_NE(info.flags & CKF_TOKEN_INITIALIZED, 0u);
    EXPECT_EQ(info.flags & (CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_LOCKED), 0u);

    ASSERT_EQ(p11->C_GetTokenInfo(2, &info), CKR_OK);
    EXPECT_EQ(field(info.serialNumber), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(info.hardwareVersion.major, 65);
    EXPECT_EQ(info.firmwareVersion.major, 28);
    EXPECT_EQ(info.firmwareVersion.minor, 7);
    EXPECT_EQ(info.ulTotalPublicMemory, CK_UNAVAILABLE_INFORMATION);
    EXPECT_EQ(info.ulFreePublicMemory, CK_UNAVAILABLE_INFORMATION);

    // Raw bytes reach the caller untouched, zero bytes and non-UTF-8 included; labels are padded.
    ASSERT_EQ(p11->C_GetTokenInfo(4, &info), CKR_OK);
    EXPECT_EQ(field(info.serialNumber), std::string("12\0\0\0\0\0\0\0\0\0\0\0\0\xff ", 16));
    EXPECT_EQ(field(info.label), padded("<no label>", 32));

    // Free memory follows the control file while the module runs.
    fixture().setFreeMemory(1, 1000);
    ASSERT_EQ(p11->C_GetTokenInfo(1, &info), CKR_OK);
    EXPECT_EQ(info.ulFreePublicMemory, 1000u);

    EXPECT_EQ(p11->C_GetTokenInfo(9, &info), CKR_TOKEN_NOT_PRESENT);
    EXPECT_EQ(p11->C_GetTokenInfo(77, &info), CKR_SLOT_ID_INVALID);
    CK_SESSION_HANDLE session = 0;
    EXPECT_EQ(p11->C_OpenSession(9, CKF_SERIAL_SESSION, nullptr, nullptr, &session), CKR_TOKEN_NOT_PRESENT);
}

TEST_F(VirtualTokenTest, VendorRecordCarriesTouchFlagAttemptsAndClass) {
    auto noRecord = plainToken(3);
    noRecord.vendorRecord = false;
    auto flagged = plainToken(5);
    flagged.extra = {{"vendor_flags", "0x1"}};
    start({touchToken(1), plainToken(2), noRecord, flagged});

    auto [rv, touch] = extendedInfo(1);
    ASSERT_EQ(rv, CKR_OK);
    EXPECT_EQ(touch.word(VT_EXTENDED_INFO_SIZE_OFFSET), VT_EXTENDED_INFO_SIZE);
    EXPECT_EQ(touch.word(VT_EXTENDED_INFO_FLAGS_OFFSET), VT_EXTENDED_FLAG_TOUCH);
    EXPECT_EQ(touch.word(VT_EXTENDED_INFO_USER_PIN_ATTEMPTS_OFFSET), 10u);
    EXPECT_EQ(touch.word(VT_EXTENDED_INFO_TOKEN_CLASS_OFFSET), 9u);
    // Nothing but the four words is written.
    for (std::size_t offset = 0; offset < VT_EXTENDED_INFO_SIZE; offset += 8) {
        if (offset != VT_EXTENDED_INFO_SIZE_OFFSET && offset != VT_EXTENDED_INFO_FLAGS_OFFSET &&
            offset != VT_EXTENDED_INFO_USER_PIN_ATTEMPTS_OFFSET && offset != VT_EXTENDED_INFO_TOKEN_CLASS_OFFSET) {
            EXPECT_EQ(touch.word(offset), 0u) << "offset " << offset;
        }
    }

    auto [plainRv, plain] = extendedInfo(2);
    ASSERT_EQ(plainRv, CKR_OK);
    EXPECT_EQ(plain.word(VT_EXTENDED_INFO_FLAGS_OFFSET), 0u);
    EXPECT_EQ(plain.word(VT_EXTENDED_INFO_USER_PIN_ATTEMPTS_OFFSET), 5u);
    EXPECT_EQ(plain.word(VT_EXTENDED_INFO_TOKEN_CLASS_OFFSET), 1u);
    EXPECT_EQ(extendedInfo(5).second.word(VT_EXTENDED_INFO_FLAGS_OFFSET), 1u);

    EXPECT_EQ(extendedInfo(3).first, CKR_FUNCTION_NOT_SUPPORTED);
    EXPECT_EQ(extendedInfo(1, 128).first, CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(extendedInfo(42).first, CKR_SLOT_ID_INVALID);
    EXPECT_EQ(virtualTokenModule().extended(1, nullptr), CKR_ARGUMENTS_BAD);
    fixture().unplug(1);
    EXPECT_EQ(extendedInfo(1).first, CKR_TOKEN_NOT_PRESENT);
}

TEST_F(VirtualTokenTest, HardwareFeatureObjectsCarryModelNameAndTouchSettings) {
    auto noSettings = touchToken(3);
    noSettings.touch->settingsObject = false;
    auto noModel = plainToken(4);
    noModel.modelName = std::nullopt;
    start({touchToken(1), plainToken(2), noSettings, noModel});
    const auto session = openSession(1);

    const auto models = findHardwareFeature(session, VT_HW_FEATURE_MODEL);
    ASSERT_EQ(models.size(), 1u);
    const auto [rv, name] = readBytes(session, models[0], VT_ATTR_MODEL_NAME);
    ASSERT_EQ(rv, CKR_OK);
    EXPECT_EQ(std::string(name.begin(), name.end()), "Модель с касанием");

    const auto settings = findHardwareFeature(session, VT_HW_FEATURE_TOUCH_SETTINGS);
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_EQ(readUlong(session, settings[0], VT_ATTR_TOUCH_MODE), 2u);
    EXPECT_EQ(readUlong(session, settings[0], VT_ATTR_TOUCH_USER_PRESENT_TIME_LIMIT), 15u);
    EXPECT_EQ(readUlong(session, settings[0], VT_ATTR_TOUCH_USER_ACTION_TIMEOUT), 30u);
    EXPECT_EQ(readUlong(session, settings[0], CKA_CLASS), CKO_HW_FEATURE);

    // Attribute reads follow the standard's rules for missing attributes and short buffers.
    CK_ULONG value = 0;
    CK_ATTRIBUTE missing{CKA_VALUE, &value, sizeof value};
    EXPECT_EQ(p11->C_GetAttributeValue(session, settings[0], &missing, 1), CKR_ATTRIBUTE_TYPE_INVALID);
    EXPECT_EQ(missing.ulValueLen, CK_UNAVAILABLE_INFORMATION);
    unsigned char tiny[2];
    CK_ATTRIBUTE shortBuffer{VT_ATTR_MODEL_NAME, tiny, sizeof tiny};
    EXPECT_EQ(p11->C_GetAttributeValue(session, models[0], &shortBuffer, 1), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(p11->C_DestroyObject(session, models[0]), CKR_ACTION_PROHIBITED);

    // They stay out of searches that do not ask for hardware features, and their handles are
    // only valid in a session of their own token.
    EXPECT_TRUE(find(session, {}).empty());
    const auto plainSession = openSession(2);
    EXPECT_EQ(findHardwareFeature(plainSession, VT_HW_FEATURE_MODEL).size(), 1u);
    EXPECT_TRUE(findHardwareFeature(plainSession, VT_HW_FEATURE_TOUCH_SETTINGS).empty());
    EXPECT_NE(readBytes(plainSession, models[0], VT_ATTR_MODEL_NAME).first, CKR_OK);
    EXPECT_TRUE(findHardwareFeature(openSession(3), VT_HW_FEATURE_TOUCH_SETTINGS).empty());
    EXPECT_EQ(extendedInfo(3).second.word(VT_EXTENDED_INFO_FLAGS_OFFSET), VT_EXTENDED_FLAG_TOUCH);
    EXPECT_TRUE(findHardwareFeature(openSession(4), VT_HW_FEATURE_MODEL).empty());
}

TEST_F(VirtualTokenTest, PinRetryCounterCountsDownLocksAndResetsOnGoodPin) {
    auto token = plainToken(1);
    token.pinRetries = 3;
    start({token});
    const auto session = openSession(1);
    const auto state = [&] {
        CK_TOKEN_INFO info{};
        EXPECT_EQ(p11->C_GetTokenInfo(1, &info), CKR_OK);
        return std::pair{extendedInfo(1).second.word(VT_EXTENDED_INFO_USER_PIN_ATTEMPTS_OFFSET),
                         info.flags & (CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_LOCKED)};
    };

    EXPECT_EQ(login(session, "00000000"), CKR_PIN_INCORRECT);
    EXPECT_EQ(state(), std::pair(CK_ULONG{2}, CK_FLAGS{CKF_USER_PIN_COUNT_LOW}));
    EXPECT_EQ(login(session, ""), CKR_PIN_INCORRECT);
    EXPECT_EQ(state(), std::pair(CK_ULONG{1}, CK_FLAGS{CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY}));
    EXPECT_EQ(login(session, "12345678"), CKR_OK);
    EXPECT_EQ(state(), std::pair(CK_ULONG{3}, CK_FLAGS{0}));
    ASSERT_EQ(p11->C_Logout(session), CKR_OK);

    for (CK_ULONG left = 2; left != CK_ULONG(-1); --left) {
        EXPECT_EQ(login(session, "87654321"), CKR_PIN_INCORRECT);
        EXPECT_EQ(state().first, left);
    }
    EXPECT_EQ(state().second, CKF_USER_PIN_LOCKED);
    EXPECT_EQ(login(session, "12345678"), CKR_PIN_LOCKED);
    EXPECT_EQ(login(session, "00000000"), CKR_PIN_LOCKED);

    // The counter lives on the token: a restart of the library keeps it locked.
    finalize();
    initialize();
    EXPECT_EQ(login(openSession(1), "12345678"), CKR_PIN_LOCKED);
    EXPECT_EQ(state().first, 0u);
}

TEST_F(VirtualTokenTest, EcdsaSha256SignaturesVerifyWithOpenSsl) {
    start({touchToken(1)});
    fixture().setTouchDelay(1, 0);

    CK_ULONG count = 0;
    ASSERT_EQ(p11->C_GetMechanismList(1, nullptr, &count), CKR_OK);
    std::vector<CK_MECHANISM_TYPE> mechanisms(count);
    CK_ULONG tooFew = 1;
    EXPECT_EQ(p11->C_GetMechanismList(1, mechanisms.data(), &tooFew), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(tooFew, count);
    ASSERT_EQ(p11->C_GetMechanismList(1, mechanisms.data(), &count), CKR_OK);
    EXPECT_NE(std::find(mechanisms.begin(), mechanisms.end(), CKM_ECDSA_SHA256), mechanisms.end());
    EXPECT_NE(std::find(mechanisms.begin(), mechanisms.end(), CKM_EC_KEY_PAIR_GEN), mechanisms.end());
    CK_MECHANISM_INFO info{};
    ASSERT_EQ(p11->C_GetMechanismInfo(1, CKM_ECDSA_SHA256, &info), CKR_OK);
    EXPECT_NE(info.flags & CKF_SIGN, 0u);
    EXPECT_LE(info.ulMinKeySize, 256u);
    EXPECT_GE(info.ulMaxKeySize, 256u);

    const auto session = openSession(1);
    ASSERT_EQ(login(session, "12345678"), CKR_OK);
    const auto keys = generateKeyPair(session);
    const auto key = keys.privateKey;
    const auto& point = keys.point;

    const std::string message = "client data of a passkey assertion";
    auto [rv, single] = signSha256(session, key, message);
    ASSERT_EQ(rv, CKR_OK);
    EXPECT_TRUE(opensslVerifies(point, message, single));
    EXPECT_FALSE(opensslVerifies(point, message + ".", single));

    // In parts, the hash runs over the concatenation.
    CK_MECHANISM mechanism{CKM_ECDSA_SHA256, nullptr, 0};
    ASSERT_EQ(p11->C_SignInit(session, &mechanism, key), CKR_OK);
    std::string head = message.substr(0, 7), tail = message.substr(7);
    ASSERT_EQ(p11->C_SignUpdate(session, reinterpret_cast<CK_BYTE_PTR>(head.data()), head.size()), CKR_OK);
    // A second start while one runs is refused and leaves the running hash alone.
    EXPECT_EQ(p11->C_SignInit(session, &mechanism, key), CKR_OPERATION_ACTIVE);
    ASSERT_EQ(p11->C_SignUpdate(session, reinterpret_cast<CK_BYTE_PTR>(tail.data()), tail.size()), CKR_OK);
    CK_ULONG length = 0;
    ASSERT_EQ(p11->C_SignFinal(session, nullptr, &length), CKR_OK);
    Bytes parts(length);
    ASSERT_EQ(p11->C_SignFinal(session, parts.data(), &length), CKR_OK);
    EXPECT_TRUE(opensslVerifies(point, message, Bytes(parts.begin(), parts.begin() + length)));

    // The module verifies its own signatures the same way, and refuses a changed message.
    std::string copy = message;
    ASSERT_EQ(p11->C_VerifyInit(session, &mechanism, keys.publicKey), CKR_OK);
    EXPECT_EQ(p11->C_Verify(session, reinterpret_cast<CK_BYTE_PTR>(copy.data()), copy.size(), single.data(),
                            single.size()),
              CKR_OK);
    copy.back() ^= 1;
    ASSERT_EQ(p11->C_VerifyInit(session, &mechanism, keys.publicKey), CKR_OK);
    EXPECT_EQ(p11->C_Verify(session, reinterpret_cast<CK_BYTE_PTR>(copy.data()), copy.size(), single.data(),
                            single.size()),
              CKR_SIGNATURE_INVALID);
}

TEST_F(VirtualTokenTest, HiddenMechanismsAreNeitherListedNorUsable) {
    auto token = plainToken(1);
    token.hiddenMechanisms = {CKM_EC_KEY_PAIR_GEN, CKM_ECDSA_SHA256};
    start({token});
    CK_ULONG count = 0;
    ASSERT_EQ(p11->C_GetMechanismList(1, nullptr, &count), CKR_OK);
    std::vector<CK_MECHANISM_TYPE> mechanisms(count);
    ASSERT_EQ(p11->C_GetMechanismList(1, mechanisms.data(), &count), CKR_OK);
    EXPECT_EQ(std::find(mechanisms.begin(), mechanisms.end(), CKM_EC_KEY_PAIR_GEN), mechanisms.end());
    EXPECT_EQ(std::find(mechanisms.begin(), mechanisms.end(), CKM_ECDSA_SHA256), mechanisms.end());
    EXPECT_NE(std::find(mechanisms.begin(), mechanisms.end(), CKM_ECDSA), mechanisms.end());
    CK_MECHANISM_INFO info{};
    EXPECT_EQ(p11->C_GetMechanismInfo(1, CKM_EC_KEY_PAIR_GEN, &info), CKR_MECHANISM_INVALID);

    const auto session = openSession(1);
    ASSERT_EQ(login(session, "12345678"), CKR_OK);
    CK_MECHANISM generate{CKM_EC_KEY_PAIR_GEN, nullptr, 0};
    CK_OBJECT_HANDLE publicKey = 0, privateKey = 0;
    EXPECT_EQ(p11->C_GenerateKeyPair(session, &generate, nullptr, 0, nullptr, 0, &publicKey, &privateKey),
              CKR_MECHANISM_INVALID);
}

TEST_F(VirtualTokenTest, TouchDelaysTheSignatureOrRejectsItAsTimedOut) {
    start({touchToken(1)});
    const auto session = openSession(1);
    ASSERT_EQ(login(session, "12345678"), CKR_OK);
    fixture().setTouchDelay(1, 0);
    const auto keys = generateKeyPair(session);

    fixture().setTouchDelay(1, 40);
    const auto began = std::chrono::steady_clock::now();
    const auto [rv, signature] = signSha256(session, keys.privateKey, "data");
    EXPECT_EQ(rv, CKR_OK);
    EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(40));
    EXPECT_TRUE(opensslVerifies(keys.point, "data", signature));

    fixture().setTouchDelay(1, 0);
    fixture().setTouchOutcome(1, true);
    EXPECT_EQ(signSha256(session, keys.privateKey, "data").first, CKR_FUNCTION_REJECTED);
    // The rejected operation is over: the next one starts afresh and, confirmed, succeeds.
    fixture().setTouchOutcome(1, false);
    const auto [again, confirmed] = signSha256(session, keys.privateKey, "data");
    EXPECT_EQ(again, CKR_OK);
    EXPECT_TRUE(opensslVerifies(keys.point, "data", confirmed));
}

TEST_F(VirtualTokenTest, PlainTokenSignsWithoutTouch) {
    auto token = plainToken(1);
    token.extra = {{"touch", nullptr}};
    start({token});
    fixture().setTouchOutcome(1, true);  // no touch on this token, so nothing to reject
    const auto session = openSession(1);
    ASSERT_EQ(login(session, "12345678"), CKR_OK);
    const auto keys = generateKeyPair(session);
    EXPECT_EQ(signSha256(session, keys.privateKey, "data").first, CKR_OK);
}

TEST_F(VirtualTokenTest, HotPlugIsReportedThroughSlotEvents) {
    auto second = plainToken(2);
    second.present = false;
    start({touchToken(1), second});
    CK_SLOT_ID slot = 0;
    EXPECT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_NO_EVENT);

    fixture().plug(2);
    ASSERT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_OK);
    EXPECT_EQ(slot, 2u);
    EXPECT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_NO_EVENT);
    EXPECT_EQ(slotList(CK_TRUE), (std::vector<CK_SLOT_ID>{1, 2}));

    // A removed token takes its sessions and its login with it.
    const auto session = openSession(1);
    ASSERT_EQ(login(session, "12345678"), CKR_OK);
    fixture().unplug(1);
    ASSERT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_OK);
    EXPECT_EQ(slot, 1u);
    CK_SLOT_INFO slotInfo{};
    ASSERT_EQ(p11->C_GetSlotInfo(1, &slotInfo), CKR_OK);
    EXPECT_EQ(slotInfo.flags & CKF_TOKEN_PRESENT, 0u);
    EXPECT_EQ(slotList(CK_TRUE), (std::vector<CK_SLOT_ID>{2}));
    EXPECT_EQ(login(session, "12345678"), CKR_DEVICE_REMOVED);

    fixture().plug(1);
    ASSERT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_OK);
    EXPECT_EQ(slot, 1u);
    CK_SESSION_INFO sessionInfo{};
    const auto fresh = openSession(1);
    ASSERT_EQ(p11->C_GetSessionInfo(fresh, &sessionInfo), CKR_OK);
    EXPECT_EQ(sessionInfo.slotID, 1u);
    EXPECT_EQ(sessionInfo.state, CKS_RW_PUBLIC_SESSION);

    // Pulled out and put back between two polls is still one event, and the session is gone.
    fixture().unplug(1);
    fixture().plug(1);
    ASSERT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_OK);
    EXPECT_EQ(slot, 1u);
    EXPECT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_NO_EVENT);
    EXPECT_EQ(p11->C_GetSessionInfo(fresh, &sessionInfo), CKR_DEVICE_REMOVED);

    // A blocking wait returns once the control file changes.
    CK_SLOT_ID waited = 0;
    CK_RV waitResult = CKR_GENERAL_ERROR;
    std::thread waiter([&] { waitResult = p11->C_WaitForSlotEvent(0, &waited, nullptr); });
    fixture().unplug(2);
    waiter.join();
    EXPECT_EQ(waitResult, CKR_OK);
    EXPECT_EQ(waited, 2u);
}

TEST_F(VirtualTokenTest, BlockingWaitEndsWhenTheLibraryIsFinalised) {
    start({touchToken(1)});
    CK_RV waitResult = CKR_OK;
    std::thread waiter([&] {
        CK_SLOT_ID slot = 0;
        waitResult = p11->C_WaitForSlotEvent(0, &slot, nullptr);
    });
    // The waiter either is already blocked or starts after the library has gone; both end.
    finalize();
    waiter.join();
    EXPECT_EQ(waitResult, CKR_CRYPTOKI_NOT_INITIALIZED);
}

TEST_F(VirtualTokenTest, InjectedFaultsAnswerOnTheirCallWithoutRunningIt) {
    start({plainToken(1)});
    const auto session = openSession(1);
    const auto attempts = [&] { return extendedInfo(1).second.word(VT_EXTENDED_INFO_USER_PIN_ATTEMPTS_OFFSET); };

    fixture().injectFault("C_Login", CKR_DEVICE_ERROR, 2);
    EXPECT_EQ(login(session, "00000000"), CKR_PIN_INCORRECT);
    EXPECT_EQ(login(session, "00000000"), CKR_DEVICE_ERROR);
    EXPECT_EQ(attempts(), 4u) << "a faulted call never reaches the token";
    EXPECT_EQ(login(session, "12345678"), CKR_OK);

    struct Case {
        const char* function;
        CK_RV rv;
        std::uint64_t onCall;
        std::uint64_t times;
        std::vector<CK_RV> expected;
    };
    const std::vector<Case> cases = {
        {"C_GetSlotList", CKR_DEVICE_ERROR, 1, 1, {CKR_DEVICE_ERROR, CKR_OK, CKR_OK}},
        {"C_GetSlotList", CKR_CRYPTOKI_NOT_INITIALIZED, 2, 0,
         {CKR_OK, CKR_CRYPTOKI_NOT_INITIALIZED, CKR_CRYPTOKI_NOT_INITIALIZED}},
        {"C_GetSlotList", CKR_HOST_MEMORY, 1, 2, {CKR_HOST_MEMORY, CKR_HOST_MEMORY, CKR_OK}},
    };
    for (const auto& c : cases) {
        fixture().clearFaults();
        fixture().injectFault(c.function, c.rv, c.onCall, c.times);
        std::vector<CK_RV> results;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            CK_ULONG count = 0;
            results.push_back(p11->C_GetSlotList(CK_TRUE, nullptr, &count));
        }
        EXPECT_EQ(results, c.expected) << c.function << " on call " << c.onCall << " times " << c.times;
    }
    fixture().clearFaults();

    // A fault set before the library starts applies to C_Initialize itself.
    finalize();
    fixture().injectFault("C_Initialize", CKR_DEVICE_ERROR);
    auto arguments = osLockingArguments();
    EXPECT_EQ(p11->C_Initialize(&arguments), CKR_DEVICE_ERROR);
    CK_ULONG count = 0;
    EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_CRYPTOKI_NOT_INITIALIZED);
    fixture().clearFaults();
    initialize();
}

TEST_F(VirtualTokenTest, FaultsCanDelayACallAndLogItsSessionOut) {
    start({plainToken(1)});
    const auto session = openSession(1);
    const auto loggedIn = [&] {
        CK_SESSION_INFO info{};
        EXPECT_EQ(p11->C_GetSessionInfo(session, &info), CKR_OK);
        return info.state == CKS_RW_USER_FUNCTIONS;
    };
    ASSERT_EQ(login(session, "12345678"), CKR_OK);
    const auto keys = generateKeyPair(session);
    CK_OBJECT_CLASS privateKey = CKO_PRIVATE_KEY;
    const std::vector<CK_ATTRIBUTE> privateKeys{{CKA_CLASS, &privateKey, sizeof privateKey}};

    // The second search runs after the logout: the private key is out of its sight.
    fixture().injectLogout("C_FindObjectsInit", 2);
    EXPECT_EQ(find(session, privateKeys), std::vector{keys.privateKey});
    EXPECT_TRUE(loggedIn());
    EXPECT_TRUE(find(session, privateKeys).empty());
    EXPECT_FALSE(loggedIn());
    ASSERT_EQ(login(session, "12345678"), CKR_OK);

    // A wait runs the call afterwards, or answers the fault's value instead.
    fixture().injectDelay("C_GetSessionInfo", 60);
    auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(loggedIn());
    EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(60));
    fixture().injectDelay("C_GetSessionInfo", 60, 1, 1, CKR_DEVICE_ERROR);
    began = std::chrono::steady_clock::now();
    CK_SESSION_INFO info{};
    EXPECT_EQ(p11->C_GetSessionInfo(session, &info), CKR_DEVICE_ERROR);
    EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(60));

    // A logout needs the call's session.
    fixture().injectLogout("C_GetSlotList");
    CK_ULONG count = 0;
    EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_GENERAL_ERROR);
    EXPECT_TRUE(loggedIn());
}

TEST_F(VirtualTokenTest, CallLogRecordsEachCallWithItsThreadAndResult) {
    start({touchToken(1)});
    fixture().clearCallLog();
    CK_TOKEN_INFO info{};
    ASSERT_EQ(p11->C_GetTokenInfo(1, &info), CKR_OK);
    std::int64_t otherThread = 0;
    std::thread([&] {
        otherThread = VirtualTokenFixture::currentThreadId();
        EXPECT_EQ(p11->C_GetTokenInfo(7, &info), CKR_SLOT_ID_INVALID);
    }).join();
    CK_SESSION_HANDLE session = openSession(1);
    EXPECT_EQ(login(session, "1"), CKR_PIN_INCORRECT);

    const auto calls = fixture().callLog();
    ASSERT_EQ(calls.size(), 4u);
    const auto self = VirtualTokenFixture::currentThreadId();
    EXPECT_EQ(calls[0].function, "C_GetTokenInfo");
    EXPECT_EQ(calls[0].target, "slot=1");
    EXPECT_EQ(calls[0].threadId, self);
    EXPECT_EQ(calls[0].rv, CKR_OK);
    EXPECT_EQ(calls[1].function, "C_GetTokenInfo");
    EXPECT_EQ(calls[1].threadId, otherThread);
    EXPECT_NE(otherThread, self);
    EXPECT_EQ(calls[1].rv, CKR_SLOT_ID_INVALID);
    EXPECT_EQ(calls[2].function, "C_OpenSession");
    EXPECT_EQ(calls[3].function, "C_Login");
    EXPECT_EQ(calls[3].target, "session=" + std::to_string(session));
    EXPECT_EQ(calls[3].rv, CKR_PIN_INCORRECT);
    for (std::size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].sequence, calls[i - 1].sequence + 1);
    }
    // The log holds function names and results only: no PIN reaches it.
    std::ifstream file(fixture().directory() / "calls.log");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("12345678"), std::string::npos);
}

TEST_F(VirtualTokenTest, ConcurrentSessionsSignIndependently) {
    start({touchToken(1)});
    fixture().setTouchDelay(1, 0);
    const auto setup = openSession(1);
    ASSERT_EQ(login(setup, "12345678"), CKR_OK);
    const auto keys = generateKeyPair(setup);

    std::vector<std::thread> threads;
    std::vector<int> verified(4, 0);
    for (std::size_t t = 0; t < verified.size(); ++t) {
        threads.emplace_back([&, t] {
            CK_SESSION_HANDLE session = 0;
            ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION, nullptr, nullptr, &session), CKR_OK);
            for (int i = 0; i < 10; ++i) {
                const auto message = "thread " + std::to_string(t) + " message " + std::to_string(i);
                const auto [rv, signature] = signSha256(session, keys.privateKey, message);
                verified[t] += rv == CKR_OK && opensslVerifies(keys.point, message, signature);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(verified, std::vector<int>(4, 10));
}

// Processes that write one token at once each see every object that all of them wrote, as on a
// hardware token, though the backend keeps a view of its store per process.
TEST(VirtualTokenProcessesTest, ProcessesWritingAtOnceSeeEachOthersObjects) {
    VirtualTokenFixture fixture({plainToken(1)});
    const std::filesystem::path marks = fixture.directory();
    constexpr int processes = 3;
    constexpr int objectsEach = 15;
    const auto mark = [&](int index) { return marks / ("written-" + std::to_string(index)); };
    const auto reports = keyvane::test_support::runInForkedProcesses(processes, [&](int index) {
        Pkcs11Client client;
        CK_FUNCTION_LIST_PTR p11 = client.functions();
        const auto write = [&]() -> std::string {
            auto arguments = osLockingArguments();
            if (const CK_RV rv = p11->C_Initialize(&arguments); rv != CKR_OK) {
                return "failed: initialize " + std::to_string(rv);
            }
            const auto session = client.openSession(1);
            if (const CK_RV rv = client.login(session, "12345678"); rv != CKR_OK) {
                return "failed: login " + std::to_string(rv);
            }
            CK_OBJECT_CLASS dataClass = CKO_DATA;
            CK_BBOOL yes = CK_TRUE;
            for (int i = 0; i < objectsEach; ++i) {
                std::string value = std::to_string(index) + "/" + std::to_string(i);
                CK_ATTRIBUTE object[] = {{CKA_CLASS, &dataClass, sizeof dataClass},
                                         {CKA_TOKEN, &yes, sizeof yes},
                                         {CKA_PRIVATE, &yes, sizeof yes},
                                         {CKA_VALUE, value.data(), value.size()}};
                CK_OBJECT_HANDLE handle = 0;
                if (const CK_RV rv = p11->C_CreateObject(session, object, 4, &handle); rv != CKR_OK) {
                    return "failed: create " + std::to_string(rv);
                }
            }
            return "";
        };
        std::string report = write();
        std::ofstream(mark(index)).close(); // also after a failure: the others must not wait in vain
        if (!report.empty()) {
            return report;
        }
        for (int other = 0; other < processes; ++other) {
            for (int tries = 0; !std::filesystem::exists(mark(other)); ++tries) {
                if (tries == 6000) {
                    return std::string("failed: process ") + std::to_string(other) + " never wrote";
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        CK_OBJECT_CLASS dataClass = CKO_DATA;
        const auto seen = client.find(client.openSession(1), {{CKA_CLASS, &dataClass, sizeof dataClass}}).size();
        p11->C_Finalize(nullptr);
        return std::to_string(seen);
    });
    EXPECT_EQ(reports, std::vector<std::string>(processes, std::to_string(processes * objectsEach)));
}

class VirtualTokenStartTest : public ::testing::Test {
protected:
    CK_FUNCTION_LIST_PTR p11 = virtualTokenModule().functions;
};

TEST_F(VirtualTokenStartTest, BadConfigurationFailsInitialisationCleanly) {
    VirtualTokenFixture fixture({plainToken(1)});
    const auto config = fixture.configPath();
    std::ifstream original(config);
    const auto valid = nlohmann::json::parse(original);

    struct Case {
        const char* why;
        std::optional<std::string> text;  // nullopt: the variable is unset
    };
    auto unknownKey = valid;
    unknownKey["slots"][0]["colour"] = "red";
    auto noBacking = valid;
    noBacking["slots"][0]["backing_label"] = "no such token";
    auto longSerial = valid;
    longSerial["slots"][0]["serial"] = "0123456789ABCDEF0";
    auto twice = valid;
    twice["slots"].push_back(valid["slots"][0]);
    auto badBackend = valid;
    badBackend["backend"] = "/nonexistent/libnothing.so";
    auto idleFault = valid;
    idleFault["faults"] = nlohmann::json::array({{{"function", "C_Login"}, {"call", 2}}});
    const std::vector<Case> cases = {
        {"unset", std::nullopt},
        {"not JSON", "{"},
        {"unknown key", unknownKey.dump()},
        {"missing backing token", noBacking.dump()},
        {"serial longer than its field", longSerial.dump()},
        {"slot twice", twice.dump()},
        {"backend missing", badBackend.dump()},
        {"fault that does nothing", idleFault.dump()},
    };
    for (const auto& c : cases) {
        const auto path = fixture.directory() / "case.json";
        if (c.text) {
            std::ofstream(path) << *c.text;
            ::setenv("KEYVANE_VIRTUAL_TOKEN_CONFIG", path.c_str(), 1);
        } else {
            ::unsetenv("KEYVANE_VIRTUAL_TOKEN_CONFIG");
        }
        auto arguments = osLockingArguments();
        EXPECT_EQ(p11->C_Initialize(&arguments), CKR_GENERAL_ERROR) << c.why;
        CK_ULONG count = 0;
        EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_CRYPTOKI_NOT_INITIALIZED) << c.why;
    }

    ::setenv("KEYVANE_VIRTUAL_TOKEN_CONFIG", config.c_str(), 1);
    // Only the operating system's locks are offered.
    CK_C_INITIALIZE_ARGS callbacks{};
    callbacks.CreateMutex = [](CK_VOID_PTR_PTR) -> CK_RV { return CKR_OK; };
    callbacks.DestroyMutex = [](CK_VOID_PTR) -> CK_RV { return CKR_OK; };
    callbacks.LockMutex = [](CK_VOID_PTR) -> CK_RV { return CKR_OK; };
    callbacks.UnlockMutex = [](CK_VOID_PTR) -> CK_RV { return CKR_OK; };
    EXPECT_EQ(p11->C_Initialize(&callbacks), CKR_CANT_LOCK);

    auto arguments = osLockingArguments();
    ASSERT_EQ(p11->C_Initialize(&arguments), CKR_OK);
    EXPECT_EQ(p11->C_Initialize(&arguments), CKR_CRYPTOKI_ALREADY_INITIALIZED);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    EXPECT_EQ(p11->C_Finalize(nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);
}

}  // namespace
