#pragma once

#include "shared/pkcs11/Pkcs11TokenVersion.h"
#include "shared/utils/Bytes.h"

#include <p11-kit/pkcs11.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace keyvane {

// What Keyvane shows of a token, read from its CK_TOKEN_INFO.
struct ParsedTokenInfo {
    std::optional<std::string> label; // absent when the token reports a placeholder
    std::string serial;               // the serial in Keyvane's text form
    // The serial number as the token reports it, in full: the text form keeps only its low
    // 32 bits, so two tokens can share one text form but never this.
    std::string serialNumber;
    std::string model;                // the model field, trimmed (for tokens without vendor data)
    Pkcs11TokenVersion version;
    std::optional<std::uint64_t> totalMemory; // absent when the token does not tell
    bool operator==(const ParsedTokenInfo&) const = default;
};

namespace token_info_parser {

// The text of a fixed-size field: every byte decoded as UTF-8 (nothing when a byte sequence
// is not valid UTF-8), white space and line breaks trimmed at both ends. Zero bytes are kept.
std::optional<std::string> fixedFieldText(std::span<const std::uint8_t> field);

// UTF-8 with every invalid sequence replaced by U+FFFD.
std::string decodeLossy(std::span<const std::uint8_t> bytes);

// A hexadecimal number with an optional sign, unsigned 64-bit (a negative number wraps, as
// its two's complement); nothing for an empty text, another character or an overflow.
std::optional<std::uint64_t> parseHex(std::string_view text);

// The serial's text form: the low 32 bits as a signed number, at least ten digits.
std::string serialText(std::uint64_t number);

// A label that ends with one of the placeholders that tokens without a label report.
bool isPlaceholderLabel(std::string_view label);

// Label, serial, model, versions and memory. A serial or label that cannot be read is a
// Pkcs11Error (func "init(with:)", no return value).
ParsedTokenInfo parse(const CK_TOKEN_INFO& info);

} // namespace token_info_parser
} // namespace keyvane
