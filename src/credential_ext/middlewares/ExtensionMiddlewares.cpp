#include "credential_ext/middlewares/ExtensionMiddlewares.h"

#include "credential_ext/middlewares/OnAppLaunched.h"
#include "credential_ext/middlewares/OnCompletePasskeyRequest.h"
#include "credential_ext/middlewares/OnCreatePasskey.h"
#include "credential_ext/middlewares/OnSignWithPasskey.h"
#include "credential_ext/middlewares/OnStartProvidingPasskey.h"
#include "shared/redux/middlewares/OnCheckHasPinForToken.h"
#include "shared/redux/middlewares/OnEnumerateKeys.h"
#include "shared/redux/middlewares/OnLoginToken.h"
#include "shared/redux/middlewares/OnSyncingButtonPressed.h"
#include "shared/redux/middlewares/OnValidateBio.h"
#include "shared/redux/middlewares/OnValidateMasterPassword.h"
#include "shared/redux/middlewares/TokenMonitoring.h"

namespace keyvane::ext {

ExtMiddlewareList makeRegistrationMiddlewares(flowkeep::MainExecutor& executor,
                                              std::shared_ptr<ASCredentialProviderExtensionContext> context,
                                              std::shared_ptr<RegistrationOutcome> outcome) {
    auto gate = std::make_shared<TokenMonitoringGate>();
    return {
        std::make_shared<OnAppLaunched>(false),
        std::make_shared<OnStartMonitoring<AppAction>>(executor, gate),
        std::make_shared<OnStopMonitoring<AppAction>>(gate),
        std::make_shared<OnEnumerateKeys<AppAction>>(),
        std::make_shared<OnLoginToken<AppAction>>(),
        std::make_shared<OnCreatePasskey>(std::move(outcome)),
        std::make_shared<OnValidateMasterPassword<AppAction>>(),
        std::make_shared<OnCheckHasPinForToken<AppAction>>(),
        std::make_shared<OnCompletePasskeyRequest>(std::move(context)),
        std::make_shared<OnValidateBio<AppAction>>(),
    };
}

ExtMiddlewareList makeCredentialListMiddlewares(flowkeep::MainExecutor& executor,
                                                std::shared_ptr<ASCredentialProviderExtensionContext> context,
                                                const AuthState& request) {
    auto gate = std::make_shared<TokenMonitoringGate>();
    return {
        std::make_shared<OnAppLaunched>(true),
        std::make_shared<OnStartMonitoring<AppAction>>(executor, gate),
        std::make_shared<OnStopMonitoring<AppAction>>(gate),
        std::make_shared<OnLoginToken<AppAction>>(),
        std::make_shared<OnSyncingButtonPressed<AppAction>>(),
        std::make_shared<OnEnumerateKeys<AppAction>>(),
        std::make_shared<OnSignWithPasskey>(request),
        std::make_shared<OnValidateMasterPassword<AppAction>>(),
        std::make_shared<OnCheckHasPinForToken<AppAction>>(),
        std::make_shared<OnValidateBio<AppAction>>(),
        std::make_shared<OnCompletePasskeyRequest>(std::move(context)),
    };
}

ExtMiddlewareList makeProvideCredentialMiddlewares(flowkeep::MainExecutor& executor,
                                                   std::shared_ptr<ASCredentialProviderExtensionContext> context,
                                                   const AuthState& request) {
    auto gate = std::make_shared<TokenMonitoringGate>();
    return {
        std::make_shared<OnAppLaunched>(false),
        std::make_shared<OnStartMonitoring<AppAction>>(executor, gate),
        std::make_shared<OnStopMonitoring<AppAction>>(gate),
        std::make_shared<OnLoginToken<AppAction>>(),
        std::make_shared<OnEnumerateKeys<AppAction>>(),
        std::make_shared<OnSyncingButtonPressed<AppAction>>(),
        std::make_shared<OnSignWithPasskey>(request),
        std::make_shared<OnValidateMasterPassword<AppAction>>(),
        std::make_shared<OnCheckHasPinForToken<AppAction>>(),
        std::make_shared<OnCompletePasskeyRequest>(std::move(context)),
        std::make_shared<OnStartProvidingPasskey>(),
        std::make_shared<OnValidateBio<AppAction>>(),
    };
}

} // namespace keyvane::ext
