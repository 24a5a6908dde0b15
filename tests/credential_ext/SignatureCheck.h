#pragma once

#include "credential_ext/passkey_formats/PublicPoint.h"
#include "shared/utils/Bytes.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

namespace keyvane::testing {

// Whether OpenSSL accepts the DER signature as ECDSA-SHA256 over the data by the P-256 key of
// the point: the check a relying party makes.
inline bool verifiesDer(const PublicPoint& point, const Bytes& data, const Bytes& derSignature) {
    Bytes uncompressed{0x04};
    uncompressed.insert(uncompressed.end(), point.x.begin(), point.x.end());
    uncompressed.insert(uncompressed.end(), point.y.begin(), point.y.end());
    char group[] = "prime256v1";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, uncompressed.data(), uncompressed.size()),
        OSSL_PARAM_construct_end()};
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr),
                                                                        EVP_PKEY_CTX_free);
    EVP_PKEY* raw = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &raw, EVP_PKEY_PUBLIC_KEY, const_cast<OSSL_PARAM*>(params)) != 1) {
        return false;
    }
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(raw, EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> digest(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return EVP_DigestVerifyInit(digest.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(digest.get(), derSignature.data(), derSignature.size(), data.data(), data.size()) == 1;
}

} // namespace keyvane::testing
