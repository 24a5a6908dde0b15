#include "credential_ext/state/LoginFollowUp.h"

namespace keyvane::ext {

std::optional<AppAction> loginFollowUp(const AppState& state, const std::string& unlockedSerial) {
    const auto& purpose = state.navigationState.loginPurpose;
    if (!purpose) {
        return std::nullopt;
    }
    return std::visit(Overloaded{
                          [&](const LoginPuprose::auth& auth) -> std::optional<AppAction> {
                              if (auth.selectedCred.tokenSerial != unlockedSerial) {
                                  return std::nullopt;
                              }
                              return AppAction::finishAuthentication{auth.selectedCred,
                                                                     state.authState.clientDataHash};
                          },
                          [&](const LoginPuprose::completeRegistration&) -> std::optional<AppAction> {
                              if (!state.registrationState) {
                                  return std::nullopt;
                              }
                              return AppAction::finishRegistration{unlockedSerial, *state.registrationState};
                          },
                          [&](const LoginPuprose::justSync&) -> std::optional<AppAction> {
                              return AppAction::enumerateCredentials{unlockedSerial};
                          },
                      },
                      purpose->value);
}

} // namespace keyvane::ext
