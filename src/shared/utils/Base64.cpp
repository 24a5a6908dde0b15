#include "shared/utils/Base64.h"

#include <array>

namespace keyvane {

namespace {
constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> makeReverse() {
    std::array<int, 256> table{};
    for (auto& entry : table) {
        entry = -1;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = i;
    }
    return table;
}
constexpr auto reverse = makeReverse();
} // namespace

std::string base64Encode(const Bytes& bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned word = (unsigned{bytes[i]} << 16) | (unsigned{bytes[i + 1]} << 8) | bytes[i + 2];
        text += alphabet[(word >> 18) & 63];
        text += alphabet[(word >> 12) & 63];
        text += alphabet[(word >> 6) & 63];
        text += alphabet[word & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const unsigned word = unsigned{bytes[i]} << 16;
        text += alphabet[(word >> 18) & 63];
        text += alphabet[(word >> 12) & 63];
        text += "==";
    } else if (rest == 2) {
        const unsigned word = (unsigned{bytes[i]} << 16) | (unsigned{bytes[i + 1]} << 8);
        text += alphabet[(word >> 18) & 63];
        text += alphabet[(word >> 12) & 63];
        text += alphabet[(word >> 6) & 63];
        text += '=';
    }
    return text;
}

std::optional<Bytes> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    Bytes bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int padding = 0;
        if (last && text[i + 3] == '=') {
            padding = text[i + 2] == '=' ? 2 : 1;
        }
        unsigned word = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            int value = 0;
            if (j >= 4 - static_cast<std::size_t>(padding)) {
                value = 0;
            } else {
                value = reverse[static_cast<unsigned char>(text[i + j])];
                if (value < 0) {
                    return std::nullopt;
                }
            }
            word = (word << 6) | static_cast<unsigned>(value);
        }
        bytes.push_back(static_cast<std::uint8_t>(word >> 16));
        if (padding < 2) {
            bytes.push_back(static_cast<std::uint8_t>(word >> 8));
        }
        if (padding < 1) {
            bytes.push_back(static_cast<std::uint8_t>(word));
        }
        // Non-zero bits hidden under the padding mean a different encoder wrote it.
        if ((padding == 1 && (word & 0xffU) != 0) || (padding == 2 && (word & 0xffffU) != 0)) {
            return std::nullopt;
        }
    }
    return bytes;
}

} // namespace keyvane
