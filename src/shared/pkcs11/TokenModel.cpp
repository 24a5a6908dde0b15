#include "shared/pkcs11/TokenModel.h"

#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/Pkcs11Vendor.h"

#include <algorithm>

namespace keyvane {

namespace {

constexpr const char* getTokenModelFunc = "getTokenModel(tokenInfo:tokenInfoEx:supportedMechs:hwFeaturesObject:)";

bool offers(const std::vector<CK_MECHANISM_TYPE>& mechanisms, CK_MECHANISM_TYPE mechanism) {
    return std::find(mechanisms.begin(), mechanisms.end(), mechanism) != mechanisms.end();
}

} // namespace

TokenModel getTokenModel(const CK_TOKEN_INFO& tokenInfo, const ExtendedTokenInfo& tokenInfoEx,
                         const std::vector<CK_MECHANISM_TYPE>& supportedMechs,
                         const Pkcs11ObjectProtocol& hwFeaturesObject) {
    if (tokenInfoEx.tokenClass != pkcs11_vendor::tokenClassA && tokenInfoEx.tokenClass != pkcs11_vendor::tokenClassB) {
        throw Pkcs11Error::internal(getTokenModelFunc, {.desc = "Неподдерживаемый токен"});
    }
    if (!offers(supportedMechs, CKM_EC_KEY_PAIR_GEN)) {
        return {"Варнел Сигма 2", false};
    }
    const unsigned firmware = tokenInfo.firmwareVersion.major;
    const unsigned hardware = tokenInfo.hardwareVersion.major;
    if (firmware == 28) {
        return {hardware == 60 ? "Варнел Сигма 3 Альфа" : "Варнел Сигма 3", true};
    }
    if (firmware == 30) {
        if (hardware == 60) {
            return {"Варнел Сигма 3 Альфа", true};
        }
        return {hardware == 65 ? "Варнел Сигма 3 Бета" : "Варнел Сигма 3", true};
    }
    if (firmware < 32) {
        return {"Варнел Сигма 3", true};
    }
    try {
        const Bytes name = hwFeaturesObject.getValue(Pkcs11DataAttribute::modelName);
        return {token_info_parser::decodeLossy(name), true};
    } catch (const Pkcs11Error&) {
        throw;
    } catch (...) {
        throw Pkcs11Error::internal(getTokenModelFunc);
    }
}

TokenModel getGenericTokenModel(const ParsedTokenInfo& tokenInfo,
                                const std::vector<CK_MECHANISM_TYPE>& supportedMechs) {
    const bool canSign = offers(supportedMechs, CKM_ECDSA) || offers(supportedMechs, CKM_ECDSA_SHA256);
    return {tokenInfo.model, offers(supportedMechs, CKM_EC_KEY_PAIR_GEN) && canSign};
}

} // namespace keyvane
