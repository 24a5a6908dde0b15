#include "shared/pkcs11/TokenInfoParser.h"

#include "shared/errors/Error.h"
#include "shared/pkcs11/Pkcs11Error.h"

#include <cstdio>
#include <limits>
#include <vector>

namespace keyvane::token_info_parser {

namespace {

constexpr char32_t invalidCodePoint = 0xFFFFFFFF;

struct Decoded {
    char32_t codePoint; // invalidCodePoint when the sequence is not valid UTF-8
    std::size_t length; // bytes consumed: the sequence, or its longest valid prefix (at least 1)
};

// One UTF-8 sequence at the start of the bytes, following the well-formed byte table of
// Unicode (no overlong forms, no surrogates, nothing above U+10FFFF).
Decoded decodeOne(std::span<const std::uint8_t> bytes) {
    const std::uint8_t lead = bytes[0];
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    char32_t codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {invalidCodePoint, 1};
    }
    for (std::size_t index = 1; index < length; ++index) {
        if (index >= bytes.size() || bytes[index] < low || bytes[index] > high) {
            return {invalidCodePoint, index};
        }
        codePoint = (codePoint << 6) | (bytes[index] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {codePoint, length};
}

void appendUtf8(std::string& text, char32_t codePoint) {
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        text += static_cast<char>(0xC0 | (codePoint >> 6));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += static_cast<char>(0xE0 | (codePoint >> 12));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (codePoint >> 18));
        text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// White space and line breaks: the separators of Unicode and the C0 and C1 line controls.
bool isWhiteSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

constexpr const char* parseFunc = "init(with:)";

} // namespace

std::optional<std::string> fixedFieldText(std::span<const std::uint8_t> field) {
    std::vector<char32_t> codePoints;
    codePoints.reserve(field.size());
    while (!field.empty()) {
        const Decoded decoded = decodeOne(field);
        if (decoded.codePoint == invalidCodePoint) {
            return std::nullopt;
        }
        codePoints.push_back(decoded.codePoint);
        field = field.subspan(decoded.length);
    }
    std::size_t begin = 0;
    std::size_t end = codePoints.size();
    while (begin < end && isWhiteSpace(codePoints[begin])) {
        ++begin;
    }
    while (end > begin && isWhiteSpace(codePoints[end - 1])) {
        --end;
    }
    std::string text;
    for (std::size_t index = begin; index < end; ++index) {
        appendUtf8(text, codePoints[index]);
    }
    return text;
}

std::string decodeLossy(std::span<const std::uint8_t> bytes) {
    std::string text;
    while (!bytes.empty()) {
        const Decoded decoded = decodeOne(bytes);
        appendUtf8(text, decoded.codePoint == invalidCodePoint ? U'\uFFFD' : decoded.codePoint);
        bytes = bytes.subspan(decoded.length);
    }
    return text;
}

std::optional<std::uint64_t> parseHex(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    for (const char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0 || magnitude > (std::numeric_limits<std::uint64_t>::max() >> 4)) {
            return std::nullopt;
        }
        magnitude = (magnitude << 4) | static_cast<std::uint64_t>(digit);
    }
    if (negative) {
        // A negative serial is kept only within the signed range it always had.
        if (magnitude > (std::uint64_t{1} << 63)) {
            return std::nullopt;
        }
        return std::uint64_t{0} - magnitude;
    }
    return magnitude;
}

std::string serialText(std::uint64_t number) {
    const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(number & 0xFFFFFFFFu));
    char text[16];
    std::snprintf(text, sizeof text, "%.10d", low);
    return text;
}

bool isPlaceholderLabel(std::string_view label) {
    return label.ends_with("<no label>") || label.ends_with("<corrupted label!>");
}

ParsedTokenInfo parse(const CK_TOKEN_INFO& info) {
    ParsedTokenInfo parsed;
    const auto serialField = fixedFieldText(info.serialNumber);
    if (!serialField) {
        throw Pkcs11Error::internal(parseFunc);
    }
    const auto number = parseHex(*serialField);
    if (!number) {
        throw Pkcs11Error::internal(parseFunc);
    }
    parsed.serial = serialText(*number);
    parsed.serialNumber = *serialField;

    const auto label = fixedFieldText(info.label);
    if (!label) {
        throw Pkcs11Error::internal(parseFunc);
    }
    if (!isPlaceholderLabel(*label)) {
        parsed.label = *label;
    }

    // Only used where no vendor data names the model: a broken byte is shown, never fatal.
    const std::string model = decodeLossy(info.model);
    parsed.model =
        fixedFieldText(std::span(reinterpret_cast<const std::uint8_t*>(model.data()), model.size())).value_or(model);

    parsed.version = {info.hardwareVersion.major, info.hardwareVersion.minor, info.firmwareVersion.major,
                      info.firmwareVersion.minor};
    if (info.ulTotalPublicMemory != CK_UNAVAILABLE_INFORMATION) {
        parsed.totalMemory = info.ulTotalPublicMemory;
    }
    return parsed;
}

} // namespace keyvane::token_info_parser
