#pragma once

#include "shared/redux/CredentialsSection.h"
#include "shared/utils/Bytes.h"

#include <QAbstractListModel>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace keyvane::views {

// The rows of a list of passkeys grouped per token (the main window's list, the extension's
// passkey choice), flat so the list makes delegates only for what is on screen: per section a
// header row (where the list shows headers), one row per passkey and, where the list spaces its
// sections so, a spacer row. A selection is its owner's; this model only shows it.
class PasskeyListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Kind { Header, Passkey, Spacer };
    Q_ENUM(Kind)
    enum Role {
        KindRole = Qt::UserRole + 1,
        TokenModelRole,
        SerialRole,
        UsernameRole,
        RelyingPartyRole,
        KeyIdRole,
        PlaceRole,
        SelectedRole,
        SelectableRole
    };

    struct Row {
        Kind kind;
        std::string tokenModel;
        std::string serial;
        std::optional<PasskeyCredentials> credential; // passkey rows only
        int place = -1;                               // passkey rows: the place among the passkeys
        bool operator==(const Row&) const = default;
    };

    explicit PasskeyListModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    int count() const { return static_cast<int>(rows_.size()); }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : count(); }
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // New sections: the rows are replaced only when they differ, so an unchanged list keeps
    // its delegates and its scroll position. withSpacers ends each section with a spacer row.
    void setSections(const std::vector<CredentialsSection>& sections, bool withHeaders, bool withSpacers = true);
    // The selected keys, and the token the selection is bound to (rows of other tokens cannot
    // be selected); only the two selection roles change.
    void setSelection(const std::set<Bytes>& selection, const std::optional<std::string>& selectionSerial);

    const std::vector<Row>& rows() const { return rows_; }
    const Row* row(int index) const;
    bool isSelectable(const Row& row) const;
    // The row of the passkey at a place among the passkeys, or -1.
    int rowOfPlace(int place) const;
    // The keyboard's next passkey row from a place, upwards (-1) or downwards (1), over
    // headers and spacers; the place itself when there is none that way.
    Q_INVOKABLE int nextPasskeyRow(int from, int direction) const;
    // The keyboard's place once the rows changed under it: the place itself on a passkey row,
    // else the nearest passkey above it, else below; -1 (no place) stays -1, and so does a
    // list without passkeys.
    Q_INVOKABLE int passkeyRowNear(int place) const;

signals:
    void countChanged();

private:
    std::vector<Row> rows_;
    std::set<Bytes> selection_;
    std::optional<std::string> selectionSerial_;
};

} // namespace keyvane::views
