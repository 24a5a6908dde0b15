#include "shared/viewmodels/LoginSheetModel.h"

#include "ViewModelFixture.h"

#include <QObject>
#include <QVariant>
#include <gtest/gtest.h>

#include <chrono>

namespace keyvane::views::testing {
namespace {

using namespace std::chrono_literals;
using Display = LoginDisplayViewState;
using Pane = LoginSheetModel::Pane;

const TokenInfo A = token("A");
const TokenInfo B = token("B");
const TokenInfo U = token("U", false);

// Token lists as the monitoring run that the sheet started on appearing gathers them.
constexpr TokenMonitoringRun sheetRun = 1;

AppAction arrive(std::vector<TokenInfo> tokens) {
    std::vector<TokenMonitoringEvent> events;
    for (auto& info : tokens) {
        events.push_back(TokenMonitoringEvent::addConnectedToken{std::move(info)});
    }
    return AppAction::receiveTokenEvents{std::move(events), sheetRun};
}
AppAction leave(const std::string& serial) {
    return AppAction::receiveTokenEvents{{TokenMonitoringEvent::removeToken{serial}}, sheetRun};
}

// The name of each action, without its payload.
std::vector<std::string> names(const std::vector<std::string>& printed) {
    std::vector<std::string> result;
    for (const auto& line : printed) {
        result.push_back(line.substr(0, line.find('(')));
    }
    return result;
}

class LoginSheetTest : public ::testing::Test {
protected:
    void open(AppState initial = {}) {
        // The sheet goes before the store and the clock it uses.
        sheet.reset();
        fixture = std::make_unique<StoreFixture>(std::move(initial));
        sheet = std::make_unique<LoginSheetModel>(
            fixture->port, fixture->executor, [this](const QString& serial) { submitted.push_back(serial); },
            withCancelHook ? std::function<void()>([this] { ++cancelRequests; }) : std::function<void()>());
        sheet->appeared();
        // Appearing starts monitoring first; what the pane sends on appearing follows.
        auto& actions = fixture->recorder->actions;
        ASSERT_FALSE(actions.empty());
        EXPECT_TRUE(actions.front().is<AppAction::startMonitoring>());
        actions.erase(actions.begin());
    }
    AppState stateWith(Display display, MasterPasswordState masterPassword = MasterPasswordState::disabled) {
        AppState state;
        state.loginViewState.loginDisplayViewState = std::move(display);
        state.masterPasswordState = masterPassword;
        return state;
    }

    // An edit as the PIN field makes it: `removed` characters at `position` replaced by
    // `inserted`, the cursor after them; then the field tells the sheet.
    void edit(QObject& field, int position, int removed, const QString& inserted) {
        QString text = field.property("text").toString();
        text.replace(position, removed, inserted);
        field.setProperty("text", text);
        field.setProperty("cursorPosition", position + static_cast<int>(inserted.size()));
        sheet->pinEdited(&field);
    }
    void typeInto(QObject& field, const QString& typed) {
        edit(field, static_cast<int>(field.property("text").toString().size()), 0, typed);
    }
    static QString placeholders(int count) { return QString(count, QChar(LoginSheetModel::pinPlaceholder)); }

