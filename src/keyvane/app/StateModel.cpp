#include "keyvane/app/StateModel.h"


#include <sstream>

namespace keyvane::app {

namespace {

template <class T>
QString printed(const T& value) {
    std::ostringstream out;
    out << value;
    return QString::fromStdString(out.str());
}

QString tokenLine(const TokenInfo& token) {
    return QString::fromStdString(token.label.value_or("(no label)") + " · " + token.model + " · " + token.serial);
}

} // namespace

StateModel::StateModel(AppStore& store, QObject* parent) : QObject(parent), store_(store) {
    subscription_ = store_.observe([this](const AppState&) { emit changed(); });
}

QStringList StateModel::connectedTokens() const {
    QStringList lines;
    for (const auto& token : store_.state().loginViewState.connectedTokens) {
        lines << tokenLine(token);
    }
    return lines;
}

QStringList StateModel::storedTokens() const {
    QStringList lines;
    for (const auto& token : store_.state().credentialListState.tokens) {
        lines << tokenLine(token);
    }
    return lines;
}

QStringList StateModel::passkeys() const {
    QStringList lines;
    for (const auto& passkey : store_.state().credentialListState.credentials) {
        lines << QString::fromStdString(passkey.relyingPartyId + " · " + passkey.username + " · " + passkey.tokenSerial);
    }
    return lines;
}

QString StateModel::onboardingStatus() const {
    const auto& status = store_.state().navigationState.onboardingState.onboardingStatus;
    return status ? printed(*status) : QStringLiteral("not decided");
}

QString StateModel::masterPassword() const { return printed(store_.state().masterPasswordState); }

QString StateModel::loginPane() const { return printed(store_.state().loginViewState.loginDisplayViewState); }

QString StateModel::alert() const {
    const auto& alert = store_.state().navigationState.alert;
    return alert ? printed(*alert) : QString();
}

bool StateModel::pinsCached() const { return store_.state().pinCacheState.hasPins; }

void StateModel::resetPersistentData() { store_.send(AppAction::resetPersistentData{}); }
void StateModel::startMonitoring() { store_.send(AppAction::startMonitoring{}); }
void StateModel::stopMonitoring() { store_.send(AppAction::stopMonitoring{}); }

} // namespace keyvane::app
