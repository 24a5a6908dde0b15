#include "shared/viewmodels/SettingsSheetModel.h"

#include "shared/localization/LocalizedStrings.h"

#include <QVariantMap>

namespace keyvane::views {

SettingsSheetModel::SettingsSheetModel(LoginStorePort& port, SettingsStorePort& settings,
                                       flowkeep::MainExecutor& executor, QObject* parent)
    : AlertPresenter(parent), port_(port), settings_(settings), executor_(executor),
      prompt_(MasterPassInputModel::Mode::single, executor) {
    prompt_.setOnSubmit([this](SecretText password) { settings_.enterMasterPasswordSettings(std::move(password)); });
    prompt_.setOnErrorWritten([this](std::optional<MasterPassAuthError> error) {
        if (error != slice_.masterPassInput.error) {
            settings_.updateMasterPasswordError(std::move(error));
        }
    });
    slice_ = port_.slice();
    prompt_.setInitialError(slice_.masterPassInput.error);
    masterPasswordEnabled_ = slice_.masterPasswordState != MasterPasswordState::disabled;
    biometryEnabled_ = slice_.masterPasswordState == MasterPasswordState::enabledWithBio;
    subscription_ = port_.observe([this](const LoginSlice& next) { receive(next); });
}

void SettingsSheetModel::receive(const LoginSlice& next) {
    // The prompt goes once its password was accepted (or the sheet closes): it keeps nothing.
    if (slice_.masterPassInput.isShown && !next.masterPassInput.isShown) {
        prompt_.clear();
    }
    slice_ = next;
    masterPasswordEnabled_ = next.masterPasswordState != MasterPasswordState::disabled;
    biometryEnabled_ = next.masterPasswordState == MasterPasswordState::enabledWithBio;
    prompt_.setError(next.masterPassInput.error);
    emit changed();
}

QString SettingsSheetModel::protectionText() const {
    if (!masterPasswordEnabled_) {
        return {};
    }
    switch (slice_.cacheProtection) {
    case DeviceKeyBackend::tpm:
        return LocalizedStrings::text("GrandPassView_Protection_Tpm");
    case DeviceKeyBackend::file:
        return LocalizedStrings::text("GrandPassView_Protection_File");
    case DeviceKeyBackend::none:
        break;
    }
    return {};
}

void SettingsSheetModel::setBiometry(bool enabled) {
    settings_.setBiometry(enabled);
    // The switch shows the state, not the click: tell it again.
    emit changed();
}

void SettingsSheetModel::openDoubleInput(Purpose purpose) {
    purpose_ = purpose;
    doubleInput_ = std::make_unique<MasterPassInputModel>(MasterPassInputModel::Mode::twice, executor_);
    doubleInput_->setOnSubmit([this](SecretText password) {
        if (purpose_ == Change) {
            settings_.changeMasterPassword(std::move(password));
        } else if (purpose_ == Install) {
            settings_.setupMasterPassword(std::move(password));
        }
        // Closing is posted: the entry that calls this must not be destroyed under itself.
        executor_.post([this] { closeDoubleInput(); });
    });
    emit changed();
}

void SettingsSheetModel::turnOn() {
    openDoubleInput(Install);
}

void SettingsSheetModel::change() {
    openDoubleInput(Change);
}

void SettingsSheetModel::closeDoubleInput() {
    if (purpose_ == None) {
        return;
    }
    // The view may still read the entry until it hears of the change: emptied, not destroyed.
    doubleInput_->clear();
    purpose_ = None;
    emit changed();
}

void SettingsSheetModel::askToTurnOff() {
    disableConfirmationShown_ = true;
    emit changed();
}

void SettingsSheetModel::confirmTurnOff() {
    disableConfirmationShown_ = false;
    settings_.disableMasterPassword();
    emit changed();
}

void SettingsSheetModel::cancelTurnOff() {
    disableConfirmationShown_ = false;
    emit changed();
}

QVariantList SettingsSheetModel::turnOffButtons() const {
    return confirmationButtons(LocalizedStrings::grandPassViewAlertDisableGrandPassCancel(),
                               LocalizedStrings::grandPassViewDisableButtonLabel(), QStringLiteral("disable"));
}

void SettingsSheetModel::pressAlertButton(int index) {
    if (slice_.alert && index >= 0 && index < static_cast<int>(slice_.alert->actions().size())) {
        // No button here does more than close the alert.
        port_.hideAlert();
    }
}

void SettingsSheetModel::close() {
    prompt_.clear();
    if (doubleInput_) {
        doubleInput_->clear();
    }
    emit closeRequested();
}

} // namespace keyvane::views
