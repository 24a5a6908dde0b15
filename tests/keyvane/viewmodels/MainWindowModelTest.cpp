#include "keyvane/viewmodels/MainWindowModel.h"

#include "../../shared/viewmodels/ViewModelFixture.h"
#include "shared/localization/LocalizedStrings.h"

#include <gtest/gtest.h>

#include <limits>

namespace keyvane::app {
namespace {

using views::testing::StoreFixture;

TokenInfo token(const std::string& serial, std::optional<std::uint64_t> free = 1000) {
    return TokenInfo{"Label " + serial, "Model " + serial, serial, "1.0", 64000, free, true};
}

PasskeyCredentials passkey(std::uint8_t id, const std::string& serial, const std::string& site, const std::string& user) {
    return PasskeyCredentials{Bytes{id}, site, user, Bytes{id}, serial};
}

// The window over a store whose middlewares only record, with two tokens and their passkeys.
struct Window : StoreFixture {
    Window() {
        drive(AppAction::updateTokenList{{token("A"), token("B"), token("C")}});
        drive(AppAction::updateCredentialsList{{passkey(1, "A", "mail.example", "alice"),
                                                passkey(2, "B", "shop.example", "bob"),
                                                passkey(3, "A", "bank.example", "carol"),
                                                passkey(9, "Z", "lost.example", "zed")}});
        sent();
    }

    // The list's rows as text: "[A]" a header, "alice" a passkey ("*" selected, "-" not
    // selectable), "_" a spacer.
    std::vector<std::string> rows() {
        std::vector<std::string> result;
        const auto& list = *window.passkeys();
        for (int i = 0; i < list.count(); ++i) {
            const auto index = list.index(i);
            switch (list.data(index, PasskeyListModel::KindRole).toInt()) {
            case PasskeyListModel::Header:
                result.push_back("[" + list.data(index, PasskeyListModel::SerialRole).toString().toStdString() + "]");
                break;
            case PasskeyListModel::Passkey:
                result.push_back(list.data(index, PasskeyListModel::UsernameRole).toString().toStdString() +
                                 (list.data(index, PasskeyListModel::SelectedRole).toBool() ? "*" : "") +
                                 (list.data(index, PasskeyListModel::SelectableRole).toBool() ? "" : "-"));
                break;
            default:
                result.push_back("_");
            }
        }
        return result;
    }
    // The row of a user name.
    int row(const std::string& user) {
        const auto& list = *window.passkeys();
        for (int i = 0; i < list.count(); ++i) {
            if (list.data(list.index(i), PasskeyListModel::UsernameRole).toString().toStdString() == user) {
                return i;
            }
        }
        return -1;
    }
    // The cards as "serial count", the chosen one marked "*".
    std::vector<std::string> cards() {
        std::vector<std::string> result;
        for (const auto& card : window.sidebar()->cards()) {
            result.push_back((card.all ? std::string("all") : card.serial) + " " + std::to_string(card.count) +
                             (card.selected ? "*" : ""));
        }
        return result;
    }

