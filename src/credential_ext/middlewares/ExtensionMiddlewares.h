#pragma once

#include "credential_ext/middlewares/ExtMiddleware.h"
#include "credential_ext/middlewares/RegistrationOutcome.h"
#include "credential_ext/platform/AuthenticationServices.h"
#include "credential_ext/state/AppState.h"
#include "flowkeep/MainExecutor.h"

#include <memory>
#include <vector>

namespace keyvane::ext {

using ExtMiddlewareList = std::vector<std::shared_ptr<ExtMiddleware>>;

// The middleware list of each kind of request's store, in the order the store offers an action
// to them. Built inside the request's dependency scope: every middleware keeps the services it
// reads there. The context receives the request's one answer; a registration's outcome is
// shared with whatever answers the request cancelled.
ExtMiddlewareList makeRegistrationMiddlewares(flowkeep::MainExecutor& executor,
                                              std::shared_ptr<ASCredentialProviderExtensionContext> context,
                                              std::shared_ptr<RegistrationOutcome> outcome);
ExtMiddlewareList makeCredentialListMiddlewares(flowkeep::MainExecutor& executor,
                                                std::shared_ptr<ASCredentialProviderExtensionContext> context,
                                                const AuthState& request);
ExtMiddlewareList makeProvideCredentialMiddlewares(flowkeep::MainExecutor& executor,
                                                   std::shared_ptr<ASCredentialProviderExtensionContext> context,
                                                   const AuthState& request);

} // namespace keyvane::ext
