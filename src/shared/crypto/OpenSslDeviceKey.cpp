#include "shared/crypto/OpenSslDeviceKey.h"

#include "shared/crypto/OpenSslError.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/obj_mac.h>
#include <openssl/param_build.h>
#include <openssl/x509.h>

namespace keyvane {

namespace {

struct CtxDeleter {
    void operator()(EVP_PKEY_CTX* ctx) const noexcept { EVP_PKEY_CTX_free(ctx); }
};
using CtxPtr = std::unique_ptr<EVP_PKEY_CTX, CtxDeleter>;
struct BnDeleter {
    void operator()(BIGNUM* bn) const noexcept { BN_clear_free(bn); }
};
struct GroupDeleter {
    void operator()(EC_GROUP* group) const noexcept { EC_GROUP_free(group); }
};
struct PointDeleter {
    void operator()(EC_POINT* point) const noexcept { EC_POINT_free(point); }
};
struct BuildDeleter {
    void operator()(OSSL_PARAM_BLD* build) const noexcept { OSSL_PARAM_BLD_free(build); }
};
struct ParamsDeleter {
    void operator()(OSSL_PARAM* params) const noexcept { OSSL_PARAM_free(params); }
};
struct Pkcs8Deleter {
    void operator()(PKCS8_PRIV_KEY_INFO* info) const noexcept { PKCS8_PRIV_KEY_INFO_free(info); }
};

constexpr char curveName[] = "prime256v1";

// An EVP key from its parts: the public point alone, or with the private scalar.
EvpPkeyPtr keyFromData(const Bytes& publicPoint, const BIGNUM* privateScalar) {
    std::unique_ptr<OSSL_PARAM_BLD, BuildDeleter> build(OSSL_PARAM_BLD_new());
    if (!build ||
        !OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, curveName, 0) ||
        !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, publicPoint.data(),
                                          publicPoint.size()) ||
        (privateScalar != nullptr && !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_PRIV_KEY, privateScalar))) {
        throw OpenSslError("OSSL_PARAM_BLD");
    }
    std::unique_ptr<OSSL_PARAM, ParamsDeleter> params(OSSL_PARAM_BLD_to_param(build.get()));
    CtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* raw = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &raw, privateScalar != nullptr ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                          params.get()) <= 0) {
        throw OpenSslError("EVP_PKEY_fromdata");
    }
    return EvpPkeyPtr(raw);
}

} // namespace

std::shared_ptr<OpenSslDeviceKey> OpenSslDeviceKey::generate() {
    EVP_PKEY* raw = EVP_EC_gen(curveName);
    if (raw == nullptr) {
        throw OpenSslError("EVP_EC_gen");
    }
    return std::make_shared<OpenSslDeviceKey>(EvpPkeyPtr(raw));
}

std::shared_ptr<OpenSslDeviceKey> OpenSslDeviceKey::fromPrivateScalar(const Bytes& scalar) {
    std::unique_ptr<BIGNUM, BnDeleter> d(BN_bin2bn(scalar.data(), static_cast<int>(scalar.size()), nullptr));
    std::unique_ptr<EC_GROUP, GroupDeleter> group(EC_GROUP_new_by_curve_name(NID_X9_62_prime256v1));
    if (!d || !group || BN_is_zero(d.get()) || BN_cmp(d.get(), EC_GROUP_get0_order(group.get())) >= 0) {
        throw OpenSslError("fromPrivateScalar");
    }
    std::unique_ptr<EC_POINT, PointDeleter> point(EC_POINT_new(group.get()));
    if (!point || !EC_POINT_mul(group.get(), point.get(), d.get(), nullptr, nullptr, nullptr)) {
        throw OpenSslError("EC_POINT_mul");
    }
    Bytes publicPoint(65);
    if (EC_POINT_point2oct(group.get(), point.get(), POINT_CONVERSION_UNCOMPRESSED, publicPoint.data(),
                           publicPoint.size(), nullptr) != publicPoint.size()) {
        throw OpenSslError("EC_POINT_point2oct");
    }
    return std::make_shared<OpenSslDeviceKey>(keyFromData(publicPoint, d.get()));
}

std::shared_ptr<OpenSslDeviceKey> OpenSslDeviceKey::fromDer(const Bytes& der) {
    const unsigned char* cursor = der.data();
    std::unique_ptr<PKCS8_PRIV_KEY_INFO, Pkcs8Deleter> info(
        d2i_PKCS8_PRIV_KEY_INFO(nullptr, &cursor, static_cast<long>(der.size())));
    if (!info) {
        throw OpenSslError("d2i_PKCS8_PRIV_KEY_INFO");
    }
    EvpPkeyPtr key(EVP_PKCS82PKEY(info.get()));
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_EC) {
        throw OpenSslError("EVP_PKCS82PKEY");
    }
    char group[64] = {};
    std::size_t groupLength = 0;
    if (!EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &groupLength) ||
        std::string(group, groupLength) != curveName) {
        throw OpenSslError("device key is not a P-256 key");
    }
    return std::make_shared<OpenSslDeviceKey>(std::move(key));
}

SecureBytes OpenSslDeviceKey::toDer() const {
    std::unique_ptr<PKCS8_PRIV_KEY_INFO, Pkcs8Deleter> info(EVP_PKEY2PKCS8(key_.get()));
    if (!info) {
        throw OpenSslError("EVP_PKEY2PKCS8");
    }
    const int length = i2d_PKCS8_PRIV_KEY_INFO(info.get(), nullptr);
    if (length <= 0) {
        throw OpenSslError("i2d_PKCS8_PRIV_KEY_INFO");
    }
    SecureBytes der(static_cast<std::size_t>(length));
    unsigned char* cursor = der.data();
    if (i2d_PKCS8_PRIV_KEY_INFO(info.get(), &cursor) != length) {
        throw OpenSslError("i2d_PKCS8_PRIV_KEY_INFO");
    }
    return der;
}

Bytes OpenSslDeviceKey::publicKey() const {
    std::size_t length = 0;
    if (!EVP_PKEY_get_octet_string_param(key_.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, nullptr, 0, &length)) {
        throw OpenSslError("EVP_PKEY_get_octet_string_param");
    }
    Bytes point(length);
    if (!EVP_PKEY_get_octet_string_param(key_.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point.data(), point.size(),
                                         &length)) {
        throw OpenSslError("EVP_PKEY_get_octet_string_param");
    }
    point.resize(length);
    return point;
}

SecureBytes OpenSslDeviceKey::keyAgreement(const Bytes& peerPublicKey) const {
    const EvpPkeyPtr peer = keyFromData(peerPublicKey, nullptr);
    CtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key_.get(), nullptr));
    std::size_t length = 0;
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) <= 0 || EVP_PKEY_derive_set_peer(ctx.get(), peer.get()) <= 0 ||
        EVP_PKEY_derive(ctx.get(), nullptr, &length) <= 0) {
        throw OpenSslError("EVP_PKEY_derive");
    }
    SecureBytes shared(length);
    if (EVP_PKEY_derive(ctx.get(), shared.data(), &length) <= 0) {
        throw OpenSslError("EVP_PKEY_derive");
    }
    shared.resize(length);
    return shared;
}

} // namespace keyvane
