#pragma once

#include "credential_ext/viewmodels/ExtensionRootModel.h"
#include "credential_ext/viewmodels/PasskeyChoiceModel.h"
#include "credential_ext/viewmodels/RegistrationModel.h"

#include <QtQml/qqml.h>

// The extension's view models as QML knows them. The host makes them; QML only reads and
// calls them.
namespace keyvane::ext::views::qml {

struct ExtensionRootModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::ext::views::ExtensionRootModel)
    QML_ANONYMOUS
};

struct PasskeyChoiceModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::ext::views::PasskeyChoiceModel)
    QML_NAMED_ELEMENT(PasskeyChoiceModel)
    QML_UNCREATABLE("Made by the host")
};

struct RegistrationModelType {
    Q_GADGET
    QML_FOREIGN(keyvane::ext::views::RegistrationModel)
    QML_NAMED_ELEMENT(RegistrationModel)
    QML_UNCREATABLE("Made by the host")
};

} // namespace keyvane::ext::views::qml
