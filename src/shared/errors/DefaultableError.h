#pragma once

#include "shared/errors/Error.h"

#include <exception>
#include <type_traits>
#include <utility>

namespace keyvane {

// The services whose failures all leave as their own type (token login, passkeys, token and
// passkey records) derive from this. The derived type provides
//     static Derived makeDefaultError(const AnyError& error);
// answering its general case with the operation "makeDefaultError(_:)", the line of that
// statement and the error as the underlying error.
template <class Derived>
class DefaultableError {
public:
    // The error unchanged when it already is of the service's type; otherwise wrapped by
    // makeDefaultError. Never fails.
    static Derived from(const AnyError& error) {
        if (const auto* own = error.template as<Derived>()) {
            return *own;
        }
        return Derived::makeDefaultError(error);
    }

    static Derived from(const std::exception_ptr& exception) { return from(AnyError::from(exception)); }

    // Runs the operation and lets any failure leave only as the service's own type.
    template <class Operation>
    static auto mapping(Operation&& operation) -> std::invoke_result_t<Operation&> {
        try {
            return operation();
        } catch (...) {
            throw from(std::current_exception());
        }
    }
};

} // namespace keyvane
