#include "shared/viewmodels/TokenListModel.h"

#include "shared/viewmodels/OneLineText.h"

namespace keyvane::views {

QVariant TokenListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) {
        return {};
    }
    const auto& token = tokens_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case ModelRole:
        return oneLineText(token.model);
    case SerialRole:
        return QString::fromStdString(token.serial);
    case SupportedRole:
        return token.isSupported;
    default:
        return {};
    }
}

QHash<int, QByteArray> TokenListModel::roleNames() const {
    return {{ModelRole, "tokenModel"}, {SerialRole, "serial"}, {SupportedRole, "supported"}};
}

void TokenListModel::setTokens(std::vector<TokenInfo> tokens) {
    if (tokens == tokens_) {
        return;
    }
    const bool countChanges = tokens.size() != tokens_.size();
    beginResetModel();
    tokens_ = std::move(tokens);
    endResetModel();
    if (countChanges) {
        emit countChanged();
    }
}

} // namespace keyvane::views
