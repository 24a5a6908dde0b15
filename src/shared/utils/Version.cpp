#include "shared/utils/Version.h"

#include <array>
#include <charconv>
#include <vector>

namespace keyvane {

namespace {

// strtoull would accept leading blanks and wrap "-1"; only digits (after one optional "+")
// are a number here.
std::optional<std::uint64_t> parseUnsigned(std::string_view piece) {
    if (!piece.empty() && piece.front() == '+') {
        piece.remove_prefix(1);
    }
    if (piece.empty()) {
        return std::nullopt;
    }
    for (const char c : piece) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (error != std::errc() || end != piece.data() + piece.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<Version> Version::parse(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t stop = text.find('.', start);
        const std::size_t end = stop == std::string_view::npos ? text.size() : stop;
        if (end > start) {
            pieces.push_back(text.substr(start, end - start));
        }
        if (stop == std::string_view::npos) {
            break;
        }
        start = stop + 1;
    }
    if (pieces.size() != 3) {
        return std::nullopt;
    }
    std::array<std::uint64_t, 3> numbers{};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto number = parseUnsigned(pieces[i]);
        if (!number) {
            return std::nullopt;
        }
        numbers[i] = *number;
    }
    return Version(numbers[0], numbers[1], numbers[2]);
}

std::string Version::encode() const {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

Version Version::decode(std::string_view text) {
    if (auto version = parse(text)) {
        return *version;
    }
    throw DecodingError(DecodingError::dataCorrupted{"Invalid version format"});
}

} // namespace keyvane
