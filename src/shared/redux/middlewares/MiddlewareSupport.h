#pragma once

#include "flowkeep/Middleware.h"
#include "shared/errors/Error.h"
#include "shared/localization/LocalizedStrings.h"

#include <string>

namespace keyvane {

// Yields handleError with the exception in flight. Called from a catch block.
template <class Action>
void yieldCurrentError(const flowkeep::ActionSink<Action>& sink) {
    sink.yield(typename Action::handleError{AnyError::fromCurrentException()});
}

// The text shown under a master-password field for a failed check, in the user's language.
// The error types of the PIN cache carry no user-facing wording of their own, so the field
// shows the localised sentence for a failed operation with the error's type; the description
// (which may name files or library codes) stays in the logs.
inline std::string genericFailureText(const std::string& errorTypeName) {
    return LocalizedStrings::format("EnterGrandPass_OperationFailed_Error", {QString::fromStdString(errorTypeName)})
        .toStdString();
}

} // namespace keyvane
