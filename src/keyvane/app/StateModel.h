#pragma once

#include "keyvane/app/KeyvaneApp.h"

#include <QObject>
#include <QStringList>

namespace keyvane::app {

// The state as plain texts for the stand-in main view, and the actions that view may send.
class StateModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList connectedTokens READ connectedTokens NOTIFY changed)
    Q_PROPERTY(QStringList storedTokens READ storedTokens NOTIFY changed)
    Q_PROPERTY(QStringList passkeys READ passkeys NOTIFY changed)
    Q_PROPERTY(QString onboardingStatus READ onboardingStatus NOTIFY changed)
    Q_PROPERTY(QString masterPassword READ masterPassword NOTIFY changed)
    Q_PROPERTY(QString loginPane READ loginPane NOTIFY changed)
    Q_PROPERTY(QString alert READ alert NOTIFY changed)
    Q_PROPERTY(bool pinsCached READ pinsCached NOTIFY changed)

public:
    explicit StateModel(AppStore& store, QObject* parent = nullptr);

    QStringList connectedTokens() const;
    QStringList storedTokens() const;
    QStringList passkeys() const;
    QString onboardingStatus() const;
    QString masterPassword() const;
    QString loginPane() const;
    QString alert() const;
    bool pinsCached() const;

    Q_INVOKABLE void resetPersistentData();
    Q_INVOKABLE void startMonitoring();
    Q_INVOKABLE void stopMonitoring();

signals:
    void changed();

private:
    AppStore& store_;
    flowkeep::Subscription subscription_;
};

} // namespace keyvane::app
