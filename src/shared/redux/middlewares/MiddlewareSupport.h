#pragma once

#include "flowkeep/Middleware.h"
#include "shared/errors/Error.h"

#include <string>

namespace keyvane {

// Yields handleError with the exception in flight. Called from a catch block.
template <class Action>
void yieldCurrentError(const flowkeep::ActionSink<Action>& sink) {
    sink.yield(typename Action::handleError{AnyError::fromCurrentException()});
}

// The text shown under a master-password field for a failed check. The error types of the
// PIN cache carry no user-facing wording of their own, so the field shows the generic
// sentence for a failed operation with the error's type; the description (which may name
// files or library codes) stays in the logs.
inline std::string genericFailureText(const std::string& errorTypeName) {
    return "The operation couldn’t be completed. (" + errorTypeName + " error 0.)";
}

} // namespace keyvane
