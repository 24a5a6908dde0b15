#pragma once

#include "credential_ext/viewmodels/ExtensionRootModel.h"
#include "shared/redux/CredentialsSection.h"
#include "shared/redux/FilterTrigger.h"
#include "shared/viewmodels/PasskeyListModel.h"

namespace keyvane::ext::views {

// The passkey choice of a sign-in request: the request's passkeys grouped by the stored token
// that holds them and narrowed by the search text; the user picks one (a click, or the arrows
// and Return), and the login sheet then sits over the list until that passkey's token is
// unlocked. A login for a refresh reads the unlocked token's passkeys instead.
// The base is named in full so that the QML tools find it.
class PasskeyChoiceModel final : public keyvane::ext::views::ExtensionRootModel {
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY changed)
    Q_PROPERTY(Content content READ content NOTIFY changed)
    Q_PROPERTY(bool searchBarShown READ searchBarShown NOTIFY changed)
    // A header row per section and a row per passkey, in display order: the list model of
    // the main window's list too (there, with a spacer after each section). A passkey row's
    // place among the passkeys is the choice it makes.
    Q_PROPERTY(keyvane::views::PasskeyListModel* rows READ rows CONSTANT)
    Q_PROPERTY(int currentChoice READ currentChoice NOTIFY changed)
    Q_PROPERTY(int currentRow READ currentRow NOTIFY changed)

public:
    enum Content { PasskeyList, NotFound, Empty };
    Q_ENUM(Content)

    PasskeyChoiceModel(ExtensionStorePort& port, flowkeep::MainExecutor& executor, QObject* parent = nullptr);

    QString searchText() const { return searchText_; }
    void setSearchText(const QString& text);
    Content content() const;
    bool searchBarShown() const { return !sections_.empty() || !searchText_.isEmpty(); }
    keyvane::views::PasskeyListModel* rows() { return &rows_; }
    const std::vector<CredentialsSection>& sections() const { return sections_; }
    int currentChoice() const { return currentChoice_; }
    // The row of the current choice in rows, or -1.
    int currentRow() const;

    // Moves the current choice by delta passkeys, staying within the list.
    Q_INVOKABLE void moveChoice(int delta);
    // Picks the passkey at its place among the shown passkeys (a click), or the current one.
    Q_INVOKABLE void choose(int choice);
    Q_INVOKABLE void chooseCurrent() { choose(currentChoice_); }
    Q_INVOKABLE void refresh();

    // Here an alert only tells what went wrong: its title, and one button that closes it.
    QString alertMessage() const override { return {}; }
    QVariantList alertButtons() const override;
    void pressAlertButton(int index) override;

    // The filter and grouping rule: the passkeys whose user name or relying party contains the
    // search text (ignoring case), grouped by token serial in the order of the stored tokens;
    // a token without passkeys gets no section and a passkey without a stored token is left out.
    static std::vector<CredentialsSection> filteredSections(const FilterTrigger& trigger);

protected:
    int alertButtonFor(bool returnKey) const override;

private:
    bool sliceChanged(const ExtensionSlice& previous) override;
    bool refilter();
    std::vector<const PasskeyCredentials*> shownPasskeys() const;

    QString searchText_;
    std::vector<CredentialsSection> sections_;
    keyvane::views::PasskeyListModel rows_;
    int currentChoice_ = -1;
};

} // namespace keyvane::ext::views
