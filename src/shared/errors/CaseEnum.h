#pragma once

#include <type_traits>
#include <utility>
#include <variant>

namespace keyvane {

// An enumeration whose cases may carry payloads: one value of its case structs. Each case
// converts to the enumeration, so `pane = enterPin{token}` reads as the enumeration does, and
// std::visit over `value` with one handler per case is checked by the compiler for
// completeness. Equality exists where every case is comparable. State enumerations derive
// from it directly, error enumerations through ErrorEnum (Error.h): one wrapper for both.
template <class... Cases>
class CaseEnum {
public:
    using Case = std::variant<Cases...>;

    template <class C>
        requires(std::is_same_v<std::remove_cvref_t<C>, Cases> || ...)
    CaseEnum(C&& value) : value(std::forward<C>(value)) {} // NOLINT: cases convert implicitly

    template <class C>
    bool is() const {
        return std::holds_alternative<C>(value);
    }
    template <class C>
    const C* as() const {
        return std::get_if<C>(&value);
    }

    bool operator==(const CaseEnum&) const = default;

    Case value;
};

// Handlers for std::visit, one lambda per case.
template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

} // namespace keyvane
