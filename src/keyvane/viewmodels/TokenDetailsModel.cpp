#include "keyvane/viewmodels/TokenDetailsModel.h"

#include "shared/localization/LocalizedStrings.h"
#include "shared/viewmodels/AlertButtons.h"
#include "shared/viewmodels/OneLineText.h"

#include <QVariantMap>

#include <array>

namespace keyvane::app {

QString byteCountText(std::uint64_t bytes) {
    if (bytes < 1024) {
        return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
    }
    static constexpr std::array units{"KB", "MB", "GB", "TB", "PB", "EB"};
    // Long double holds every 64-bit count closely enough for one decimal place.
    long double value = static_cast<long double>(bytes) / 1024.0L;
    std::size_t unit = 0;
    while (value >= 1024.0L && unit + 1 < units.size()) {
        value /= 1024.0L;
        ++unit;
    }
    const double shown = static_cast<double>(value);
    // One decimal below 100 unless it is whole; whole numbers above.
    auto number = QString::number(shown, 'f', 1);
    if (shown >= 100.0 || number.endsWith(QLatin1String(".0"))) {
        number = QString::number(shown, 'f', 0);
    }
    return QStringLiteral("%1 %2").arg(number, QLatin1String(units[unit]));
}

TokenDetailsModel::TokenDetailsModel(std::function<void(const std::string&)> deleteToken, QObject* parent)
    : QObject(parent), deleteToken_(std::move(deleteToken)) {}

void TokenDetailsModel::setToken(const std::optional<TokenInfo>& token) {
    if (token == token_) {
        return;
    }
    // Another token never inherits a confirmation asked for the previous one.
    if (!token || !token_ || token->serial != token_->serial) {
        deleteAlertShown_ = false;
    }
    token_ = token;
    emit changed();
}

QString TokenDetailsModel::tokenModel() const {
    return token_ ? views::oneLineText(token_->model) : QString();
}

QString TokenDetailsModel::name() const {
    if (!token_) {
        return {};
    }
    return token_->label ? views::oneLineText(*token_->label) : QStringLiteral("Не задана");
}

QString TokenDetailsModel::serial() const {
    return token_ ? views::oneLineText(token_->serial) : QString();
}

QString TokenDetailsModel::freeMemory() const {
    if (!freeMemoryShown()) {
        return {};
    }
    return LocalizedStrings::aboutDeviceInfoFreeMemoryValue(byteCountText(*token_->availableMemory),
                                                             byteCountText(token_->totalMemory));
}

QVariantList TokenDetailsModel::deleteAlertButtons() const {
    return views::confirmationButtons(LocalizedStrings::alertCancelButtonLabel(),
                                      LocalizedStrings::alertDeleteDeviceInfoDeleteButtonLabel(), QStringLiteral("delete"));
}

void TokenDetailsModel::deletePressed() {
    if (!token_ || deleteAlertShown_) {
        return;
    }
    deleteAlertShown_ = true;
    emit changed();
}

void TokenDetailsModel::pressDeleteAlertButton(int index) {
    if (!deleteAlertShown_ || (index != views::confirmationCancel && index != views::confirmationDestroy)) {
        return;
    }
    deleteAlertShown_ = false;
    emit changed();
    if (index == views::confirmationDestroy && token_) {
        deleteToken_(token_->serial);
    }
}

} // namespace keyvane::app
