#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/TokenModel.h"

#include <gtest/gtest.h>

namespace keyvane {
namespace {

// The hardware-feature object, answering a model name or a failure and counting reads.
class FakeFeatureObject final : public Pkcs11ObjectProtocol {
public:
    std::uint64_t object() const override { return 1; }
    std::uint64_t session() const override { return 1; }
    Bytes getValue(Pkcs11DataAttribute attribute) const override {
        ++reads;
        EXPECT_EQ(attribute, Pkcs11DataAttribute::modelName);
        if (failure) {
            std::rethrow_exception(failure);
        }
        return name;
    }
    std::uint64_t getValue(Pkcs11CkUlongAttribute) const override { return 0; }
    bool getValue(Pkcs11BoolAttribute) const override { return false; }
    void deleteObject() const override {}

    Bytes name;
    std::exception_ptr failure;
    mutable int reads = 0;
};

CK_TOKEN_INFO versions(unsigned firmware, unsigned hardware) {
    CK_TOKEN_INFO info{};
    info.firmwareVersion.major = static_cast<CK_BYTE>(firmware);
    info.hardwareVersion.major = static_cast<CK_BYTE>(hardware);
    return info;
}

const std::vector<CK_MECHANISM_TYPE> withKeyGeneration{CKM_EC_KEY_PAIR_GEN, CKM_ECDSA};
const std::vector<CK_MECHANISM_TYPE> withoutKeyGeneration{CKM_ECDSA, CKM_RSA_PKCS};

TEST(TokenModelTest, ModelTable) {
    struct Row {
        unsigned firmware;
        unsigned hardware;
        const char* model;
        int reads;
    };
    const Row rows[] = {
        {28, 60, "Варнел Сигма 3 Альфа", 0}, {28, 65, "Варнел Сигма 3", 0},
        {30, 60, "Варнел Сигма 3 Альфа", 0}, {30, 65, "Варнел Сигма 3 Бета", 0},
        {30, 61, "Варнел Сигма 3", 0},       {31, 60, "Варнел Сигма 3", 0},
        {0, 0, "Варнел Сигма 3", 0},         {32, 60, "Сигма 4 Про", 1},
        {255, 1, "Сигма 4 Про", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.firmware) + "/" + std::to_string(row.hardware));
        FakeFeatureObject feature;
        const std::string name = "Сигма 4 Про";
        feature.name = Bytes(name.begin(), name.end());
        const auto model = getTokenModel(versions(row.firmware, row.hardware), {0, 0, 1}, withKeyGeneration, feature);
        EXPECT_EQ(model, (TokenModel{row.model, true}));
        EXPECT_EQ(feature.reads, row.reads);
    }
}

TEST(TokenModelTest, NoKeyGenerationIsTheOlderUnsupportedModel) {
    FakeFeatureObject feature;
    for (const auto& info : {versions(30, 65), versions(40, 1)}) {
        EXPECT_EQ(getTokenModel(info, {0, 0, 9}, withoutKeyGeneration, feature), (TokenModel{"Варнел Сигма 2", false}));
    }
    EXPECT_EQ(feature.reads, 0);
}

TEST(TokenModelTest, UnsupportedClassFailsBeforeAnythingElse) {
    FakeFeatureObject feature;
    for (const std::uint64_t tokenClass : {0ULL, 2ULL, 8ULL, 10ULL}) {
        try {
            getTokenModel(versions(30, 65), {0, 0, tokenClass}, withoutKeyGeneration, feature);
            ADD_FAILURE() << "class " << tokenClass << " should be refused";
        } catch (const Pkcs11Error& error) {
            EXPECT_EQ(error, Pkcs11Error(Pkcs11Error::internalError{
                                 "getTokenModel(tokenInfo:tokenInfoEx:supportedMechs:hwFeaturesObject:)",
                                 error.as<Pkcs11Error::internalError>()->line, "Неподдерживаемый токен",
                                 std::nullopt}));
        }
    }
}

TEST(TokenModelTest, ModelNameReadFailures) {
    FakeFeatureObject feature;
    const Pkcs11Error readError =
        Pkcs11Error::internalError{"getValue(forAttr:)", 10, std::nullopt, CKR_ATTRIBUTE_TYPE_INVALID};
    feature.failure = std::make_exception_ptr(readError);
    try {
        getTokenModel(versions(32, 1), {0, 0, 1}, withKeyGeneration, feature);
        ADD_FAILURE();
    } catch (const Pkcs11Error& error) {
        EXPECT_EQ(error, readError); // the layer's own error passes unchanged
    }

    feature.failure = std::make_exception_ptr(std::runtime_error("elsewhere"));
    try {
        getTokenModel(versions(32, 1), {0, 0, 1}, withKeyGeneration, feature);
        ADD_FAILURE();
    } catch (const Pkcs11Error& error) {
        const auto* internal = error.as<Pkcs11Error::internalError>();
        ASSERT_NE(internal, nullptr);
        EXPECT_EQ(internal->func, "getTokenModel(tokenInfo:tokenInfoEx:supportedMechs:hwFeaturesObject:)");
        EXPECT_FALSE(internal->desc);
        EXPECT_FALSE(internal->rv);
    }
}

TEST(TokenModelTest, ModelNameWithBrokenBytesIsShownWithReplacements) {
    FakeFeatureObject feature;
    feature.name = Bytes{'X', 0xFF, 'Y'};
    EXPECT_EQ(getTokenModel(versions(33, 1), {0, 0, 1}, withKeyGeneration, feature).model, "X\uFFFDY");
}

TEST(TokenModelTest, GenericProfileNeedsKeyGenerationAndEcdsa) {
    ParsedTokenInfo info;
    info.model = "SoftHSM v2";
    const std::pair<std::vector<CK_MECHANISM_TYPE>, bool> cases[] = {
        {{CKM_EC_KEY_PAIR_GEN, CKM_ECDSA}, true},
        {{CKM_EC_KEY_PAIR_GEN, CKM_ECDSA_SHA256}, true},
        {{CKM_EC_KEY_PAIR_GEN}, false},
        {{CKM_ECDSA, CKM_ECDSA_SHA256}, false},
        {{}, false},
    };
    for (const auto& [mechanisms, supported] : cases) {
        EXPECT_EQ(getGenericTokenModel(info, mechanisms), (TokenModel{"SoftHSM v2", supported}));
    }
}

} // namespace
} // namespace keyvane
