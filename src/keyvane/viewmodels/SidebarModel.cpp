#include "keyvane/viewmodels/SidebarModel.h"

#include "shared/viewmodels/OneLineText.h"

#include <algorithm>

namespace keyvane::app {

QVariant SidebarModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) {
        return {};
    }
    const auto& card = cards_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case AllRole:
        return card.all;
    case TokenModelRole:
        return views::oneLineText(card.tokenModel);
    case SerialRole:
        return views::oneLineText(card.serial);
    case CountRole:
        return static_cast<qulonglong>(card.count);
    case SelectedRole:
        return card.selected;
    default:
        return {};
    }
}

QHash<int, QByteArray> SidebarModel::roleNames() const {
    return {{AllRole, "all"}, {TokenModelRole, "tokenModel"}, {SerialRole, "serial"}, {CountRole, "passkeyCount"},
            {SelectedRole, "selected"}};
}

void SidebarModel::setCards(std::vector<Card> cards) {
    if (cards == cards_) {
        return;
    }
    // Only the choice moved: the cards stay, their look changes.
    const bool sameCards = cards.size() == cards_.size() && std::equal(cards.begin(), cards.end(), cards_.begin(), [](const Card& a, const Card& b) {
        return a.all == b.all && a.tokenModel == b.tokenModel && a.serial == b.serial && a.count == b.count;
    });
    if (sameCards) {
        cards_ = std::move(cards);
        emit dataChanged(index(0), index(count() - 1), {SelectedRole});
        return;
    }
    const bool countChanges = cards.size() != cards_.size();
    beginResetModel();
    cards_ = std::move(cards);
    endResetModel();
    if (countChanges) {
        emit countChanged();
    }
}

} // namespace keyvane::app
