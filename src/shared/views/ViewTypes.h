#pragma once

#include "shared/localization/LocalizedStrings.h"
#include "shared/viewmodels/AlertButtons.h"
#include "shared/viewmodels/BiometricPromptModel.h"
#include "shared/viewmodels/ConfirmationBridge.h"
#include "shared/viewmodels/LoginSheetModel.h"
#include "shared/viewmodels/MasterPassInputModel.h"
#include "shared/viewmodels/PasskeyListModel.h"
#include "shared/viewmodels/SettingsSheetModel.h"
#include "shared/viewmodels/TokenListModel.h"
#include "shared/viewmodels/TouchCountdownModel.h"

#include <QObject>
#include <QStringList>
#include <QtQml/qqml.h>

// The view models as QML knows them. The hosts make them; QML only reads and calls them.
namespace keyvane::views::qml {

// The base of both sheets' view models: QML reads its alert properties through them.
struct AlertPresenterType {
    Q_GADGET
    QML_FOREIGN(keyvane::views::AlertPresenter)
    QML_ANONYMOUS
};

struct BiometricPromptModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::views::BiometricPromptModel)
    QML_NAMED_ELEMENT(BiometricPromptModel)
    QML_UNCREATABLE("Made by the host")
};

// The question a window asks for a task on a pool thread (turning the extension on).
struct ConfirmationBridgeType {
    Q_GADGET
    QML_FOREIGN(keyvane::views::ConfirmationBridge)
    QML_NAMED_ELEMENT(ConfirmationBridge)
    QML_UNCREATABLE("Made by the host")
};

struct LoginSheetModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::views::LoginSheetModel)
    QML_NAMED_ELEMENT(LoginSheetModel)
    QML_UNCREATABLE("Made by the host")
};

struct MasterPassInputModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::views::MasterPassInputModel)
    QML_NAMED_ELEMENT(MasterPassInputModel)
    QML_UNCREATABLE("Made by the host")
};

// The rows of a list of passkeys grouped per token (the main window's list, the extension's
// passkey choice).
struct PasskeyListModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::views::PasskeyListModel)
    QML_NAMED_ELEMENT(PasskeyListModel)
    QML_UNCREATABLE("Made by the list's view model")
};

struct SettingsSheetModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::views::SettingsSheetModel)
    QML_NAMED_ELEMENT(SettingsSheetModel)
    QML_UNCREATABLE("Made by the host")
};

struct TokenListModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::views::TokenListModel)
    QML_NAMED_ELEMENT(TokenListModel)
    QML_UNCREATABLE("Made by the host")
};

struct TouchCountdownModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::views::TouchCountdownModel)
    QML_NAMED_ELEMENT(TouchCountdownModel)
    QML_UNCREATABLE("Made by the host")
};

// The localised texts for the views: QML names keys, never wording.
class Texts : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    Q_INVOKABLE QString text(const QString& key) const { return LocalizedStrings::text(key.toUtf8().constData()); }
    Q_INVOKABLE QString format(const QString& key, const QStringList& arguments) const {
        return LocalizedStrings::format(key.toUtf8().constData(), arguments);
    }
    Q_INVOKABLE QString counted(const QString& key, int count) const {
        return LocalizedStrings::counted(key.toUtf8().constData(), count);
    }
};

} // namespace keyvane::views::qml
