#include "keyvane/state/LoginFollowUp.h"

namespace keyvane::app {

std::optional<AppAction> loginFollowUp(const AppState& state, const std::string& unlockedSerial) {
    const auto& purpose = state.navigationState.loginPurpose;
    if (!purpose) {
        return std::nullopt;
    }
    return std::visit(Overloaded{
                          [&](const LoginPuprose::justSync&) -> AppAction {
                              return AppAction::enumerateCredentials{unlockedSerial};
                          },
                          [&](const LoginPuprose::deleteCredentials& deleting) -> AppAction {
                              return AppAction::deleteCredentials{deleting.request};
                          },
                      },
                      purpose->value);
}

} // namespace keyvane::app
