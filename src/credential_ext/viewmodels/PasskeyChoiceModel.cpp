#include "credential_ext/viewmodels/PasskeyChoiceModel.h"

#include "shared/viewmodels/CredentialsSections.h"

#include <QVariantMap>

#include <algorithm>
#include <set>

namespace keyvane::ext::views {

PasskeyChoiceModel::PasskeyChoiceModel(ExtensionStorePort& port, flowkeep::MainExecutor& executor, QObject* parent)
    : ExtensionRootModel(port, executor, parent) {
    start();
}

std::vector<CredentialsSection> PasskeyChoiceModel::filteredSections(const FilterTrigger& trigger) {
    // A serial listed twice gets one section: a passkey offered twice would be two choices of one.
    std::vector<TokenInfo> tokens;
    std::set<std::string> serials;
    for (const auto& token : trigger.tokens) {
        if (serials.insert(token.serial).second) {
            tokens.push_back(token);
        }
    }
    return keyvane::views::filterSections(tokens, trigger.credentials, QString::fromStdString(trigger.searchText),
                                          std::nullopt);
}

void PasskeyChoiceModel::setSearchText(const QString& text) {
    if (text == searchText_) {
        return;
    }
    searchText_ = text;
    refilter();
    emit changed();
}

bool PasskeyChoiceModel::sliceChanged(const ExtensionSlice& previous) {
    const bool listChanged = previous.tokens != slice().tokens || previous.credentials != slice().credentials;
    const bool refiltered = listChanged && refilter();
    return refiltered || previous.purpose != slice().purpose;
}

bool PasskeyChoiceModel::refilter() {
    auto next = filteredSections({slice().tokens, slice().credentials, searchText_.toStdString()});
    if (next == sections_) {
        return false;
    }
    sections_ = std::move(next);
    rows_.setSections(sections_, true, false);
    const int count = static_cast<int>(shownPasskeys().size());
    currentChoice_ = count == 0 ? -1 : std::clamp(currentChoice_, 0, count - 1);
    return true;
}

std::vector<const PasskeyCredentials*> PasskeyChoiceModel::shownPasskeys() const {
    std::vector<const PasskeyCredentials*> passkeys;
    for (const auto& section : sections_) {
        for (const auto& passkey : section.credentials) {
            passkeys.push_back(&passkey);
        }
    }
    return passkeys;
}

PasskeyChoiceModel::Content PasskeyChoiceModel::content() const {
    if (!sections_.empty()) {
        return PasskeyList;
    }
    return searchText_.isEmpty() ? Empty : NotFound;
}

int PasskeyChoiceModel::currentRow() const { return rows_.rowOfPlace(currentChoice_); }

void PasskeyChoiceModel::moveChoice(int delta) {
    const int count = static_cast<int>(shownPasskeys().size());
    if (count == 0) {
        return;
    }
    const int next = std::clamp(currentChoice_ + delta, 0, count - 1);
    if (next != currentChoice_) {
        currentChoice_ = next;
        emit changed();
    }
}

void PasskeyChoiceModel::choose(int choice) {
    const auto passkeys = shownPasskeys();
    // Refused while the login sheet or an alert is up: one choice at a time.
    if (choice < 0 || choice >= static_cast<int>(passkeys.size()) || loginSheetShown() || alertShown()) {
        return;
    }
    currentChoice_ = choice;
    port().credForAuthenticationSelected(*passkeys[static_cast<std::size_t>(choice)]);
}

void PasskeyChoiceModel::refresh() {
    if (!loginSheetShown()) {
        port().syncingButtonPressed();
    }
}

QVariantList PasskeyChoiceModel::alertButtons() const {
    if (!alertShown()) {
        return {};
    }
    const AppAlert::Action done = AppAlert::Action::done;
    return {QVariantMap{{QStringLiteral("label"), done.label()},
                        {QStringLiteral("identifier"), QString::fromStdString(done.id())},
                        {QStringLiteral("isDefault"), false}}};
}

int PasskeyChoiceModel::alertButtonFor(bool returnKey) const { return returnKey ? -1 : 0; }

void PasskeyChoiceModel::pressAlertButton(int index) {
    if (index == 0 && alertShown()) {
        port().hideAlert();
    }
}

} // namespace keyvane::ext::views
