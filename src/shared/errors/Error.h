#pragma once

#include "shared/errors/CaseEnum.h"

#include <concepts>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <variant>

namespace keyvane {

class AnyError;

// The source line recorded in every error that names where it was raised.
using SourceLine = std::uint64_t;

// The source line of the caller, for the line field of an error case. A builtin rather than
// std::source_location: clang 14 (the fuzz build) cannot use libstdc++'s.
inline SourceLine sourceLine(SourceLine line = __builtin_LINE()) { return line; }

// Base of every error value of the system. Services throw their own error type (a value
// type derived from ErrorValue) and nothing else; middlewares catch, carry the error in an
// action as AnyError, and the alert table recognises it by type and case.
//
// description() is what logs and debug output show. It never holds a secret: no PIN,
// password or key material is ever put into an error.
class Error : public std::exception {
public:
    ~Error() override = default;
    const char* what() const noexcept override { return typeid(*this).name(); }
    virtual std::string description() const = 0;
    virtual std::shared_ptr<const Error> clone() const = 0;
    [[noreturn]] virtual void raise() const = 0;

protected:
    Error() = default;
    Error(const Error&) = default;
    Error& operator=(const Error&) = default;
};

// Gives an error type its copy and rethrow as its own dynamic type.
template <class Derived>
class ErrorValue : public Error {
public:
    std::shared_ptr<const Error> clone() const override {
        return std::make_shared<Derived>(static_cast<const Derived&>(*this));
    }
    [[noreturn]] void raise() const override { throw static_cast<const Derived&>(*this); }
};

// Any error, held by value (shared and immutable). The underlying error of a general error
// case, and the payload of the handleError action.
class AnyError {
public:
    template <class E>
        requires std::derived_from<E, Error>
    AnyError(const E& error) : error_(error.clone()) {} // NOLINT: implicit on purpose

    // The exception in flight, as an error value. Errors of ours keep their type; other
    // exceptions become a ForeignError with their type name and text.
    static AnyError fromCurrentException();
    static AnyError from(const std::exception_ptr& exception);

    template <class E>
    const E* as() const {
        return dynamic_cast<const E*>(error_.get());
    }
    template <class E>
    bool is() const {
        return as<E>() != nullptr;
    }

    const Error& get() const { return *error_; }
    std::string description() const { return error_->description(); }
    [[noreturn]] void raise() const {
        error_->raise();
        std::terminate(); // unreachable: raise() always throws
    }

    friend std::ostream& operator<<(std::ostream& out, const AnyError& error) {
        return out << error.description();
    }

private:
    explicit AnyError(std::shared_ptr<const Error> error) : error_(std::move(error)) {}
    std::shared_ptr<const Error> error_;
};

// A plain text raised as an error, for example "Token not found".
class TextError final : public ErrorValue<TextError> {
public:
    explicit TextError(std::string text) : text(std::move(text)) {}
    std::string description() const override { return text; }
    bool operator==(const TextError& other) const { return text == other.text; }

    std::string text;
};

// An exception that did not come from this system (a library's std::exception).
class ForeignError final : public ErrorValue<ForeignError> {
public:
    ForeignError(std::string typeName, std::string message)
        : typeName(std::move(typeName)), message(std::move(message)) {}
    std::string description() const override { return typeName + ": " + message; }

    std::string typeName;
    std::string message;
};

// A service's error enumeration: one value of its cases. The case structs are declared
// before the error type (in a namespace of their own) and named again inside it:
//     namespace passkey_manager_error { struct generalError {...}; struct tokenNotFound {}; }
//     class PasskeyManagerError final
//         : public ErrorEnum<PasskeyManagerError, passkey_manager_error::generalError, ...> {
//         using ErrorEnum::ErrorEnum; ...
// Each case converts to the error, so `throw PasskeyManagerError(tokenNotFound{})` reads as
// the enumeration does; the general case is built by general(). The cases are held by the
// same CaseEnum as every state enumeration.
template <class Derived, class... Cases>
class ErrorEnum : public ErrorValue<Derived>, public CaseEnum<Cases...> {
public:
    using CaseEnum<Cases...>::CaseEnum;

    // The one builder of an error type's general case (`generalError`): the operation, the
    // caller's line and the cause, which is another error or a text. Types whose general case
    // keeps no cause take the operation alone.
    static Derived general(std::string function, std::optional<AnyError> cause = std::nullopt,
                           SourceLine line = __builtin_LINE()) {
        using General = typename Derived::generalError;
        if constexpr (requires { General{std::move(function), line, std::move(cause)}; }) {
            return Derived(General{std::move(function), line, std::move(cause)});
        } else {
            return Derived(General{std::move(function), line});
        }
    }
    static Derived general(std::string function, std::string text, SourceLine line = __builtin_LINE()) {
        return general(std::move(function), AnyError(TextError(std::move(text))), line);
    }
};

// The text of a general error case: "operation (line N): underlying".
std::string describeGeneralError(const std::string& errorType, const std::string& function, SourceLine line,
                                 const std::optional<AnyError>& underlying);

} // namespace keyvane
