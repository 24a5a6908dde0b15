#include "keyvane/viewmodels/PasskeyListModel.h"

#include "shared/viewmodels/OneLineText.h"

#include <algorithm>

namespace keyvane::app {

QVariant PasskeyListModel::data(const QModelIndex& index, int role) const {
    const auto* current = row(index.isValid() ? index.row() : -1);
    if (current == nullptr) {
        return {};
    }
    switch (role) {
    case KindRole:
        return current->kind;
    case TokenModelRole:
        return views::oneLineText(current->tokenModel);
    case SerialRole:
        return views::oneLineText(current->serial);
    case UsernameRole:
        return current->credential ? views::oneLineText(current->credential->username) : QString();
    case RelyingPartyRole:
        return current->credential ? views::oneLineText(current->credential->relyingPartyId) : QString();
    case SelectedRole:
        return current->credential && selection_.contains(current->credential->keyId);
    case SelectableRole:
        return isSelectable(*current);
    default:
        return {};
    }
}

QHash<int, QByteArray> PasskeyListModel::roleNames() const {
    return {{KindRole, "kind"},         {TokenModelRole, "tokenModel"}, {SerialRole, "serial"},
            {UsernameRole, "username"}, {RelyingPartyRole, "relyingParty"}, {SelectedRole, "selected"},
            {SelectableRole, "selectable"}};
}

const PasskeyListModel::Row* PasskeyListModel::row(int index) const {
    if (index < 0 || index >= count()) {
        return nullptr;
    }
    return &rows_[static_cast<std::size_t>(index)];
}

bool PasskeyListModel::isSelectable(const Row& row) const {
    return row.kind == Passkey && (!selectionSerial_ || row.serial == *selectionSerial_);
}

int PasskeyListModel::nextPasskeyRow(int from, int direction) const {
    if (direction == 0) {
        return from;
    }
    for (int i = std::max(from, -1) + (direction > 0 ? 1 : -1); i >= 0 && i < count(); i += direction > 0 ? 1 : -1) {
        if (rows_[static_cast<std::size_t>(i)].kind == Passkey) {
            return i;
        }
    }
    return from;
}

int PasskeyListModel::passkeyRowNear(int place) const {
    if (place < 0) {
        return -1;
    }
    const int from = std::min(place, count() - 1);
    if (from >= 0 && rows_[static_cast<std::size_t>(from)].kind == Passkey) {
        return from;
    }
    for (const int direction : {-1, 1}) {
        const int found = nextPasskeyRow(from, direction);
        if (found != from) {
            return found;
        }
    }
    return -1;
}

void PasskeyListModel::setSections(const std::vector<CredentialsSection>& sections, bool withHeaders) {
    std::vector<Row> rows;
    for (const auto& section : sections) {
        if (withHeaders) {
            rows.push_back(Row{Header, section.token.model, section.token.serial, std::nullopt});
        }
        for (const auto& credential : section.credentials) {
            rows.push_back(Row{Passkey, section.token.model, section.token.serial, credential});
        }
        rows.push_back(Row{Spacer, section.token.model, section.token.serial, std::nullopt});
    }
    if (rows == rows_) {
        return;
    }
    const bool countChanges = rows.size() != rows_.size();
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
    if (countChanges) {
        emit countChanged();
    }
}

void PasskeyListModel::setSelection(const std::set<Bytes>& selection, const std::optional<std::string>& selectionSerial) {
    if (selection == selection_ && selectionSerial == selectionSerial_) {
        return;
    }
    selection_ = selection;
    selectionSerial_ = selectionSerial;
    if (!rows_.empty()) {
        emit dataChanged(index(0), index(count() - 1), {SelectedRole, SelectableRole});
    }
}

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
