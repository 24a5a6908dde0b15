#pragma once

#include <cstdint>
#include <variant>

namespace keyvane {

// The touch settings of a token, stored as the token reports them.
struct Pkcs11TouchTokenInfo {
    std::uint64_t touchMode = 0;
    std::uint64_t userPresentTimeLimit = 0;
    std::uint64_t userActionTimeout = 0;
    bool operator==(const Pkcs11TouchTokenInfo&) const = default;
};

namespace pkcs11_token_interaction_type {
// Key operations wait for a touch on the token.
struct touch {
    Pkcs11TouchTokenInfo info;
    bool operator==(const touch&) const = default;
};
struct plain {
    bool operator==(const plain&) const = default;
};
} // namespace pkcs11_token_interaction_type

// Whether key operations need a touch on the token.
struct Pkcs11TokenInteractionType {
    using touch = pkcs11_token_interaction_type::touch;
    using plain = pkcs11_token_interaction_type::plain;

    std::variant<plain, touch> value;

    Pkcs11TokenInteractionType() = default;
    Pkcs11TokenInteractionType(plain value) : value(value) {} // NOLINT: cases convert implicitly
    Pkcs11TokenInteractionType(touch value) : value(value) {} // NOLINT: cases convert implicitly

    bool isTouch() const { return std::holds_alternative<touch>(value); }
    const Pkcs11TouchTokenInfo* touchInfo() const {
        const auto* found = std::get_if<touch>(&value);
        return found != nullptr ? &found->info : nullptr;
    }
    bool operator==(const Pkcs11TokenInteractionType&) const = default;
};

} // namespace keyvane
