#pragma once

#include "shared/errors/Error.h"

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace keyvane {

namespace decoding_error {
struct dataCorrupted {
    std::string debugDescription;
};
} // namespace decoding_error

// A stored value that could not be read back as its type.
class DecodingError final : public ErrorEnum<DecodingError, decoding_error::dataCorrupted> {
public:
    using ErrorEnum::ErrorEnum;
    using dataCorrupted = decoding_error::dataCorrupted;

    std::string description() const override { return as<dataCorrupted>()->debugDescription; }
};

// A three-part version number. Stored as "major.minor.patch" in decimal; ordered by major,
// then minor, then patch.
struct Version {
    std::uint64_t major = 0;
    std::uint64_t minor = 0;
    std::uint64_t patch = 0;

    constexpr Version() = default;
    constexpr Version(std::uint64_t major, std::uint64_t minor, std::uint64_t patch)
        : major(major), minor(minor), patch(patch) {}

    // Empty pieces between full stops are dropped ("1..2.3" is 1.2.3); each of the three
    // pieces is decimal digits with an optional leading "+", within 64 bits. Anything else
    // (blanks, signs, a fourth piece) answers nothing.
    static std::optional<Version> parse(std::string_view text);

    // The stored form, and reading it back (DecodingError "Invalid version format").
    std::string encode() const;
    static Version decode(std::string_view text);

    bool operator==(const Version&) const = default;
    auto operator<=>(const Version&) const = default;
};

} // namespace keyvane
