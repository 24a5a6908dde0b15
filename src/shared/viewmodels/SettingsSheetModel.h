#pragma once

#include "shared/viewmodels/AlertButtons.h"
#include "shared/viewmodels/LoginStorePort.h"
#include "shared/viewmodels/MasterPassInputModel.h"
#include "shared/viewmodels/SettingsStorePort.h"

#include <QObject>
#include <QVariantList>

#include <memory>

namespace keyvane::views {

// Every decision of the master-password settings sheet: which body shows (turn on, or the
// biometry switch with change and turn off), the password prompt that guards the sheet, the
// two-step entry of a new password, the turn-off confirmation and the state's alert.
// The base is named in full so that the QML tools find it (they do not resolve names by scope).
class SettingsSheetModel : public keyvane::views::AlertPresenter {
    Q_OBJECT
    Q_PROPERTY(bool masterPasswordEnabled READ masterPasswordEnabled NOTIFY changed)
    Q_PROPERTY(bool biometryEnabled READ biometryEnabled NOTIFY changed)
    Q_PROPERTY(bool promptShown READ promptShown NOTIFY changed)
    Q_PROPERTY(QString protectionText READ protectionText NOTIFY changed)
    Q_PROPERTY(Purpose doubleInputPurpose READ doubleInputPurpose NOTIFY changed)
    Q_PROPERTY(bool disableConfirmationShown READ disableConfirmationShown NOTIFY changed)
    Q_PROPERTY(QVariantList turnOffButtons READ turnOffButtons CONSTANT)
    Q_PROPERTY(keyvane::views::MasterPassInputModel* prompt READ prompt CONSTANT)
    Q_PROPERTY(keyvane::views::MasterPassInputModel* doubleInput READ doubleInput NOTIFY changed)

public:
    enum Purpose { None, Install, Change };
    Q_ENUM(Purpose)

    // Reads the state through `port` and sends the sheet's own actions through `settings`.
    SettingsSheetModel(LoginStorePort& port, SettingsStorePort& settings, flowkeep::MainExecutor& executor,
                       QObject* parent = nullptr);

    bool masterPasswordEnabled() const { return masterPasswordEnabled_; }
    bool biometryEnabled() const { return biometryEnabled_; }
    bool promptShown() const { return slice_.masterPassInput.isShown; }
    // What keeps the cached PINs from being read off the disk; empty while nothing is cached.
    QString protectionText() const;
    Purpose doubleInputPurpose() const { return purpose_; }
    bool disableConfirmationShown() const { return disableConfirmationShown_; }
    MasterPassInputModel* prompt() { return &prompt_; }
    MasterPassInputModel* doubleInput() { return doubleInput_.get(); }

    // The switch sends its new position; it moves only when the state follows.
    Q_INVOKABLE void setBiometry(bool enabled);
    Q_INVOKABLE void turnOn();
    Q_INVOKABLE void change();
    Q_INVOKABLE void closeDoubleInput();
    Q_INVOKABLE void askToTurnOff();
    Q_INVOKABLE void confirmTurnOff();
    Q_INVOKABLE void cancelTurnOff();
    // The confirmation's buttons in order: cancel (the default; Escape too), then turn off.
    QVariantList turnOffButtons() const;
    Q_INVOKABLE void pressTurnOffButton(int index) {
        index == confirmationDestroy ? confirmTurnOff() : cancelTurnOff();
    }
    // No button of the state alert here does more than close it.
    void pressAlertButton(int index) override;
    // The close button; the host closes the sheet and sends the end of the visit. Whatever
    // was typed into the prompt or the two-step entry is wiped first.
    Q_INVOKABLE void close();

signals:
    void closeRequested();

protected:
    const std::optional<AppAlert>& alert() const override { return slice_.alert; }

private:
    void receive(const LoginSlice& next);
    void openDoubleInput(Purpose purpose);

    LoginStorePort& port_;
    SettingsStorePort& settings_;
    flowkeep::MainExecutor& executor_;
    LoginSlice slice_;
    bool masterPasswordEnabled_ = false;
    bool biometryEnabled_ = false;
    bool disableConfirmationShown_ = false;
    Purpose purpose_ = None;
    MasterPassInputModel prompt_;
    // Made anew for each two-step entry, and emptied when it closes, so nothing typed into a
    // closed one is kept.
    std::unique_ptr<MasterPassInputModel> doubleInput_;
    flowkeep::Subscription subscription_;
};

} // namespace keyvane::views
