#pragma once

#include "shared/redux/AppAlert.h"

#include <QVariantList>

#include <optional>

namespace keyvane::views {

// The buttons of the state's alert for QML, in order: label, identifier, and whether it is the
// default (Return) button; the others answer Escape.
QVariantList alertButtons(const std::optional<AppAlert>& alert);

// The place of the button that answers Return (or Escape), or -1 when there is none.
int alertButtonFor(const std::optional<AppAlert>& alert, bool returnKey);

} // namespace keyvane::views
