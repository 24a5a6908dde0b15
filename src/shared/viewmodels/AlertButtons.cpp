#include "shared/viewmodels/AlertButtons.h"

#include <QVariantMap>

namespace keyvane::views {

namespace {

bool isDefault(const AppAlert::Action& action) {
    return action.kind() == AppAlert::Action::choose || action.kind() == AppAlert::Action::openInstruction;
}

} // namespace

QVariantList alertButtons(const std::optional<AppAlert>& alert) {
    QVariantList buttons;
    if (!alert) {
        return buttons;
    }
    for (const auto& action : alert->actions()) {
        buttons.append(QVariantMap{{QStringLiteral("label"), action.label()},
                                   {QStringLiteral("identifier"), QString::fromStdString(action.id())},
                                   {QStringLiteral("isDefault"), isDefault(action)}});
    }
    return buttons;
}

int alertButtonFor(const std::optional<AppAlert>& alert, bool returnKey) {
    if (!alert) {
        return -1;
    }
    const auto actions = alert->actions();
    for (std::size_t i = 0; i < actions.size(); ++i) {
        if (isDefault(actions[i]) == returnKey) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QVariantList confirmationButtons(const QString& cancelLabel, const QString& destroyLabel, const QString& destroyIdentifier) {
    return {QVariantMap{{QStringLiteral("label"), cancelLabel},
                        {QStringLiteral("identifier"), QStringLiteral("cancel")},
                        {QStringLiteral("isDefault"), true}},
            QVariantMap{{QStringLiteral("label"), destroyLabel},
                        {QStringLiteral("identifier"), destroyIdentifier},
                        {QStringLiteral("isDefault"), false},
                        {QStringLiteral("isDestructive"), true}}};
}

QString AlertPresenter::alertTitle() const {
    return alert() ? alert()->title() : QString();
}

QString AlertPresenter::alertMessage() const {
    return alert() ? alert()->message() : QString();
}

QVariantList AlertPresenter::alertButtons() const {
    return views::alertButtons(alert());
}

int AlertPresenter::alertButtonFor(bool returnKey) const {
    return views::alertButtonFor(alert(), returnKey);
}

void AlertPresenter::alertEscapePressed() {
    pressAlertButton(alertButtonFor(false));
}

void AlertPresenter::alertReturnPressed() {
    pressAlertButton(alertButtonFor(true));
}

} // namespace keyvane::views
