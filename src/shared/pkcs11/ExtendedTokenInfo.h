#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace keyvane {

// The words of the vendor's extended token information record that Keyvane reads.
struct ExtendedTokenInfo {
    std::uint64_t flags = 0;
    std::uint64_t userPinAttemptsLeft = 0;
    std::uint64_t tokenClass = 0;

    // Reads the words at their offsets; nothing when the record is too short to hold them.
    static std::optional<ExtendedTokenInfo> parse(std::span<const std::uint8_t> record);

    bool needsTouch() const;
    bool operator==(const ExtendedTokenInfo&) const = default;
};

} // namespace keyvane