    bool withCancelHook = false;
    std::unique_ptr<StoreFixture> fixture;
    std::unique_ptr<LoginSheetModel> sheet; // declared after the fixture: destroyed first
    std::vector<QString> submitted;
    int cancelRequests = 0;
};

TEST_F(LoginSheetTest, EachDisplayStateShowsItsPaneAndToolbar) {
    struct Case {
        Display display;
        Pane pane;
        bool toolbar;
        bool switchToPin;
        QString serial;
    };
    const std::vector<Case> cases = {
        {Display::waitForAnyToken{}, Pane::WaitForAnyToken, true, false, ""},
        {Display::tokenList{}, Pane::TokenList, true, false, ""},
        {Display::waitForSpecificToken{A}, Pane::WaitForSpecificToken, true, false, "A"},
        {Display::enterPin{A}, Pane::EnterPin, true, false, "A"},
        {Display::enterMasterPassword{B}, Pane::EnterMasterPassword, true, true, "B"},
        {Display::waitForTouch{30}, Pane::WaitForTouch, false, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.pane));
        open(stateWith(c.display));
        EXPECT_EQ(sheet->pane(), c.pane);
        EXPECT_EQ(sheet->toolbarVisible(), c.toolbar);
        EXPECT_EQ(sheet->switchToPinVisible(), c.switchToPin);
        EXPECT_EQ(sheet->tokenSerial(), c.serial);
    }
    open(stateWith(Display::enterPin{A}));
    EXPECT_TRUE(sheet->connectionMessage().contains("Varnel 3 A")) << sheet->connectionMessage().toStdString();
}

TEST_F(LoginSheetTest, ClosingSendsTheResetsAndStopsMonitoringInOrder) {
    open(stateWith(Display::enterPin{A}));
    sheet->disappeared();
    EXPECT_EQ(fixture->sent(), (std::vector<std::string>{"setPassAuth(unknown)", "setPinExist(notChecked)", "stopMonitoring"}));
    sheet->disappeared();
    EXPECT_TRUE(fixture->sent().empty());
}

TEST_F(LoginSheetTest, EnterSendsOneLoginWithTheTypedPinAndEmptiesTheField) {
    open();
    fixture->drive(arrive({A}));
    ASSERT_EQ(sheet->pane(), Pane::EnterPin);

    QObject field;
    typeInto(field, QStringLiteral("12345678"));
    EXPECT_EQ(field.property("text").toString(), placeholders(8));
    EXPECT_TRUE(sheet->submitPin(&field));
    EXPECT_EQ(field.property("text").toString(), QString());
    EXPECT_EQ(sheet->pinLength(), 0);
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    const auto* login = fixture->recorder->actions[0].as<AppAction::performLoginOnToken>();
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(login->serial, "A");
    ASSERT_TRUE(login->pin.has_value());
    EXPECT_EQ(login->pin->reveal(), "12345678");
    EXPECT_TRUE(sheet->loginInProgress());
    fixture->sent();

    // A second press while the first login runs would spend another retry.
    typeInto(field, QStringLiteral("12345678"));
    EXPECT_FALSE(sheet->submitPin(&field));
    EXPECT_EQ(field.property("text").toString(), placeholders(8));
    EXPECT_EQ(sheet->pinLength(), 8);
    EXPECT_TRUE(fixture->sent().empty());

    // The verdict frees the field again and shows the attempts left.
    fixture->drive(AppAction::updatePinVerificationStatus{PinVerificationStatus::incorrect{2}});
    EXPECT_FALSE(sheet->loginInProgress());
    EXPECT_TRUE(sheet->pinError().contains('2'));
    EXPECT_TRUE(sheet->submitPin(&field));
    EXPECT_EQ(names(fixture->sent()), std::vector<std::string>{"performLoginOnToken"});

    // A failure that ends as an alert frees it too.
    fixture->drive(AppAction::handleError{AnyError(TextError("lost"))});
    EXPECT_FALSE(sheet->loginInProgress());
}

// The field only ever holds placeholders: every kind of edit it can make reaches the PIN at
// the field's cursor, and the field is set back to one placeholder per unit of the PIN.
TEST_F(LoginSheetTest, EveryEditOfTheFieldReachesThePinAndTheFieldKeepsPlaceholders) {
    struct Case {
        const char* what;
        int position;
        int removed;
        QString inserted;
        std::string pin;
        int cursor;
    };
    const std::vector<Case> cases = {
        {"a key at the end", 4, 0, QStringLiteral("5"), "12345", 5},
        {"a key inside, the cursor moved back", 1, 0, QStringLiteral("9"), "19234", 2},
        {"backspace inside", 1, 1, QString(), "134", 1},
        {"delete at the start", 0, 1, QString(), "234", 0},
        {"typing over the whole selection", 0, 4, QStringLiteral("7"), "7", 1},
        {"a paste over part of a selection", 1, 2, QStringLiteral("ab"), "1ab4", 3},
        {"a character of two units", 4, 0, QStringLiteral("\U0001F511"), "1234\xF0\x9F\x94\x91", 6},
        {"a paste longer than the room set aside", 2, 0, QString(300, QChar(u'x')),
         "12" + std::string(300, 'x') + "34", 302},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        open(stateWith(Display::enterPin{A}));
        QObject field;
        typeInto(field, QStringLiteral("1234"));
        edit(field, c.position, c.removed, c.inserted);
        EXPECT_EQ(field.property("text").toString(), placeholders(sheet->pinLength()));
        EXPECT_EQ(field.property("cursorPosition").toInt(), c.cursor);
        ASSERT_TRUE(sheet->submitPin(&field));
        EXPECT_EQ(fixture->recorder->actions.back().as<AppAction::performLoginOnToken>()->pin->reveal(), c.pin);
    }

    // A two-unit character is never cut in half: backspace over its second half takes all of
    // it, and a key typed between its halves goes before it.
    open(stateWith(Display::enterPin{A}));
    QObject field;
    typeInto(field, QStringLiteral("12\U0001F511"));
    edit(field, 3, 1, QString());
    EXPECT_EQ(field.property("text").toString(), placeholders(2));
    typeInto(field, QStringLiteral("\U0001F511"));
    edit(field, 3, 0, QStringLiteral("3"));
    ASSERT_TRUE(sheet->submitPin(&field));
    EXPECT_EQ(fixture->recorder->actions.back().as<AppAction::performLoginOnToken>()->pin->reveal(),
              "123\xF0\x9F\x94\x91");
}

// Nothing typed is held once it has done its work, nor once the pane or the sheet goes.
TEST_F(LoginSheetTest, NothingTypedIsKeptAfterTheLoginOrOnceThePaneOrTheSheetGoes) {
    QObject field;
    open(stateWith(Display::enterPin{A}));
    typeInto(field, QStringLiteral("1234"));
    fixture->drive(AppAction::switchToPinView{B});
    EXPECT_EQ(sheet->pinLength(), 0) << "another token's pane";

    typeInto(field, QStringLiteral("1234"));
    sheet->disappeared();
    EXPECT_EQ(sheet->pinLength(), 0) << "the sheet closed";

    // The master password: kept while it is checked, wiped once it passed.
    open(stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabled));
    sheet->masterPassInput()->type(QStringLiteral("654321"));
    EXPECT_FALSE(sheet->masterPassInput()->holdsNothing());
    fixture->drive(AppAction::setPassAuth{LoginAuthStatus::passedByMasterPassword});
    EXPECT_TRUE(sheet->masterPassInput()->holdsNothing()) << "the password passed";

