#include "keyvane/app/KeyvaneApp.h"

#include "keyvane/uitesting/TestsLauncher.h"

#include "keyvane/middlewares/OnAppLaunched.h"
#include "keyvane/middlewares/OnChangeMasterPassword.h"
#include "keyvane/middlewares/OnDeleteCredentials.h"
#include "keyvane/middlewares/OnDeleteToken.h"
#include "keyvane/middlewares/OnDisableMasterPassword.h"
#include "keyvane/middlewares/OnEnableExtension.h"
#include "keyvane/middlewares/OnEnterMasterPasswordSettings.h"
#include "keyvane/middlewares/OnFirstLaunch.h"
#include "keyvane/middlewares/OnHandleAppState.h"
#include "keyvane/middlewares/OnResetPersistentData.h"
#include "keyvane/middlewares/OnSetBiometry.h"
#include "keyvane/middlewares/OnSetupMasterPassword.h"
#include "keyvane/middlewares/OnUpdateUserDefaults.h"
#include "shared/redux/middlewares/OnCheckHasPinForToken.h"
#include "shared/redux/middlewares/OnEnumerateKeys.h"
#include "shared/redux/middlewares/OnLoginToken.h"
#include "shared/redux/middlewares/OnSyncingButtonPressed.h"
#include "shared/redux/middlewares/OnValidateBio.h"
#include "shared/redux/middlewares/OnValidateMasterPassword.h"
#include "shared/redux/middlewares/TokenMonitoring.h"
#include "shared/storage/CredentialsStorage.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorage.h"
#include "shared/storage/TokenStorage.h"

#include <algorithm>

namespace keyvane::app {

bool isUiTesting(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), uiTestingArgument) != arguments.end();
}

AppStore::MiddlewareList KeyvaneApp::makeMiddlewares(flowkeep::MainExecutor& executor, bool uiTesting) {
    auto gate = std::make_shared<TokenMonitoringGate>();
    AppStore::MiddlewareList list{
        std::make_shared<OnStartMonitoring<AppAction>>(executor, gate),
        std::make_shared<OnStopMonitoring<AppAction>>(gate),
        std::make_shared<OnEnumerateKeys<AppAction>>(),
        std::make_shared<OnDeleteCredentials>(),
        std::make_shared<OnUpdateUserDefaults>(),
        std::make_shared<OnSyncingButtonPressed<AppAction>>(),
        std::make_shared<OnDeleteToken>(),
        std::make_shared<OnLoginToken<AppAction>>(),
        std::make_shared<OnSetBiometry>(),
        std::make_shared<OnEnterMasterPasswordSettings>(),
        std::make_shared<OnChangeMasterPassword>(),
        std::make_shared<OnSetupMasterPassword>(),
        std::make_shared<OnDisableMasterPassword>(),
        std::make_shared<OnValidateMasterPassword<AppAction>>(),
        std::make_shared<OnCheckHasPinForToken<AppAction>>(),
        std::make_shared<OnValidateBio<AppAction>>(),
        std::make_shared<OnResetPersistentData>(),
    };
    if (!uiTesting) {
        list.push_back(std::make_shared<OnAppLaunched>());
        list.push_back(std::make_shared<OnHandleAppState>());
        list.push_back(std::make_shared<OnFirstLaunch>());
        list.push_back(std::make_shared<OnEnableExtension>());
    }
    return list;
}

KeyvaneApp::KeyvaneApp(const std::vector<std::string>& arguments, flowkeep::MainExecutor& executor)
    : uiTesting_(isUiTesting(arguments)) {
    auto container = std::make_shared<const ModelContainer>();
    Dependencies::install<TokenStorageProtocol>(tokenStorage, std::make_shared<TokenStorage>(container));
    Dependencies::install<PinCodeStorageProtocol>(pinCodeStorage, std::make_shared<PinCodeStorage>(container));
    Dependencies::install<CredentialsStorageProtocol>(credentialsStorage, std::make_shared<CredentialsStorage>(container));
    store_ = std::make_unique<AppStore>(AppState{}, AppReducer{}, makeMiddlewares(executor, uiTesting_), executor);
    // Under the test driver the entry sends nothing: the driver scripts the actions itself
    // (and throws TestNotImplemented for a scenario it does not know).
    if (uiTesting_) {
        TestsLauncher::run(*store_, executor);
    } else {
        store_->send(AppAction::appLaunched{});
    }
}

} // namespace keyvane::app
