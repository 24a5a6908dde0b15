#pragma once

#include "keyvane/app/KeyvaneApp.h"
#include "shared/viewmodels/LoginSheetModel.h"
#include "shared/viewmodels/SettingsSheetModel.h"
#include "shared/viewmodels/StoreLoginPort.h"
#include "shared/viewmodels/TokenListModel.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace keyvane::app {

// The stand-in main window until the full one exists: it presents the login sheet while the
// state holds a login purpose, and sends what the window's own controls stand for.
class MainWindowModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool loginSheetShown READ loginSheetShown NOTIFY changed)
    Q_PROPERTY(keyvane::views::LoginSheetModel* loginSheet READ loginSheet NOTIFY changed)
    Q_PROPERTY(bool settingsShown READ settingsShown NOTIFY changed)
    Q_PROPERTY(keyvane::views::SettingsSheetModel* settingsSheet READ settingsSheet NOTIFY changed)
    Q_PROPERTY(keyvane::views::TokenListModel* storedTokens READ storedTokens CONSTANT)
    Q_PROPERTY(QStringList passkeys READ passkeys NOTIFY changed)

public:
    MainWindowModel(AppStore& store, flowkeep::MainExecutor& executor, QObject* parent = nullptr);
    ~MainWindowModel() override;

    bool loginSheetShown() const { return loginSheetShown_; }
    views::LoginSheetModel* loginSheet() const { return loginSheet_.get(); }
    bool settingsShown() const { return settingsShown_; }
    views::SettingsSheetModel* settingsSheet() const { return settingsSheet_.get(); }
    views::TokenListModel* storedTokens() { return &storedTokens_; }
    QStringList passkeys() const { return passkeys_; }

    // Opens the login sheet to read a token's passkeys.
    Q_INVOKABLE void synchronise();
    Q_INVOKABLE void resetPersistentData();
    // The menu item that opens the master-password settings.
    Q_INVOKABLE void openMasterPasswordSettings();

signals:
    void changed();
    void openUrlRequested(const QUrl& url);

private:
    void receive(const AppState& state);
    // What a verified login leads to, by the purpose it was asked for.
    void loggedIn(const QString& serial);

    AppStore& store_;
    flowkeep::MainExecutor& executor_;
    views::StoreLoginPort<AppState, AppAction> port_;
    views::TokenListModel storedTokens_;
    QStringList passkeys_;
    bool loginSheetShown_ = false;
    // Made anew for each presentation, so the sheet's own state starts afresh; the previous
    // one lives until then, past the disappearance its view reports.
    std::unique_ptr<views::LoginSheetModel> loginSheet_;
    bool settingsShown_ = false;
    std::unique_ptr<views::SettingsSheetModel> settingsSheet_;
    flowkeep::Subscription subscription_;
};

} // namespace keyvane::app
