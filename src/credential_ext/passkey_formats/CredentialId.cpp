#include "credential_ext/passkey_formats/CredentialId.h"

#include <QByteArray>
#include <QUuid>

namespace keyvane {

Bytes makeCredentialId() {
    // QUuid writes lower case; identifiers already on tokens are upper case.
    const QByteArray text = QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
    return {text.begin(), text.end()};
}

} // namespace keyvane
