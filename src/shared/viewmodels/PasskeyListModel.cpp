#include "shared/viewmodels/PasskeyListModel.h"

#include "shared/viewmodels/OneLineText.h"

#include <QByteArray>

#include <algorithm>

namespace keyvane::views {
namespace {

QString hex(const Bytes& bytes) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())).toHex());
}

} // namespace

QVariant PasskeyListModel::data(const QModelIndex& index, int role) const {
    const auto* current = row(index.isValid() ? index.row() : -1);
    if (current == nullptr) {
        return {};
    }
    switch (role) {
    case KindRole:
        return current->kind;
    case TokenModelRole:
        return oneLineText(current->tokenModel);
    case SerialRole:
        return oneLineText(current->serial);
    case UsernameRole:
        return current->credential ? oneLineText(current->credential->username) : QString();
    case RelyingPartyRole:
        return current->credential ? oneLineText(current->credential->relyingPartyId) : QString();
    case KeyIdRole:
        return current->credential ? hex(current->credential->keyId) : QString();
    case PlaceRole:
        return current->place;
    case SelectedRole:
        return current->credential && selection_.contains(current->credential->keyId);
    case SelectableRole:
        return isSelectable(*current);
    default:
        return {};
    }
}

QHash<int, QByteArray> PasskeyListModel::roleNames() const {
    return {{KindRole, "kind"},         {TokenModelRole, "tokenModel"},     {SerialRole, "serial"},
            {UsernameRole, "username"}, {RelyingPartyRole, "relyingParty"}, {KeyIdRole, "keyId"},
            {PlaceRole, "place"},       {SelectedRole, "selected"},         {SelectableRole, "selectable"}};
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

int PasskeyListModel::rowOfPlace(int place) const {
    if (place < 0) {
        return -1;
    }
    const auto found = std::find_if(rows_.begin(), rows_.end(), [place](const Row& row) { return row.place == place; });
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
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

void PasskeyListModel::setSections(const std::vector<CredentialsSection>& sections, bool withHeaders, bool withSpacers) {
    std::vector<Row> rows;
    int place = 0;
    for (const auto& section : sections) {
        if (withHeaders) {
            rows.push_back(Row{Header, section.token.model, section.token.serial, std::nullopt});
        }
        for (const auto& credential : section.credentials) {
            rows.push_back(Row{Passkey, section.token.model, section.token.serial, credential, place++});
        }
        if (withSpacers) {
            rows.push_back(Row{Spacer, section.token.model, section.token.serial, std::nullopt});
        }
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

} // namespace keyvane::views
