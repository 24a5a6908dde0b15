#include "keyvane/app/MainWindowModel.h"

namespace keyvane::app {

MainWindowModel::MainWindowModel(AppStore& store, flowkeep::MainExecutor& executor, QObject* parent)
    : QObject(parent), store_(store), executor_(executor), port_(store) {
    subscription_ = store_.observe([this](const AppState& state) { receive(state); });
}

MainWindowModel::~MainWindowModel() = default;

void MainWindowModel::receive(const AppState& state) {
    bool changes = false;
    const bool shown = state.navigationState.loginPurpose.has_value();
    if (shown != loginSheetShown_) {
        if (shown) {
            loginSheet_ = std::make_unique<views::LoginSheetModel>(
                port_, executor_, [this](const QString& serial) { loggedIn(serial); });
            connect(loginSheet_.get(), &views::LoginSheetModel::dismissRequested, this,
                    [this] { store_.send(AppAction::dismissLoginView{}); });
            connect(loginSheet_.get(), &views::LoginSheetModel::openUrlRequested, this,
                    &MainWindowModel::openUrlRequested);
        }
        loginSheetShown_ = shown;
        changes = true;
    }
    if (state.navigationState.showSettings != settingsShown_) {
        if (state.navigationState.showSettings) {
            settingsSheet_ = std::make_unique<views::SettingsSheetModel>(port_, executor_);
            connect(settingsSheet_.get(), &views::SettingsSheetModel::closeRequested, this,
                    [this] { store_.send(AppAction::quitMasterPasswordSettings{}); });
        }
        settingsShown_ = state.navigationState.showSettings;
        changes = true;
    }
    storedTokens_.setTokens(state.credentialListState.tokens);
    QStringList passkeys;
    for (const auto& passkey : state.credentialListState.credentials) {
        passkeys.append(QString::fromStdString(passkey.relyingPartyId + " · " + passkey.username));
    }
    if (passkeys != passkeys_) {
        passkeys_ = std::move(passkeys);
        changes = true;
    }
    if (changes) {
        emit changed();
    }
}

void MainWindowModel::loggedIn(const QString& serial) {
    const auto& purpose = store_.state().navigationState.loginPurpose;
    if (!purpose) {
        return;
    }
    // Sent after the verdict's own step, never inside the store's notification.
    if (purpose->is<LoginPuprose::justSync>()) {
        executor_.post([this, serial = serial.toStdString()] { store_.send(AppAction::enumerateCredentials{serial}); });
    } else if (const auto* deleting = purpose->as<LoginPuprose::deleteCredentials>()) {
        executor_.post([this, request = deleting->request] { store_.send(AppAction::deleteCredentials{request}); });
    }
}

void MainWindowModel::synchronise() {
    // Asks to turn the extension on first when it is off; startSync follows an agreement.
    store_.send(AppAction::syncingButtonPressed{});
}

void MainWindowModel::openMasterPasswordSettings() {
    store_.send(AppAction::startEnteringMasterPasswordSettings{});
}

void MainWindowModel::resetPersistentData() {
    store_.send(AppAction::resetPersistentData{});
}

} // namespace keyvane::app