    open(stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabled));
    sheet->masterPassInput()->type(QStringLiteral("654"));
    sheet->disappeared();
    EXPECT_TRUE(sheet->masterPassInput()->holdsNothing()) << "the sheet closed";

    // More typed while a login is in flight: the verified login leaves nothing.
    open(stateWith(Display::enterPin{A}));
    typeInto(field, QStringLiteral("1234"));
    fixture->drive(AppAction::performLoginOnToken{"A", std::nullopt});
    typeInto(field, QStringLiteral("5"));
    sheet->masterPassInput()->type(QStringLiteral("12"));
    fixture->drive(AppAction::updatePinVerificationStatus{PinVerificationStatus::success{}});
    EXPECT_EQ(sheet->pinLength(), 0) << "the login succeeded";
    EXPECT_TRUE(sheet->masterPassInput()->holdsNothing());
}

TEST_F(LoginSheetTest, AnEmptyFieldStillSendsItsEmptyPin) {
    open(stateWith(Display::enterPin{A}));
    QObject field;
    EXPECT_TRUE(sheet->submitPin(&field));
    ASSERT_EQ(fixture->recorder->actions.size(), 1U);
    EXPECT_EQ(fixture->recorder->actions[0].as<AppAction::performLoginOnToken>()->pin->reveal(), "");
}

