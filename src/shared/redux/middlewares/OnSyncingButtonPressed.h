#pragma once

#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/redux/ExtensionError.h"
#include "shared/redux/middlewares/MiddlewareSupport.h"

#include <memory>

namespace keyvane {

// Publishing passkeys to AutoFill needs the extension turned on: go on with startSync when it
// is, or once the user agrees to turn it on; a refusal is reported.
template <class Action>
class OnSyncingButtonPressed final : public flowkeep::Middleware<Action> {
public:
    OnSyncingButtonPressed() : autofillExtensionHelper_(Dependencies::get(keyvane::autofillExtensionHelper)) {}

    std::optional<flowkeep::ActionStream<Action>> process(const Action& action) override {
        if (!action.template is<typename Action::syncingButtonPressed>()) {
            return std::nullopt;
        }
        return flowkeep::runTask<Action>([helper = autofillExtensionHelper_](const flowkeep::ActionSink<Action>& sink) {
            if (helper->isEnabled() || helper->requestToTurnOnExtension()) {
                sink.yield(typename Action::startSync{});
            } else {
                sink.yield(typename Action::handleError{AnyError(ExtensionError(ExtensionError::userDeniedExtensionRequest{}))});
            }
        });
    }

private:
    std::shared_ptr<AutofillExtensionHelperProtocol> autofillExtensionHelper_;
};

} // namespace keyvane
