#include "keyvane/viewmodels/MainWindowModel.h"

// The rule the login port's loginSucceeded sends by.
#include "keyvane/state/LoginFollowUp.h"
#include "shared/localization/LocalizedStrings.h"
#include "shared/viewmodels/CredentialsSections.h"
#include "shared/viewmodels/OneLineText.h"

#include <QVariantMap>

#include <algorithm>

namespace keyvane::app {

MainWindowModel::MainWindowModel(AppStore& store, flowkeep::MainExecutor& executor, QObject* parent)
    : AlertPresenter(parent), store_(store), executor_(executor), port_(store), settingsPort_(store),
      tokenDetails_([this](const std::string& serial) { store_.send(AppAction::deleteToken{serial}); }) {
    subscription_ = store_.observe([this](const AppState& state) { receive(state); });
}

MainWindowModel::~MainWindowModel() = default;

void MainWindowModel::receive(const AppState& state) {
    // Only what the window shows notifies: a sheet appearing or going away sends actions of
    // its own while the window's bindings are being evaluated.
    bool changes = false;
    const bool shown = state.navigationState.loginPurpose.has_value();
    if (shown != loginSheetShown_) {
        if (shown) {
            loginSheet_ = std::make_unique<views::LoginSheetModel>(
                port_, executor_, [this](const QString& serial) { loggedIn(serial); });
            connect(loginSheet_.get(), &views::LoginSheetModel::dismissRequested, this,
                    [this] { store_.send(AppAction::dismissLoginView{}); });
            connect(loginSheet_.get(), &views::LoginSheetModel::openUrlRequested, this,
                    &MainWindowModel::openUrlRequested);
        }
        loginSheetShown_ = shown;
        changes = true;
    }
    if (state.navigationState.showSettings != settingsShown_) {
        if (state.navigationState.showSettings) {
            settingsSheet_ = std::make_unique<views::SettingsSheetModel>(port_, settingsPort_, executor_);
            connect(settingsSheet_.get(), &views::SettingsSheetModel::closeRequested, this,
                    [this] { store_.send(AppAction::quitMasterPasswordSettings{}); });
        }
        settingsShown_ = state.navigationState.showSettings;
        changes = true;
    }
    changes = triggerChanged() || changes;
    if (state.navigationState.alert != shownAlert_ ||
        state.navigationState.onboardingState.isOnboardingShown != shownOnboarding_) {
        shownAlert_ = state.navigationState.alert;
        shownOnboarding_ = state.navigationState.onboardingState.isOnboardingShown;
        changes = true;
    }
    if (changes) {
        emit changed();
    }
}

bool MainWindowModel::triggerChanged() {
    const auto& lists = store_.state().credentialListState;
    auto search = searchText_.toStdString();
    // Compared in place: most state changes leave the lists alone, and copying them first
    // would cost as much as the comparison on every action.
    if (trigger_ && trigger_->searchText == search && trigger_->tokens == lists.tokens &&
        trigger_->credentials == lists.credentials) {
        return false;
    }
    trigger_ = FilterTrigger{lists.tokens, lists.credentials, std::move(search)};
    // Selected passkeys that are gone (deleted, or their token's records removed) leave the
    // selection: the toolbar would count them and a deletion would ask for them.
    std::erase_if(selection_, [&](const Bytes& key) {
        return std::none_of(lists.credentials.begin(), lists.credentials.end(),
                            [&](const PasskeyCredentials& credential) { return credential.keyId == key; });
    });
    sideBarItems_ = views::groupIntoSections(lists.tokens, lists.credentials, true);
    refilter();
    if (chosen_) {
        const auto found = std::find_if(lists.tokens.begin(), lists.tokens.end(),
                                        [&](const TokenInfo& token) { return token.serial == chosen_->token.serial; });
        if (found == lists.tokens.end()) {
            setChoice(std::nullopt);
        } else {
            auto refreshed = *chosen_;
            refreshed.token = *found;
            setChoice(std::move(refreshed));
        }
    }
    showCards();
    showSelection();
    return true;
}

void MainWindowModel::setChoice(std::optional<CredentialsSection> choice) {
    const bool same = choice.has_value() == chosen_.has_value() && (!choice || *choice == *chosen_);
    if (same) {
        return;
    }
    chosen_ = std::move(choice);
    selection_.clear();
    refilter();
    tokenDetails_.setToken(chosen_ ? std::optional<TokenInfo>(chosen_->token) : std::nullopt);
    showCards();
    showSelection();
}

void MainWindowModel::refilter() {
    const auto& lists = store_.state().credentialListState;
    filteredSections_ = views::filterSections(lists.tokens, lists.credentials, searchText_,
                                              chosen_ ? std::optional<std::string>(chosen_->token.serial) : std::nullopt);
    passkeys_.setSections(filteredSections_, !chosen_.has_value());
}

void MainWindowModel::showCards() {
    std::vector<SidebarModel::Card> cards;
    cards.push_back(SidebarModel::Card{true, {}, {}, store_.state().credentialListState.credentials.size(), !chosen_});
    for (const auto& section : sideBarItems_) {
        cards.push_back(SidebarModel::Card{false, section.token.model, section.token.serial, section.credentials.size(),
                                           chosen_ && chosen_->token.serial == section.token.serial});
    }
    sidebar_.setCards(std::move(cards));
}

std::optional<std::string> MainWindowModel::selectionSerial() const {
    if (selection_.empty()) {
        return std::nullopt;
    }
    const auto& credentials = store_.state().credentialListState.credentials;
    for (const auto& key : selection_) {
        const auto found = std::find_if(credentials.begin(), credentials.end(),
                                        [&](const PasskeyCredentials& credential) { return credential.keyId == key; });
        if (found != credentials.end()) {
            return found->tokenSerial;
        }
    }
    return std::nullopt;
}

void MainWindowModel::showSelection() {
    passkeys_.setSelection(selection_, selectionSerial());
}

int MainWindowModel::chosenCard() const {
    if (!chosen_) {
        return 0;
    }
    for (std::size_t i = 0; i < sideBarItems_.size(); ++i) {
        if (sideBarItems_[i].token.serial == chosen_->token.serial) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

void MainWindowModel::setSearchText(const QString& text) {
    if (text == searchText_) {
        return;
    }
    searchText_ = text;
    triggerChanged();
    emit changed();
}

QString MainWindowModel::title() const {
    return chosen_ ? views::oneLineText(chosen_->token.model) : LocalizedStrings::passkeysAllPasskeysName();
}

QString MainWindowModel::subtitle() const {
    std::size_t listed = 0;
    for (const auto& section : filteredSections_) {
        listed += section.credentials.size();
    }
    if (listed == 0) {
        return {};
    }
    auto text = LocalizedStrings::counted("PasskeysView_AllCount", static_cast<int>(listed));
    if (!selection_.empty()) {
        text += LocalizedStrings::counted("PasskeysView_SelectedCount", static_cast<int>(selection_.size()));
    }
    return text;
}

QString MainWindowModel::emptyTitle() const {
    return searchText_.isEmpty() ? LocalizedStrings::passkeysScreenEmptyViewTitle()
                                 : LocalizedStrings::passkeysScreenSearchViewNotFoundTitle();
}

QString MainWindowModel::emptyDescription() const {
    if (!searchText_.isEmpty()) {
        return LocalizedStrings::passkeysScreenSearchViewNotFoundDescription();
    }
    return chosen_ ? LocalizedStrings::varnelPasskeysEmptyDescription() : LocalizedStrings::passkeysScreenEmptyViewDescription();
}

MainWindowModel::EmptyButton MainWindowModel::emptyButton() const {
    if (!searchText_.isEmpty()) {
        return NoButton;
    }
    return chosen_ ? MoreDetailsButton : SyncButton;
}

QString MainWindowModel::deleteAlertTitle() const {
    if (!deleteRequest_) {
        return {};
    }
    const auto count = deleteRequest_->credsIds.size();
    return count == 1 ? LocalizedStrings::alertKeyDeleteTitle()
                      : LocalizedStrings::counted("Alert_KeysDelete_Title", static_cast<int>(count));
}

QString MainWindowModel::deleteAlertMessage() const {
    return LocalizedStrings::keysChooseDeleteDescription();
}

QVariantList MainWindowModel::deleteAlertButtons() const {
    const auto count = deleteRequest_ ? deleteRequest_->credsIds.size() : selection_.size();
    return views::confirmationButtons(LocalizedStrings::alertCancelButtonLabel(),
                                      LocalizedStrings::counted("KeysChoose_DeleteButton", static_cast<int>(count)),
                                      QStringLiteral("delete"));
}

void MainWindowModel::synchronise() {
    // Asks to turn the extension on first when it is off; startSync follows an agreement.
    store_.send(AppAction::syncingButtonPressed{});
}

void MainWindowModel::openMasterPasswordSettings() {
    store_.send(AppAction::startEnteringMasterPasswordSettings{});
}

void MainWindowModel::openAbout() {
    if (!aboutShown_) {
        aboutShown_ = true;
        emit changed();
    }
}

void MainWindowModel::closeAbout() {
    if (aboutShown_) {
        aboutShown_ = false;
        emit changed();
    }
}

void MainWindowModel::resetPersistentData() {
    store_.send(AppAction::resetPersistentData{});
}

void MainWindowModel::chooseCard(int card) {
    if (card == 0) {
        setChoice(std::nullopt);
    } else if (card > 0 && card <= static_cast<int>(sideBarItems_.size())) {
        setChoice(sideBarItems_[static_cast<std::size_t>(card - 1)]);
    } else {
        return;
    }
    emit changed();
}

void MainWindowModel::chooseRow(int row) {
    const auto* chosen = passkeys_.row(row);
    if (chosen == nullptr || !passkeys_.isSelectable(*chosen)) {
        return;
    }
    selection_ = {chosen->credential->keyId};
    showSelection();
    emit changed();
}

void MainWindowModel::toggleRow(int row) {
    const auto* chosen = passkeys_.row(row);
    if (chosen == nullptr || !passkeys_.isSelectable(*chosen)) {
        return;
    }
    if (!selection_.erase(chosen->credential->keyId)) {
        selection_.insert(chosen->credential->keyId);
    }
    showSelection();
    emit changed();
}

void MainWindowModel::clearSelection() {
    if (selection_.empty()) {
        return;
    }
    selection_.clear();
    showSelection();
    emit changed();
}

// Acts on what the list shows: the first selected passkey must be listed (a search may hide
// it), and its token is the request's; the request names the whole selection.
void MainWindowModel::deletePressed() {
    if (selection_.empty() || deleteRequest_) {
        return;
    }
    const auto& first = *selection_.begin();
    for (const auto& section : filteredSections_) {
        for (const auto& credential : section.credentials) {
            if (credential.keyId == first) {
                deleteRequest_ = CredentialsDeleteRequest{selection_, credential.tokenSerial};
                emit changed();
                return;
            }
        }
    }
}

void MainWindowModel::pressDeleteAlertButton(int index) {
    if (!deleteRequest_ || (index != views::confirmationCancel && index != views::confirmationDestroy)) {
        return;
    }
    auto request = std::move(*deleteRequest_);
    deleteRequest_.reset();
    if (index == views::confirmationDestroy) {
        // The login sheet opens for the token; the selection is spent at once.
        selection_.clear();
        showSelection();
        store_.send(AppAction::deleteButtonPressed{std::move(request)});
    }
    emit changed();
}

const std::optional<AppAlert>& MainWindowModel::alert() const {
    // An open sheet presents the alert itself.
    static const std::optional<AppAlert> none;
    if (loginSheetShown_ || settingsShown_) {
        return none;
    }
    return store_.state().navigationState.alert;
}

void MainWindowModel::pressAlertButton(int index) {
    const auto& shown = alert();
    if (shown && index >= 0 && index < static_cast<int>(shown->actions().size())) {
        store_.send(AppAction::hideAlert{});
    }
}

void MainWindowModel::loggedIn(const QString& serial) {
    // The verdict arrives inside the store's notification: what follows is sent a step later.
    executor_.post([this, serial = serial.toStdString()] { port_.loginSucceeded(serial); });
}

} // namespace keyvane::app