// A verified login is reported to the host, also one the master-password pane finds when it
// comes.
TEST_F(LoginSheetTest, AVerifiedPinCallsTheHostWithTheSerial) {
    open(stateWith(Display::enterPin{A}));
    fixture->drive(AppAction::updatePinVerificationStatus{PinVerificationStatus::success{}});
    EXPECT_EQ(submitted, std::vector<QString>{"A"});

    submitted.clear();
    auto state = stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabled);
    state.loginViewState.verificationStatus = PinVerificationStatus::success{};
    open(state);
    EXPECT_EQ(submitted, std::vector<QString>{"A"});
}

TEST_F(LoginSheetTest, AnotherTokensPinPaneIsAPaneOfItsOwn) {
    open(stateWith(Display::enterPin{A}));
    const auto keyForA = sheet->paneKey();
    fixture->drive(AppAction::switchToPinView{B});
    EXPECT_EQ(sheet->pane(), Pane::EnterPin);
    EXPECT_NE(sheet->paneKey(), keyForA);
}

// A finger's pass fills the dots; the cached PIN follows a second later (the login's own step).
TEST_F(LoginSheetTest, ABiometricPassFillsTheDots) {
    open(stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabledWithBio));
    EXPECT_FALSE(sheet->masterPassInput()->autoFill());
    fixture->drive(AppAction::setPassAuth{LoginAuthStatus::passedByBiometry});
    EXPECT_TRUE(sheet->masterPassInput()->autoFill());
    fixture->drive(AppAction::setPassAuth{LoginAuthStatus::failed});
    EXPECT_FALSE(sheet->masterPassInput()->autoFill());
}

TEST_F(LoginSheetTest, TheTypedMasterPasswordIsValidatedAndItsErrorCleared) {
    open(stateWith(Display::enterMasterPassword{A}, MasterPasswordState::enabled));
    fixture->drive(AppAction::setMasterPassAuthError{MasterPassAuthError::invalidPass{4}});
    fixture->executor.advance(1s);
    fixture->sent();
    sheet->masterPassInput()->type(QStringLiteral("654321"));
    const auto& actions = fixture->recorder->actions;
    ASSERT_EQ(actions.size(), 2U);
    EXPECT_EQ(actions[0].as<AppAction::validateMasterPassword>()->password.reveal(), "654321");
    EXPECT_EQ(actions[1].description(), "setMasterPassAuthError(none)");
}

// Digits typed in one token's master-password pane never count in the next token's pane.
TEST_F(LoginSheetTest, EveryMasterPasswordPaneStartsEmpty) {
    open(stateWith(Display::tokenList{}, MasterPasswordState::enabled));
    fixture->drive(arrive({A, B}));
    auto* input = sheet->masterPassInput();
    sheet->selectToken(QStringLiteral("A"));
    fixture->executor.runUntilIdle();
    ASSERT_EQ(sheet->pane(), Pane::EnterMasterPassword);
    input->type(QStringLiteral("123"));
    ASSERT_EQ(input->filledCount(), 3);

    // A is pulled out; B is chosen from the list.
    fixture->drive(leave("A"));
    ASSERT_EQ(sheet->pane(), Pane::TokenList);
    sheet->selectToken(QStringLiteral("B"));
    fixture->executor.runUntilIdle();
    ASSERT_EQ(sheet->tokenSerial(), QStringLiteral("B"));
    EXPECT_EQ(input->filledCount(), 0);
    fixture->sent();
    input->type(QStringLiteral("456789"));
    const auto& actions = fixture->recorder->actions;
    ASSERT_FALSE(actions.empty());
    ASSERT_TRUE(actions[0].is<AppAction::validateMasterPassword>()) << actions[0].description();
    EXPECT_EQ(actions[0].as<AppAction::validateMasterPassword>()->password.reveal(), "456789");
}

