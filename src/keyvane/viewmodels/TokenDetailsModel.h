#pragma once

#include "shared/model/TokenInfo.h"
#include "shared/viewmodels/AlertButtons.h"

#include <QObject>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace keyvane::app {

// A byte count in binary units ("512 bytes", "1.5 KB", "64 MB"), for every value an unsigned
// 64-bit count can hold: a token reports its memory as such a count, and the value for
// "unavailable" lies above the signed range.
QString byteCountText(std::uint64_t bytes);

// What the sidebar shows of the chosen token, and the confirmation that deletes what the
// computer keeps about it (its record, its passkeys' records and its cached PIN; the token
// itself is not touched).
class TokenDetailsModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString tokenModel READ tokenModel NOTIFY changed)
    Q_PROPERTY(QString name READ name NOTIFY changed)
    Q_PROPERTY(QString serial READ serial NOTIFY changed)
    Q_PROPERTY(bool freeMemoryShown READ freeMemoryShown NOTIFY changed)
    Q_PROPERTY(QString freeMemory READ freeMemory NOTIFY changed)
    Q_PROPERTY(bool deleteAlertShown READ deleteAlertShown NOTIFY changed)
    Q_PROPERTY(QVariantList deleteAlertButtons READ deleteAlertButtons CONSTANT)

public:
    // deleteToken is called with the serial once per confirmed deletion.
    explicit TokenDetailsModel(std::function<void(const std::string&)> deleteToken, QObject* parent = nullptr);

    void setToken(const std::optional<TokenInfo>& token);
    const std::optional<TokenInfo>& token() const { return token_; }

    QString tokenModel() const;
    QString name() const;
    QString serial() const;
    bool freeMemoryShown() const { return token_ && token_->availableMemory.has_value(); }
    QString freeMemory() const;
    bool deleteAlertShown() const { return deleteAlertShown_; }
    QVariantList deleteAlertButtons() const;

    Q_INVOKABLE void deletePressed();
    // The confirmation's buttons by their place: the cancel button, then the deleting one.
    Q_INVOKABLE void pressDeleteAlertButton(int index);
    Q_INVOKABLE void cancelDelete() { pressDeleteAlertButton(views::confirmationCancel); }
    Q_INVOKABLE void confirmDelete() { pressDeleteAlertButton(views::confirmationDestroy); }

signals:
    void changed();

private:
    std::function<void(const std::string&)> deleteToken_;
    std::optional<TokenInfo> token_;
    bool deleteAlertShown_ = false;
};

} // namespace keyvane::app
