#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace keyvane {

// What the state, the views and the record store know of one token. Identified and hashed by
// its serial alone; two values are equal only when every field is equal.
struct TokenInfo {
    std::optional<std::string> label; // absent when the token reports a placeholder
    std::string model;
    std::string serial;
    std::string version; // hardware and firmware major.minor, joined by full stops
    std::uint64_t totalMemory = 0;
    std::optional<std::uint64_t> availableMemory; // absent when it was not read
    bool isSupported = false;

    const std::string& id() const { return serial; }
    bool operator==(const TokenInfo&) const = default;
};

} // namespace keyvane

template <>
struct std::hash<keyvane::TokenInfo> {
    std::size_t operator()(const keyvane::TokenInfo& token) const noexcept {
        return std::hash<std::string>{}(token.serial);
    }
};