TEST_F(LoginSheetTest, TokenWaitPaneShowsTheNoticeInTwoSteps) {
    open(stateWith(Display::waitForSpecificToken{A}));
    EXPECT_TRUE(sheet->awaitDescription().contains("Varnel 3 A"));

    fixture->drive(arrive({B}));
    EXPECT_TRUE(sheet->noticeShown());
    EXPECT_FALSE(sheet->noticeExpanded());
    fixture->executor.advance(500ms);
    EXPECT_TRUE(sheet->noticeExpanded());

    fixture->drive(leave("B"));
    EXPECT_FALSE(sheet->noticeExpanded());
    EXPECT_TRUE(sheet->noticeShown());
    fixture->executor.advance(500ms);
    EXPECT_FALSE(sheet->noticeShown());
}

TEST_F(LoginSheetTest, TheNoticeEndsTheRightWayRoundWhenTokensComeAndGoQuickly) {
    open(stateWith(Display::waitForSpecificToken{A}));
    fixture->drive(arrive({B}));
    fixture->executor.advance(100ms);
    fixture->drive(leave("B"));
    fixture->executor.advance(100ms);
    fixture->drive(arrive({B}));
    fixture->executor.advance(2s);
    EXPECT_TRUE(sheet->noticeShown());
    EXPECT_TRUE(sheet->noticeExpanded());

    fixture->drive(leave("B"));
    fixture->executor.advance(100ms);
    fixture->drive(arrive({B}));
    fixture->executor.advance(100ms);
    fixture->drive(leave("B"));
    fixture->executor.advance(2s);
    EXPECT_FALSE(sheet->noticeShown());
    EXPECT_FALSE(sheet->noticeExpanded());
}

TEST_F(LoginSheetTest, TokenListSplitsTheSectionsAndOnlySupportedTokensAreChosen) {
    open(stateWith(Display::tokenList{}));
    fixture->drive(arrive({A, U, B}));
    EXPECT_EQ(sheet->supportedTokens()->count(), 2);
    EXPECT_EQ(sheet->unsupportedTokens()->count(), 1);
    EXPECT_EQ(sheet->unsupportedCountText(), QStringLiteral("1"));
    fixture->sent();

    sheet->selectToken(QStringLiteral("U"));
    EXPECT_TRUE(fixture->sent().empty());
    sheet->selectToken(QStringLiteral("B"));
    sheet->selectToken(QStringLiteral("B"));
    EXPECT_EQ(names(fixture->sent()), (std::vector<std::string>{"selectConnectedToken", "selectConnectedToken"}));

    EXPECT_FALSE(sheet->unsupportedExpanded());
    sheet->toggleUnsupported();
    EXPECT_TRUE(sheet->unsupportedExpanded());
}

// The unsupported section starts folded each time the token list is built: when the list
// pane comes again and when the sheet opens again. New tokens in the list shown leave it as
// the user set it.
TEST_F(LoginSheetTest, TheUnsupportedSectionIsFoldedInEachNewTokenList) {
    open(stateWith(Display::tokenList{}));
    fixture->drive(arrive({A, B, U}));
    sheet->toggleUnsupported();
    fixture->drive(arrive({token("C")}));
    EXPECT_TRUE(sheet->unsupportedExpanded());

    sheet->selectToken(QStringLiteral("A"));
    ASSERT_EQ(sheet->pane(), Pane::EnterPin);
    fixture->drive(leave("A"));
    ASSERT_EQ(sheet->pane(), Pane::TokenList);
    EXPECT_FALSE(sheet->unsupportedExpanded());

    sheet->toggleUnsupported();
    sheet->disappeared();
    sheet->appeared();
    fixture->executor.runUntilIdle();
    ASSERT_EQ(sheet->pane(), Pane::TokenList);
    EXPECT_FALSE(sheet->unsupportedExpanded());
}

