#pragma once

#include "credential_ext/viewmodels/ExtensionRootModel.h"
#include "shared/viewmodels/OneLineText.h"

namespace keyvane::ext::views {

// The registration request's view: the requested passkey's user name and relying party, and
// Continue, which opens the login sheet; once a token is unlocked there, the request goes to
// the registration ceremony with that token's serial. Every alert button but "choose" ends the
// request.
// The base is named in full so that the QML tools find it.
class RegistrationModel final : public keyvane::ext::views::ExtensionRootModel {
    Q_OBJECT
    Q_PROPERTY(bool hasRequest READ hasRequest NOTIFY changed)
    Q_PROPERTY(QString userName READ userName NOTIFY changed)
    Q_PROPERTY(QString relyingParty READ relyingParty NOTIFY changed)

public:
    RegistrationModel(ExtensionStorePort& port, flowkeep::MainExecutor& executor, QObject* parent = nullptr);

    bool hasRequest() const { return slice().hasRegistration; }
    QString userName() const { return keyvane::views::oneLineText(slice().registrationUserName); }
    QString relyingParty() const { return keyvane::views::oneLineText(slice().registrationRelyingParty); }

    // Continue: refused while the login sheet or an alert is up.
    Q_INVOKABLE void continuePressed();

    void pressAlertButton(int index) override;

private:
    bool sliceChanged(const ExtensionSlice& previous) override;
};

} // namespace keyvane::ext::views
