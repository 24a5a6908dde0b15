#include "credential_ext/passkey_formats/Tlv.h"

#include "credential_ext/passkey_formats/PasskeyFormatError.h"

#include <algorithm>

namespace keyvane {

namespace {

constexpr std::uint8_t sequenceTag = 0x30;
constexpr std::uint8_t integerTag = 0x02;
constexpr std::size_t coordinateSize = 32;

Bytes wrap(std::uint8_t tag, const Bytes& content) {
    Bytes out{tag};
    const Bytes length = Tlv::encodeLength(content.size());
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

} // namespace

Bytes Tlv::encodeLength(std::size_t length) {
    if (length < 0x80) {
        return {static_cast<std::uint8_t>(length)};
    }
    Bytes digits;
    for (; length != 0; length >>= 8) {
        digits.insert(digits.begin(), static_cast<std::uint8_t>(length & 0xFF));
    }
    digits.insert(digits.begin(), static_cast<std::uint8_t>(0x80 | digits.size()));
    return digits;
}

Bytes Tlv::encode() const {
    if (const auto* list = std::get_if<sequence>(&value)) {
        Bytes content;
        for (const auto& item : list->items) {
            const Bytes encoded = item.encode();
            content.insert(content.end(), encoded.begin(), encoded.end());
        }
        return wrap(sequenceTag, content);
    }
    const Bytes& magnitude = std::get<integer>(value).magnitude;
    if (magnitude.empty()) {
        return wrap(integerTag, {});
    }
    // Minimal: no leading zero bytes but one; a 00 in front when the top bit would make it negative.
    auto first = std::find_if(magnitude.begin(), magnitude.end(), [](std::uint8_t byte) { return byte != 0; });
    if (first == magnitude.end()) {
        first = magnitude.end() - 1;
    }
    Bytes content;
    if ((*first & 0x80) != 0) {
        content.push_back(0);
    }
    content.insert(content.end(), first, magnitude.end());
    return wrap(integerTag, content);
}

Bytes derSignature(std::span<const std::uint8_t> rawSignature) {
    if (rawSignature.size() != 2 * coordinateSize) {
        throw PasskeyFormatError(PasskeyFormatError::invalidSignature{rawSignature.size()});
    }
    const Bytes r(rawSignature.begin(), rawSignature.begin() + coordinateSize);
    const Bytes s(rawSignature.begin() + coordinateSize, rawSignature.end());
    return Tlv(Tlv::sequence{{Tlv::integer{r}, Tlv::integer{s}}}).encode();
}

} // namespace keyvane
