#include "shared/utils/Utf8.h"

namespace keyvane {

bool isValidUtf8(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        std::size_t length = 0;
        std::uint32_t minimum = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if ((lead & 0xe0) == 0xc0) {
            length = 2;
            minimum = 0x80;
            code = lead & 0x1f;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3;
            minimum = 0x800;
            code = lead & 0x0f;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4;
            minimum = 0x10000;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (bytes.size() - i < length) {
            return false;
        }
        for (std::size_t j = 1; j < length; ++j) {
            if ((bytes[i + j] & 0xc0) != 0x80) {
                return false;
            }
            code = (code << 6) | (bytes[i + j] & 0x3f);
        }
        if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
            return false;
        }
        i += length;
    }
    return true;
}

} // namespace keyvane