TEST_F(LoginSheetTest, AlertButtonsCloseTheAlertAndDoWhatTheirKindSays) {
    struct Case {
        AppAlert alert;
        bool cancelHook;
        bool returnKey;
        int cancelRequests;
        int dismissals;
        int urls;
    };
    const std::vector<Case> cases = {
        {AppAlert::pinLocked, false, true, 0, 0, 1},
        {AppAlert::pinLocked, false, false, 0, 0, 0},
        {AppAlert::credsNotFound, true, false, 1, 0, 0},
        {AppAlert::credsNotFound, false, false, 0, 0, 0},
        {AppAlert::credsAlreadyExists, true, true, 0, 1, 0},
        {AppAlert::credsAlreadyExists, true, false, 1, 0, 0},
        {AppAlert::connectionLost, true, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.alert.kind())) + (c.returnKey ? " return" : " escape"));
        withCancelHook = c.cancelHook;
        cancelRequests = 0;
        auto state = stateWith(Display::enterPin{A});
        state.navigationState.alert = c.alert;
        open(state);
        EXPECT_TRUE(sheet->alertShown());
        EXPECT_EQ(sheet->alertButtons().size(), static_cast<qsizetype>(c.alert.actions().size()));
        int dismissals = 0;
        int urls = 0;
        QObject::connect(sheet.get(), &LoginSheetModel::dismissRequested, [&] { ++dismissals; });
        QObject::connect(sheet.get(), &LoginSheetModel::openUrlRequested, [&](const QUrl& url) {
            EXPECT_EQ(url, LoginSheetModel::pinLockedHelpUrl());
            ++urls;
        });
        c.returnKey ? sheet->alertReturnPressed() : sheet->alertEscapePressed();
        EXPECT_EQ(fixture->sent(), std::vector<std::string>{"hideAlert"});
        EXPECT_FALSE(sheet->alertShown());
        EXPECT_EQ(cancelRequests, c.cancelRequests);
        EXPECT_EQ(dismissals, c.dismissals);
        EXPECT_EQ(urls, c.urls);
    }
}

TEST_F(LoginSheetTest, TouchPaneCountsDownOnTheClockAndStopsWhenItCloses) {
    open(stateWith(Display::waitForTouch{3}));
    auto* countdown = sheet->countdown();
    EXPECT_EQ(countdown->seconds(), 3);
    std::vector<qint64> shown;
    for (int i = 0; i < 5; ++i) {
        fixture->executor.advance(1s);
        shown.push_back(countdown->seconds());
    }
    EXPECT_EQ(shown, (std::vector<qint64>{2, 1, 0, 0, 0}));
    EXPECT_FALSE(countdown->running());
}

TEST(TouchCountdownTest, ACountAtZeroNeverWrapsAndClosingStopsTheCount) {
    flowkeep::VirtualClockExecutor executor;
    TouchCountdownModel zero(executor);
    zero.setInitialSeconds(0);
    zero.appeared();
    executor.advance(std::chrono::seconds(3));
    EXPECT_EQ(zero.seconds(), 0);
    EXPECT_FALSE(zero.running());

    TouchCountdownModel five(executor);
    five.setInitialSeconds(5);
    five.appeared();
    five.appeared();
    executor.advance(std::chrono::seconds(2));
    EXPECT_EQ(five.seconds(), 3) << "appearing twice runs one timer";
    five.disappeared();
    executor.advance(std::chrono::seconds(2));
    EXPECT_EQ(five.seconds(), 3);
    five.appeared();
    executor.advance(std::chrono::seconds(1));
    EXPECT_EQ(five.seconds(), 2);
    EXPECT_TRUE(five.footnote().contains('2'));
}

} // namespace
} // namespace keyvane::views::testing
