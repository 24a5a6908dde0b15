#pragma once

#include "keyvane/state/AppStore.h"
#include "keyvane/viewmodels/SidebarModel.h"
#include "keyvane/viewmodels/StoreSettingsPort.h"
#include "keyvane/viewmodels/TokenDetailsModel.h"
#include "shared/redux/FilterTrigger.h"
#include "shared/viewmodels/AlertButtons.h"
#include "shared/viewmodels/LoginSheetModel.h"
#include "shared/viewmodels/PasskeyListModel.h"
#include "shared/viewmodels/SettingsSheetModel.h"
#include "shared/viewmodels/StoreLoginPort.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <set>

namespace keyvane::app {

// The passkey list's rows are the shared list model's, as in the extension's passkey choice.
using views::PasskeyListModel;

// The main window: the sidebar's choice, the passkey list with its search and selection, the
// toolbar, the deletion of passkeys through the login sheet, the token details, the two
// sheets the state drives, the About sheet and the onboarding layer, and the core's alert
// while no sheet shows it. What the window shows and chooses is kept here; what the core must
// know goes to the store. Every property notifies through changed().
class MainWindowModel : public keyvane::views::AlertPresenter {
    Q_OBJECT
    Q_PROPERTY(bool loginSheetShown READ loginSheetShown NOTIFY changed)
    Q_PROPERTY(keyvane::views::LoginSheetModel* loginSheet READ loginSheet NOTIFY changed)
    Q_PROPERTY(bool settingsShown READ settingsShown NOTIFY changed)
    Q_PROPERTY(keyvane::views::SettingsSheetModel* settingsSheet READ settingsSheet NOTIFY changed)
    Q_PROPERTY(bool onboardingShown READ onboardingShown NOTIFY changed)
    Q_PROPERTY(bool aboutShown READ aboutShown NOTIFY changed)
    Q_PROPERTY(keyvane::app::SidebarModel* sidebar READ sidebar CONSTANT)
    Q_PROPERTY(keyvane::views::PasskeyListModel* passkeys READ passkeys CONSTANT)
    Q_PROPERTY(keyvane::app::TokenDetailsModel* tokenDetails READ tokenDetails CONSTANT)
    Q_PROPERTY(bool tokenChosen READ tokenChosen NOTIFY changed)
    Q_PROPERTY(int chosenCard READ chosenCard NOTIFY changed)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString subtitle READ subtitle NOTIFY changed)
    Q_PROPERTY(int selectionCount READ selectionCount NOTIFY changed)
    Q_PROPERTY(bool listEmpty READ listEmpty NOTIFY changed)
    Q_PROPERTY(QString emptyTitle READ emptyTitle NOTIFY changed)
    Q_PROPERTY(QString emptyDescription READ emptyDescription NOTIFY changed)
    Q_PROPERTY(EmptyButton emptyButton READ emptyButton NOTIFY changed)
    Q_PROPERTY(bool deleteAlertShown READ deleteAlertShown NOTIFY changed)
    Q_PROPERTY(QString deleteAlertTitle READ deleteAlertTitle NOTIFY changed)
    Q_PROPERTY(QString deleteAlertMessage READ deleteAlertMessage CONSTANT)
    Q_PROPERTY(QVariantList deleteAlertButtons READ deleteAlertButtons NOTIFY changed)

public:
    // The button under the texts of an empty list.
    enum EmptyButton { NoButton, SyncButton, MoreDetailsButton };
    Q_ENUM(EmptyButton)

    MainWindowModel(AppStore& store, flowkeep::MainExecutor& executor, QObject* parent = nullptr);
    ~MainWindowModel() override;

