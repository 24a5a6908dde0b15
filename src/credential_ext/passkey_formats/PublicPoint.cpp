#include "credential_ext/passkey_formats/PublicPoint.h"

#include "credential_ext/passkey_formats/PasskeyFormatError.h"

#include <openssl/ec.h>
#include <openssl/obj_mac.h>

#include <memory>

namespace keyvane {

namespace {

constexpr std::size_t coordinateSize = 32;
constexpr std::size_t bareSize = 1 + 2 * coordinateSize;

struct GroupFree {
    void operator()(EC_GROUP* group) const { EC_GROUP_free(group); }
};
struct PointFree {
    void operator()(EC_POINT* point) const { EC_POINT_free(point); }
};

PasskeyFormatError invalid(std::string reason) { return PasskeyFormatError::invalidPublicKey{std::move(reason)}; }

} // namespace

PublicPoint PublicPoint::fromEcPoint(const Bytes& ecPoint) {
    const std::uint8_t* bare = nullptr;
    if (ecPoint.size() == bareSize + 2 && ecPoint[0] == 0x04 && ecPoint[1] == bareSize) {
        bare = ecPoint.data() + 2;
    } else if (ecPoint.size() == bareSize) {
        bare = ecPoint.data();
    } else {
        throw invalid("CKA_EC_POINT of " + std::to_string(ecPoint.size()) + " bytes is not a P-256 point");
    }
    if (bare[0] != 0x04) {
        throw invalid("the point is not in uncompressed form");
    }

    const std::unique_ptr<EC_GROUP, GroupFree> group(EC_GROUP_new_by_curve_name(NID_X9_62_prime256v1));
    const std::unique_ptr<EC_POINT, PointFree> point(group ? EC_POINT_new(group.get()) : nullptr);
    if (!point) {
        throw invalid("the curve is not available");
    }
    // Decoding refuses coordinates outside the field and points off the curve.
    if (EC_POINT_oct2point(group.get(), point.get(), bare, bareSize, nullptr) != 1 ||
        EC_POINT_is_on_curve(group.get(), point.get(), nullptr) != 1) {
        throw invalid("the point is not on the P-256 curve");
    }
    return {Bytes(bare + 1, bare + 1 + coordinateSize), Bytes(bare + 1 + coordinateSize, bare + bareSize)};
}

} // namespace keyvane
