#pragma once

#include <string>
#include <variant>

namespace keyvane {

namespace pkcs11_token_event {
// A token was opened in a slot and entered the manager's table.
struct added {
    std::string serial;
    bool operator==(const added&) const = default;
};
// The token known in a slot left the table.
struct removed {
    std::string serial;
    bool operator==(const removed&) const = default;
};
} // namespace pkcs11_token_event

// One element of the token monitoring stream.
struct Pkcs11TokenEvent {
    using added = pkcs11_token_event::added;
    using removed = pkcs11_token_event::removed;

    std::variant<added, removed> value;

    Pkcs11TokenEvent(added value) : value(std::move(value)) {}   // NOLINT: cases convert implicitly
    Pkcs11TokenEvent(removed value) : value(std::move(value)) {} // NOLINT: cases convert implicitly

    template <class C>
    const C* as() const {
        return std::get_if<C>(&value);
    }
    const std::string& serial() const {
        return std::visit([](const auto& event) -> const std::string& { return event.serial; }, value);
    }
    bool operator==(const Pkcs11TokenEvent&) const = default;
};

} // namespace keyvane