    bool loginSheetShown() const { return loginSheetShown_; }
    views::LoginSheetModel* loginSheet() const { return loginSheet_.get(); }
    bool settingsShown() const { return settingsShown_; }
    views::SettingsSheetModel* settingsSheet() const { return settingsSheet_.get(); }
    bool onboardingShown() const { return store_.state().navigationState.onboardingState.isOnboardingShown; }
    bool aboutShown() const { return aboutShown_; }
    SidebarModel* sidebar() { return &sidebar_; }
    PasskeyListModel* passkeys() { return &passkeys_; }
    TokenDetailsModel* tokenDetails() { return &tokenDetails_; }
    bool tokenChosen() const { return chosen_.has_value(); }
    // The place of the chosen card in the sidebar: 0 is the all-passkeys card.
    int chosenCard() const;
    QString searchText() const { return searchText_; }
    void setSearchText(const QString& text);
    QString title() const;
    QString subtitle() const;
    int selectionCount() const { return static_cast<int>(selection_.size()); }
    const std::set<Bytes>& selection() const { return selection_; }
    const std::vector<CredentialsSection>& filteredSections() const { return filteredSections_; }
    const std::vector<CredentialsSection>& sideBarItems() const { return sideBarItems_; }
    const std::optional<CredentialsSection>& chosenSection() const { return chosen_; }
    bool listEmpty() const { return filteredSections_.empty(); }
    QString emptyTitle() const;
    QString emptyDescription() const;
    EmptyButton emptyButton() const;
    bool deleteAlertShown() const { return deleteRequest_.has_value(); }
    const std::optional<CredentialsDeleteRequest>& deleteRequest() const { return deleteRequest_; }
    QString deleteAlertTitle() const;
    QString deleteAlertMessage() const;
    QVariantList deleteAlertButtons() const;

    // The toolbar and its menu.
    Q_INVOKABLE void synchronise();
    Q_INVOKABLE void openMasterPasswordSettings();
    Q_INVOKABLE void openAbout();
    Q_INVOKABLE void closeAbout();
    Q_INVOKABLE void resetPersistentData();

    // The sidebar: a card by its place (0 is all passkeys).
    Q_INVOKABLE void chooseCard(int card);

    // The passkey list: a row by its place. Choosing selects that passkey alone; toggling adds
    // it to the selection or takes it out. Rows that cannot be selected ignore both.
    Q_INVOKABLE void chooseRow(int row);
    Q_INVOKABLE void toggleRow(int row);
    Q_INVOKABLE void clearSelection();
    // The toolbar's trash button and the Delete key: asks to confirm deleting the selection.
    Q_INVOKABLE void deletePressed();
    // The confirmation's buttons by their place: cancel, then the deleting one.
    Q_INVOKABLE void pressDeleteAlertButton(int index);
    Q_INVOKABLE void confirmDelete() { pressDeleteAlertButton(views::confirmationDestroy); }
    Q_INVOKABLE void cancelDelete() { pressDeleteAlertButton(views::confirmationCancel); }

    // The core's alert: every button closes it.
    void pressAlertButton(int index) override;

signals:
    void openUrlRequested(const QUrl& url);

protected:
    const std::optional<AppAlert>& alert() const override;

private:
    void receive(const AppState& state);
    // Rebuilds the lists when the state's lists or the search text changed; answers whether.
    bool triggerChanged();
    void setChoice(std::optional<CredentialsSection> choice);
    void refilter();
    void showSelection();
    void showCards();
    // Reports a verified login to the login port, which sends what it leads to by the purpose
    // the state records (loginFollowUp).
    void loggedIn(const QString& serial);
    // The token the selection is bound to: that of the selected passkeys still known.
    std::optional<std::string> selectionSerial() const;

    AppStore& store_;
    flowkeep::MainExecutor& executor_;
    views::StoreLoginPort<AppState, AppAction> port_;
    StoreSettingsPort settingsPort_;
    SidebarModel sidebar_;
    PasskeyListModel passkeys_;
    TokenDetailsModel tokenDetails_;

    std::optional<FilterTrigger> trigger_;
    std::vector<CredentialsSection> sideBarItems_;
    std::optional<CredentialsSection> chosen_;
    std::vector<CredentialsSection> filteredSections_;
    QString searchText_;
    std::set<Bytes> selection_;
    std::optional<CredentialsDeleteRequest> deleteRequest_;
    bool aboutShown_ = false;
    std::optional<AppAlert> shownAlert_;
    bool shownOnboarding_ = false;

    bool loginSheetShown_ = false;
    // Made anew for each presentation, so the sheet's own state starts afresh; the previous
    // one lives until then, past the disappearance its view reports.
    std::unique_ptr<views::LoginSheetModel> loginSheet_;
    bool settingsShown_ = false;
    std::unique_ptr<views::SettingsSheetModel> settingsSheet_;
    flowkeep::Subscription subscription_;
};

} // namespace keyvane::app
