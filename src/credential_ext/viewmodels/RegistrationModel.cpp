#include "credential_ext/viewmodels/RegistrationModel.h"

namespace keyvane::ext::views {

RegistrationModel::RegistrationModel(ExtensionStorePort& port, flowkeep::MainExecutor& executor, QObject* parent)
    : ExtensionRootModel(port, executor, parent) {
    start();
}

bool RegistrationModel::sliceChanged(const ExtensionSlice& previous) {
    return previous.hasRegistration != slice().hasRegistration ||
           previous.registrationUserName != slice().registrationUserName ||
           previous.registrationRelyingParty != slice().registrationRelyingParty;
}

void RegistrationModel::continuePressed() {
    if (!loginSheetShown() && !alertShown()) {
        port().completeRegistrationButtonIsPressed();
    }
}

void RegistrationModel::pressAlertButton(int index) {
    const auto& alert = this->alert();
    if (!alert) {
        return;
    }
    const auto actions = alert->actions();
    if (index < 0 || index >= static_cast<int>(actions.size())) {
        return;
    }
    // "Choose another" only closes the alert; every other button ends the request.
    if (actions[static_cast<std::size_t>(index)].kind() != AppAlert::Action::choose) {
        port().cancelRequest();
    }
    port().hideAlert();
}

} // namespace keyvane::ext::views
