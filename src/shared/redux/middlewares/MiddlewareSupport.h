#pragma once

#include "flowkeep/Middleware.h"
#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/errors/Error.h"
#include "shared/localization/LocalizedStrings.h"
#include "shared/redux/AppAlert.h"


namespace keyvane {

// Yields handleError with the exception in flight. Called from a catch block.
template <class Action>
void yieldCurrentError(const flowkeep::ActionSink<Action>& sink) {
    sink.yield(typename Action::handleError{AnyError::fromCurrentException()});
}

// What a master-password field shows when the check itself failed (the PIN cache could not be
// read, not a wrong password): a sentence in the user's language, short enough for the
// field's two lines. What went wrong (files, library codes, the failing operation) goes to the
// log, never to the screen; an error's description never holds a secret.
inline MasterPassAuthError masterPasswordCheckFailed(const Error& error) {
    qCWarning(userErrorLog).noquote() << "The master password could not be checked:" << QString::fromStdString(error.description());
    return MasterPassAuthError::text{LocalizedStrings::text("EnterGrandPass_OperationFailed_Error").toStdString()};
}

} // namespace keyvane
