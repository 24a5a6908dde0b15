#pragma once

#include "shared/model/TokenInfo.h"

#include <QAbstractListModel>

#include <vector>

namespace keyvane::views {

// One section of connected tokens, in the order the state holds them: each row's model and
// serial (never the label) and whether the token can hold passkeys.
class TokenListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { ModelRole = Qt::UserRole + 1, SerialRole, SupportedRole };

    explicit TokenListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    int count() const { return static_cast<int>(tokens_.size()); }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : count(); }
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    void setTokens(std::vector<TokenInfo> tokens);
    const std::vector<TokenInfo>& tokens() const { return tokens_; }

signals:
    void countChanged();

private:
    std::vector<TokenInfo> tokens_;
};

} // namespace keyvane::views
