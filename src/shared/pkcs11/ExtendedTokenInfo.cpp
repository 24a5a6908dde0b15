#include "shared/pkcs11/ExtendedTokenInfo.h"

#include "shared/pkcs11/Pkcs11Vendor.h"

#include <cstring>

namespace keyvane {

namespace {
std::uint64_t wordAt(std::span<const std::uint8_t> record, std::size_t offset) {
    std::uint64_t word = 0;
    std::memcpy(&word, record.data() + offset, sizeof word);
    return word;
}
} // namespace

std::optional<ExtendedTokenInfo> ExtendedTokenInfo::parse(std::span<const std::uint8_t> record) {
    if (record.size() < pkcs11_vendor::extendedInfoTokenClassOffset + sizeof(std::uint64_t)) {
        return std::nullopt;
    }
    return ExtendedTokenInfo{wordAt(record, pkcs11_vendor::extendedInfoFlagsOffset),
                             wordAt(record, pkcs11_vendor::extendedInfoUserPinAttemptsOffset),
                             wordAt(record, pkcs11_vendor::extendedInfoTokenClassOffset)};
}

bool ExtendedTokenInfo::needsTouch() const { return (flags & pkcs11_vendor::extendedFlagTouchRequired) != 0; }

} // namespace keyvane
