#pragma once

#include "shared/redux/AppAlert.h"

#include <QObject>
#include <QString>
#include <QVariantList>

#include <optional>

namespace keyvane::views {

// A sheet that presents the state's alert: its title, its message and its buttons, and the
// keys that press them (Return the default button, Escape the cancelling one). Each sheet says
// what its buttons do beyond closing the alert. Its properties notify through changed(),
// which the sheets also use for everything else they show.
class AlertPresenter : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool alertShown READ alertShown NOTIFY changed)
    Q_PROPERTY(QString alertTitle READ alertTitle NOTIFY changed)
    Q_PROPERTY(QString alertMessage READ alertMessage NOTIFY changed)
    Q_PROPERTY(QVariantList alertButtons READ alertButtons NOTIFY changed)

public:
    using QObject::QObject;

    bool alertShown() const { return alert().has_value(); }
    QString alertTitle() const;
    // A sheet that shows an alert otherwise (title only, its own buttons) overrides these
    // and alertButtonFor.
    virtual QString alertMessage() const;
    virtual QVariantList alertButtons() const;

    // An alert button, by its place in alertButtons.
    Q_INVOKABLE virtual void pressAlertButton(int index) = 0;
    Q_INVOKABLE void alertEscapePressed();
    Q_INVOKABLE void alertReturnPressed();

signals:
    void changed();

protected:
    // The alert of the state the sheet shows now.
    virtual const std::optional<AppAlert>& alert() const = 0;
    // The place of the button that answers Return (or Escape), or -1.
    virtual int alertButtonFor(bool returnKey) const;
};

// The buttons of the state's alert for QML, in order: label, identifier, and whether it is the
// default (Return) button; the others answer Escape.
QVariantList alertButtons(const std::optional<AppAlert>& alert);

// The place of the button that answers Return (or Escape), or -1 when there is none.
int alertButtonFor(const std::optional<AppAlert>& alert, bool returnKey);

// A confirmation before something is destroyed (passkeys deleted, a token forgotten, the
// master password turned off). Every one has the same two buttons in the same order: the safe
// choice first, as the default that the keyboard starts on (Return presses it), then the
// destructive one, which Tab reaches and which shows as the default once it has the keyboard.
enum ConfirmationButton { confirmationCancel = 0, confirmationDestroy = 1 };
QVariantList confirmationButtons(const QString& cancelLabel, const QString& destroyLabel, const QString& destroyIdentifier);

} // namespace keyvane::views