    MainWindowModel window{store, executor};
};

using Rows = std::vector<std::string>;

TEST(MainWindowModelTest, SectionsForAllTokensAndForTheChosenOne) {
    Window w;
    EXPECT_EQ(w.rows(), (Rows{"[A]", "alice", "carol", "_", "[B]", "bob", "_"}));
    // Passkeys of an unlisted token count on the all card only; a token without passkeys
    // has a card with 0.
    EXPECT_EQ(w.cards(), (Rows{"all 4*", "A 2", "B 1", "C 0"}));
    EXPECT_EQ(w.window.title(), LocalizedStrings::passkeysAllPasskeysName());
    EXPECT_EQ(w.window.subtitle(), LocalizedStrings::counted("PasskeysView_AllCount", 3));
    EXPECT_FALSE(w.window.tokenChosen());

    w.window.chooseCard(1);
    EXPECT_EQ(w.rows(), (Rows{"alice", "carol", "_"}));
    EXPECT_EQ(w.cards(), (Rows{"all 4", "A 2*", "B 1", "C 0"}));
    EXPECT_EQ(w.window.title(), QStringLiteral("Model A"));
    EXPECT_EQ(w.window.tokenDetails()->serial(), QStringLiteral("A"));

    w.window.chooseCard(3);
    EXPECT_TRUE(w.window.listEmpty());
    EXPECT_EQ(w.window.emptyDescription(), LocalizedStrings::varnelPasskeysEmptyDescription());
    EXPECT_EQ(w.window.emptyButton(), MainWindowModel::MoreDetailsButton);
    EXPECT_EQ(w.window.subtitle(), QString());

    w.window.chooseCard(0);
    EXPECT_EQ(w.window.emptyButton(), MainWindowModel::SyncButton);
    EXPECT_FALSE(w.window.tokenChosen());
    // The sidebar's choice sends nothing.
    EXPECT_TRUE(w.sent().empty());
}

TEST(MainWindowModelTest, SearchNarrowsTheListAndExplainsAnEmptyResult) {
    struct Case {
        const char* search;
        Rows expected;
    };
    const std::vector<Case> cases{
        {"MAIL", {"[A]", "alice", "_"}},
        {"o", {"[A]", "carol", "_", "[B]", "bob", "_"}},
        {"zed", {}},
        {"", {"[A]", "alice", "carol", "_", "[B]", "bob", "_"}},
    };
    Window w;
    for (const auto& c : cases) {
        w.window.setSearchText(QString::fromUtf8(c.search));
        EXPECT_EQ(w.rows(), c.expected) << c.search;
    }
    w.window.setSearchText(QStringLiteral("nowhere"));
    EXPECT_EQ(w.window.emptyTitle(), LocalizedStrings::passkeysScreenSearchViewNotFoundTitle());
    EXPECT_EQ(w.window.emptyDescription(), LocalizedStrings::passkeysScreenSearchViewNotFoundDescription());
    EXPECT_EQ(w.window.emptyButton(), MainWindowModel::NoButton);
    // The search applies within the chosen token too.
    w.window.setSearchText(QStringLiteral("bank"));
    w.window.chooseCard(1);
    EXPECT_EQ(w.rows(), (Rows{"carol", "_"}));
}

TEST(MainWindowModelTest, SelectionStaysOnOneToken) {
    Window w;
    w.window.chooseRow(w.row("alice"));
    EXPECT_EQ(w.rows(), (Rows{"[A]", "alice*", "carol", "_", "[B]", "bob-", "_"}));
    // Rows of another token ignore clicks; a header or spacer is no passkey.
    w.window.toggleRow(w.row("bob"));
    w.window.chooseRow(0);
    w.window.toggleRow(w.row("carol"));
    EXPECT_EQ(w.rows(), (Rows{"[A]", "alice*", "carol*", "_", "[B]", "bob-", "_"}));
    EXPECT_EQ(w.window.subtitle(), LocalizedStrings::counted("PasskeysView_AllCount", 3) +
                                       LocalizedStrings::counted("PasskeysView_SelectedCount", 2));
    // A search that hides a selected passkey keeps it selected.
    w.window.setSearchText(QStringLiteral("carol"));
    EXPECT_EQ(w.window.selectionCount(), 2);
    w.window.setSearchText({});
    // Choosing one alone, toggling it off, and Escape.
    w.window.chooseRow(w.row("carol"));
    EXPECT_EQ(w.window.selectionCount(), 1);
    w.window.toggleRow(w.row("carol"));
    EXPECT_EQ(w.rows(), (Rows{"[A]", "alice", "carol", "_", "[B]", "bob", "_"}));
    w.window.chooseRow(w.row("bob"));
    w.window.clearSelection();
    EXPECT_EQ(w.window.selectionCount(), 0);
    // Changing the sidebar's choice empties the selection.
    w.window.chooseRow(w.row("bob"));
    w.window.chooseCard(2);
    EXPECT_EQ(w.window.selectionCount(), 0);
    EXPECT_TRUE(w.sent().empty());
}

TEST(MainWindowModelTest, DeletingTheSelectionAsksFirstThenOpensTheLogin) {
    Window w;
    // Nothing selected: the Delete key asks nothing.
    w.window.deletePressed();
    EXPECT_FALSE(w.window.deleteAlertShown());

    w.window.chooseRow(w.row("alice"));
    w.window.deletePressed();
    ASSERT_TRUE(w.window.deleteAlertShown());
    EXPECT_EQ(w.window.deleteAlertTitle(), LocalizedStrings::alertKeyDeleteTitle());
    // Cancelling keeps the selection and sends nothing.
    w.window.cancelDelete();
    EXPECT_FALSE(w.window.deleteAlertShown());
    EXPECT_EQ(w.window.selectionCount(), 1);

    w.window.toggleRow(w.row("carol"));
    w.window.deletePressed();
    EXPECT_EQ(w.window.deleteAlertTitle(), LocalizedStrings::counted("Alert_KeysDelete_Title", 2));
    EXPECT_EQ(w.window.deleteAlertButtons().at(views::confirmationDestroy).toMap().value("label").toString(),
              LocalizedStrings::counted("KeysChoose_DeleteButton", 2));
    w.window.confirmDelete();
    EXPECT_EQ(w.sent(), (Rows{"deleteButtonPressed(request: {token: A, keys: 2})"}));
    EXPECT_EQ(w.window.selectionCount(), 0);
    EXPECT_FALSE(w.window.deleteAlertShown());
    ASSERT_TRUE(w.window.loginSheetShown());
    // A second press of the same button finds no request.
    w.window.confirmDelete();
    EXPECT_TRUE(w.sent().empty());

    // After the login the window deletes what the purpose names.
    w.drive(AppAction::switchToPinView{token("A")});
    w.window.loginSheet()->appeared();
    w.sent();
    w.drive(AppAction::updatePinVerificationStatus{PinVerificationStatus::success{}});
    EXPECT_EQ(w.sent(), (Rows{"deleteCredentials(request: {token: A, keys: 2})"}));
}

TEST(MainWindowModelTest, GonePasskeysLeaveTheSelection) {
    Window w;
    w.window.chooseRow(w.row("alice"));
    w.window.toggleRow(w.row("carol"));
    // alice went (deleted elsewhere): she no longer counts or is asked for.
    w.drive(AppAction::updateCredentialsList{{passkey(2, "B", "shop.example", "bob"), passkey(3, "A", "bank.example", "carol")}});
    EXPECT_EQ(w.window.selectionCount(), 1);
    w.window.deletePressed();
    ASSERT_TRUE(w.window.deleteRequest().has_value());
    EXPECT_EQ(w.window.deleteRequest()->credsIds, (std::set<Bytes>{Bytes{3}}));
}

// Delete acts on what the list shows: when the search hides the first selected passkey, the
// button and the Delete key do nothing; the request always names the whole selection.
TEST(MainWindowModelTest, DeleteDoesNothingWhileTheSearchHidesTheFirstSelectedPasskey) {
    struct Case {
        const char* search;
        bool asks;
    };
    const std::vector<Case> cases = {
        {"bob", false},   // only another token's passkey listed
        {"carol", false}, // the second selected listed, the first (alice) not
        {"alice", true},
        {"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.search);
        Window w;
        w.window.chooseRow(w.row("alice"));
        w.window.toggleRow(w.row("carol"));
        w.window.setSearchText(QString::fromUtf8(c.search));
        w.window.deletePressed();
        EXPECT_EQ(w.window.deleteAlertShown(), c.asks);
        if (c.asks) {
            ASSERT_TRUE(w.window.deleteRequest().has_value());
            EXPECT_EQ(w.window.deleteRequest()->credsIds, (std::set<Bytes>{Bytes{1}, Bytes{3}}));
            EXPECT_EQ(w.window.deleteRequest()->tokenSerial, "A");
        }
        EXPECT_EQ(w.window.selectionCount(), 2) << "the selection stays";
        EXPECT_TRUE(w.sent().empty());
    }
}

TEST(MainWindowModelTest, TheSidebarChoiceStaysValid) {
    Window w;
    w.window.chooseCard(1);
    w.window.chooseRow(w.row("alice"));

    // The same token information again: the choice and the selection stay.
    w.drive(AppAction::updateTokenList{{token("A"), token("B"), token("C")}});
    EXPECT_EQ(w.window.selectionCount(), 1);

    // The chosen token's free memory changed: the details show it, the selection empties.
    w.drive(AppAction::updateTokenList{{token("A", 500), token("B"), token("C")}});
    EXPECT_EQ(w.window.selectionCount(), 0);
    EXPECT_EQ(w.window.tokenDetails()->freeMemory(), LocalizedStrings::aboutDeviceInfoFreeMemoryValue("500 bytes", "62.5 KB"));
    EXPECT_EQ(w.window.chosenCard(), 1);

    // A token listed before it moves the chosen card, not the choice.
    w.drive(AppAction::updateTokenList{{token("C"), token("A", 500), token("B")}});
    EXPECT_EQ(w.window.chosenCard(), 2);
    EXPECT_TRUE(w.window.tokenChosen());

    // Its records went away: back to all passkeys, no details.
    w.window.chooseRow(w.row("carol"));
    w.drive(AppAction::updateTokenList{{token("B")}});
    EXPECT_FALSE(w.window.tokenChosen());
    EXPECT_EQ(w.window.chosenCard(), 0);
    EXPECT_EQ(w.window.selectionCount(), 0);
    EXPECT_FALSE(w.window.tokenDetails()->token().has_value());
    EXPECT_EQ(w.cards(), (Rows{"all 4*", "B 1"}));
}

TEST(MainWindowModelTest, TokenDetailsDeleteTheTokensRecordsAfterAsking) {
    Window w;
    w.window.chooseCard(2);
    auto& details = *w.window.tokenDetails();
    EXPECT_EQ(details.tokenModel(), QStringLiteral("Model B"));
    EXPECT_EQ(details.name(), QStringLiteral("Label B"));
    EXPECT_TRUE(details.freeMemoryShown());

    details.deletePressed();
    EXPECT_TRUE(details.deleteAlertShown());
    details.cancelDelete();
    EXPECT_FALSE(details.deleteAlertShown());
    EXPECT_TRUE(w.sent().empty());

    details.deletePressed();
    details.confirmDelete();
    details.confirmDelete();
    EXPECT_EQ(w.sent(), (Rows{"deleteToken(B)"}));
    EXPECT_FALSE(details.deleteAlertShown());
}

// Counts in the window's texts take their plural form: one passkey is "1 passkey".
TEST(MainWindowModelTest, CountsReadAsTheirNumberNeeds) {
    Window w;
    w.window.chooseCard(2);
    EXPECT_EQ(w.window.subtitle(), QStringLiteral("1 passkey"));
    w.window.chooseRow(w.row("bob"));
    EXPECT_EQ(w.window.subtitle(), QStringLiteral("1 passkey, 1 selected"));
    w.window.chooseCard(0);
    w.window.chooseRow(w.row("alice"));
    w.window.toggleRow(w.row("carol"));
    EXPECT_EQ(w.window.subtitle(), QStringLiteral("3 passkeys, 2 selected"));
    w.window.deletePressed();
    EXPECT_EQ(w.window.deleteAlertTitle(), QStringLiteral("Delete 2 passkeys?"));
}

// Every confirmation before a destruction has the same buttons in the same order: the safe
// one first and default, the destructive one second; the labels are each confirmation's own.
TEST(MainWindowModelTest, ConfirmationsKeepOneOrderWithTheSafeChoiceAsDefault) {
    Window w;
    w.window.chooseRow(w.row("alice"));
    w.window.deletePressed();
    w.window.chooseCard(2);
    w.window.tokenDetails()->deletePressed();
    w.drive(AppAction::startEnteringMasterPasswordSettings{});
    ASSERT_NE(w.window.settingsSheet(), nullptr);
    const std::vector<std::pair<const char*, QVariantList>> confirmations = {
        {"delete passkeys", w.window.deleteAlertButtons()},
        {"remove the token", w.window.tokenDetails()->deleteAlertButtons()},
        {"turn off the master password", w.window.settingsSheet()->turnOffButtons()},
    };
    for (const auto& [what, buttons] : confirmations) {
        SCOPED_TRACE(what);
        ASSERT_EQ(buttons.size(), 2);
        const auto safe = buttons.at(views::confirmationCancel).toMap();
        const auto destroy = buttons.at(views::confirmationDestroy).toMap();
        EXPECT_EQ(safe.value("identifier").toString(), QStringLiteral("cancel"));
        EXPECT_TRUE(safe.value("isDefault").toBool());
        EXPECT_FALSE(safe.value("isDestructive").toBool());
        EXPECT_FALSE(destroy.value("isDefault").toBool());
        EXPECT_TRUE(destroy.value("isDestructive").toBool());
    }
}

TEST(MainWindowModelTest, TokenDetailsShowWhatTheTokenReports) {
    TokenDetailsModel details([](const std::string&) {});
    auto unlabelled = token("A", std::nullopt);
    unlabelled.label.reset();
    details.setToken(unlabelled);
    EXPECT_EQ(details.name(), QStringLiteral("Не задана"));
    EXPECT_FALSE(details.freeMemoryShown());
    EXPECT_EQ(details.freeMemory(), QString());

    auto empty = token("A", 0);
    empty.label = "";
    details.setToken(empty);
    EXPECT_EQ(details.name(), QString());
    EXPECT_EQ(details.freeMemory(), LocalizedStrings::aboutDeviceInfoFreeMemoryValue("0 bytes", "62.5 KB"));
    // The row reads as one phrase: its value repeats no word of its key ("Free memory … free").
    const QString value = details.freeMemory();
    for (const auto& word : LocalizedStrings::aboutDeviceInfoFreeMemoryKey().split(u' ', Qt::SkipEmptyParts)) {
        EXPECT_FALSE(value.contains(word, Qt::CaseInsensitive)) << value.toStdString() << " repeats " << word.toStdString();
    }

    // A confirmation asked for one token never carries over to another.
    details.deletePressed();
    details.setToken(token("B"));
    EXPECT_FALSE(details.deleteAlertShown());
}

// Every text of a token or a record that the window shows goes through the one-line filter:
// the list's header and rows, the sidebar's card, the title and the token's details. A right-
// to-left mark here would show "\u200Fcom\u200F.\u200Fbank" as "bank.com".
TEST(MainWindowModelTest, TokenAndRecordTextsShowOnOneLine) {
    const std::string marks = "\u200Fcom\u200F.\u200Fbank";
    const auto shown = QStringLiteral("\uFFFDcom\uFFFD.\uFFFDbank");
    StoreFixture fixture;
    auto strange = token("A");
    strange.model = marks;
    strange.label = marks;
    fixture.drive(AppAction::updateTokenList{{strange}});
    fixture.drive(AppAction::updateCredentialsList{{passkey(1, "A", marks, marks)}});
    MainWindowModel window{fixture.store, fixture.executor};

    const auto& list = *window.passkeys();
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.data(list.index(0), PasskeyListModel::TokenModelRole).toString(), shown);
    EXPECT_EQ(list.data(list.index(1), PasskeyListModel::UsernameRole).toString(), shown);
    EXPECT_EQ(list.data(list.index(1), PasskeyListModel::RelyingPartyRole).toString(), shown);
    const auto& sidebar = *window.sidebar();
    EXPECT_EQ(sidebar.data(sidebar.index(1), SidebarModel::TokenModelRole).toString(), shown);

    window.chooseCard(1);
    EXPECT_EQ(window.title(), shown);
    EXPECT_EQ(window.tokenDetails()->tokenModel(), shown);
    EXPECT_EQ(window.tokenDetails()->name(), shown);
}

TEST(MainWindowModelTest, ByteCountsCoverTheWholeUnsignedRange) {
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    const std::vector<std::pair<std::uint64_t, const char*>> cases{
        {0, "0 bytes"},
        {1, "1 byte"},
        {1023, "1023 bytes"},
        {1024, "1 KB"},
        {1536, "1.5 KB"},
        {64000, "62.5 KB"},
        {150 * 1024, "150 KB"},
        {1ULL << 20, "1 MB"},
        {5ULL << 30, "5 GB"},
        // Above the signed 64-bit range, as a token's "unavailable" value is.
        {(1ULL << 63), "8 EB"},
        {max, "16 EB"},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(byteCountText(bytes), QString::fromLatin1(expected)) << bytes;
    }
    TokenDetailsModel details([](const std::string&) {});
    details.setToken(TokenInfo{"L", "M", "S", "1.0", max, max, true});
    EXPECT_EQ(details.freeMemory(), LocalizedStrings::aboutDeviceInfoFreeMemoryValue("16 EB", "16 EB"));
}

TEST(MainWindowModelTest, TheCoresAlertShowsWhileNoSheetShowsIt) {
    Window w;
    w.drive(AppAction::handleError{AnyError(TextError("failed"))});
    EXPECT_TRUE(w.window.alertShown());
    EXPECT_FALSE(w.window.alertTitle().isEmpty());
    ASSERT_FALSE(w.window.alertButtons().isEmpty());

    // The login sheet presents it itself meanwhile.
    w.drive(AppAction::startSync{});
    EXPECT_FALSE(w.window.alertShown());
    w.drive(AppAction::dismissLoginView{});
    ASSERT_TRUE(w.window.alertShown());

    w.window.pressAlertButton(0);
    EXPECT_EQ(w.sent(), (Rows{"hideAlert"}));
    EXPECT_FALSE(w.window.alertShown());
}

TEST(MainWindowModelTest, ToolbarMenuAndSheets) {
    Window w;
    w.window.synchronise();
    w.window.openMasterPasswordSettings();
    EXPECT_EQ(w.sent(), (Rows{"syncingButtonPressed", "startEnteringMasterPasswordSettings"}));

    w.window.openAbout();
    EXPECT_TRUE(w.window.aboutShown());
    w.window.closeAbout();
    w.window.openAbout();
    EXPECT_TRUE(w.window.aboutShown());
    EXPECT_TRUE(w.sent().empty());

    w.drive(AppAction::firstLaunch{});
    EXPECT_EQ(w.window.onboardingShown(), w.store.state().navigationState.onboardingState.isOnboardingShown);
}

TEST(MainWindowModelTest, TheLoginSheetFollowsThePurposeAndAVerifiedLoginActsOnIt) {
    Window w;
    auto& window = w.window;
    EXPECT_FALSE(window.loginSheetShown());

    w.drive(AppAction::startSync{});
    ASSERT_TRUE(window.loginSheetShown());
    auto* first = window.loginSheet();
    ASSERT_NE(first, nullptr);

    w.drive(AppAction::switchToPinView{token("A")});
    first->appeared();
    w.sent();
    w.drive(AppAction::updatePinVerificationStatus{PinVerificationStatus::success{}});
    EXPECT_EQ(w.sent().back(), "enumerateCredentials(serial: A)");

    // Closing from inside ends the purpose; the next opening starts with a fresh sheet.
    emit first->dismissRequested();
    EXPECT_EQ(w.sent().back(), "dismissLoginView");
    EXPECT_FALSE(window.loginSheetShown());
    first->disappeared();
    w.drive(AppAction::startSync{});
    EXPECT_TRUE(window.loginSheetShown());
    EXPECT_NE(window.loginSheet(), nullptr);
}

} // namespace
} // namespace keyvane::app
