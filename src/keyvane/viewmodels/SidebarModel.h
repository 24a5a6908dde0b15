#pragma once

#include <QAbstractListModel>

#include <string>
#include <vector>

namespace keyvane::app {

// The sidebar's cards: the all-passkeys card first, then one card per token.
class SidebarModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { AllRole = Qt::UserRole + 1, TokenModelRole, SerialRole, CountRole, SelectedRole };

    struct Card {
        bool all = false;
        std::string tokenModel;
        std::string serial;
        std::size_t count = 0;
        bool selected = false;
        bool operator==(const Card&) const = default;
    };

    explicit SidebarModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    int count() const { return static_cast<int>(cards_.size()); }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : count(); }
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    void setCards(std::vector<Card> cards);
    const std::vector<Card>& cards() const { return cards_; }

signals:
    void countChanged();

private:
    std::vector<Card> cards_;
};

} // namespace keyvane::app
