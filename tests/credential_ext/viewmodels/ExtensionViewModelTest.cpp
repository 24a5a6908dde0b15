#include "ExtensionPortRecorder.h"

#include "credential_ext/viewmodels/PasskeyChoiceModel.h"
#include "credential_ext/viewmodels/RegistrationModel.h"
#include "flowkeep/VirtualClockExecutor.h"

#include <gtest/gtest.h>

using namespace keyvane::ext::views;
using namespace keyvane::ext::views::testing;

namespace {

PasskeyCredentials passkey(std::string user, std::string site, std::string serial) {
    return PasskeyCredentials{Bytes{static_cast<std::uint8_t>(user.size()), static_cast<std::uint8_t>(site.size())},
                              std::move(site), std::move(user), Bytes{1}, std::move(serial)};
}

// The (model, user) pairs of the sections, in display order.
Strings shown(const std::vector<CredentialsSection>& sections) {
    Strings result;
    for (const auto& section : sections) {
        for (const auto& credential : section.credentials) {
            result.push_back(section.token.serial + ":" + credential.username);
        }
    }
    return result;
}

// A verified login on the login sheet, as the shared login views see it: the PIN pane of
// the token, then the verdict.
void verifyLogin(ExtensionPortRecorder& port, keyvane::views::LoginSheetModel& sheet, const TokenInfo& on) {
    LoginSlice slice;
    slice.login.loginDisplayViewState = LoginDisplayViewState::enterPin{on};
    port.login.published.set(slice);
    sheet.appeared();
    slice.login.verificationStatus = PinVerificationStatus::success{};
    port.login.published.set(slice);
}

struct ChoiceFixture : ::testing::Test {
    ChoiceFixture() {
        ExtensionSlice slice;
        slice.tokens = {token("A"), token("B"), token("C")};
        slice.credentials = {passkey("carol", "shop.example", "C"), passkey("ann", "example.org", "A"),
                             passkey("bob", "Example.org", "A"), passkey("lost", "example.org", "Z")};
        port.published.set(slice);
    }
    void setPurpose(LoginPurposeKind purpose) {
        auto slice = port.published.value();
        slice.purpose = purpose;
        port.published.set(slice);
    }

    flowkeep::VirtualClockExecutor executor;
    ExtensionPortRecorder port;
    PasskeyChoiceModel model{port, executor};
};

} // namespace

TEST(PasskeyChoiceFilter, GroupsByStoredTokenInTokenOrderAndSearchesUserAndSiteIgnoringCase) {
    const std::vector<TokenInfo> tokens = {token("A"), token("B"), token("C")};
    const std::vector<PasskeyCredentials> passkeys = {passkey("carol", "shop.example", "C"),
                                                      passkey("ann", "example.org", "A"),
                                                      passkey("Bob", "mail.example", "A"),
                                                      passkey("orphan", "example.org", "Z")};
    const struct {
        const char* search;
        Strings expected;
    } cases[] = {
        {"", {"A:ann", "A:Bob", "C:carol"}},
        {"EXAMPLE.ORG", {"A:ann"}},
        {"bob", {"A:Bob"}},
        {"shop", {"C:carol"}},
        {"Varnel", {}}, // the token's model is not searched
        {"C", {"C:carol"}}, // nor its serial: "C" is found in the user name only
        {"nothing", {}},
    };
    for (const auto& [search, expected] : cases) {
        EXPECT_EQ(shown(PasskeyChoiceModel::filteredSections({tokens, passkeys, search})), expected) << search;
    }
}

TEST_F(ChoiceFixture, ShowsListNotFoundOrEmptyWithTheSearchBarOnlyWhenThereIsSomethingToSearch) {
    EXPECT_EQ(model.content(), PasskeyChoiceModel::PasskeyList);
    EXPECT_TRUE(model.searchBarShown());
    const auto& rows = model.rows()->rows();
    ASSERT_EQ(rows.size(), 5U); // header A, ann, bob, header C, carol: no section for B or Z
    EXPECT_EQ(rows[0].kind, keyvane::views::PasskeyListModel::Header);
    EXPECT_EQ(rows[3].kind, keyvane::views::PasskeyListModel::Header);
    EXPECT_EQ(rows[3].serial, "C");
    EXPECT_EQ(rows[4].place, 2) << "a passkey row's place among the passkeys is its choice";

    model.setSearchText("zzz");
    EXPECT_EQ(model.content(), PasskeyChoiceModel::NotFound);
    EXPECT_TRUE(model.searchBarShown());
    model.setSearchText("");
    EXPECT_EQ(model.content(), PasskeyChoiceModel::PasskeyList);

    port.published.set({});
    EXPECT_EQ(model.content(), PasskeyChoiceModel::Empty);
    EXPECT_FALSE(model.searchBarShown());
    EXPECT_EQ(model.currentChoice(), -1);
    model.chooseCurrent();
    model.refresh();
    EXPECT_EQ(port.take(), (Strings{"syncingButtonPressed"}));
}

TEST_F(ChoiceFixture, ArrowsMoveTheChoiceWithinTheListAndReturnChoosesOnce) {
    model.appeared();
    EXPECT_EQ(port.take(), (Strings{"appLaunched"}));
    EXPECT_EQ(model.currentChoice(), 0);
    EXPECT_EQ(model.currentRow(), 1);
    model.moveChoice(-1);
    EXPECT_EQ(model.currentChoice(), 0);
    model.moveChoice(5);
    EXPECT_EQ(model.currentChoice(), 2);
    EXPECT_EQ(model.currentRow(), 4); // past the second header
    model.moveChoice(-1);
    model.chooseCurrent();
    EXPECT_EQ(port.take(), (Strings{"credForAuthenticationSelected bob@Example.org"}));

    // The login sheet is up: a second choice, a refresh or the list's alert wait for it.
    setPurpose(LoginPurposeKind::auth);
    EXPECT_TRUE(model.loginSheetShown());
    model.choose(0);
    model.refresh();
    EXPECT_TRUE(port.take().empty());

    // Narrowing the list keeps the choice within it.
    model.setSearchText("carol");
    EXPECT_EQ(model.currentChoice(), 0);
}

// What a login leads to is the store's to decide (by its purpose); the view reports the unlocked
// token once per verdict, a step after it, never inside the store's notification.
TEST_F(ChoiceFixture, EachSheetReportsItsUnlockedTokenOnceAfterTheVerdict) {
    for (const auto purpose : {LoginPurposeKind::auth, LoginPurposeKind::justSync}) {
        setPurpose(purpose);
        ASSERT_TRUE(model.loginSheetShown());
        verifyLogin(port, *model.loginSheet(), token("C"));
        EXPECT_TRUE(port.take().empty());
        executor.runUntilIdle();
        EXPECT_EQ(port.take(), (Strings{"loginSucceeded C"}));
        setPurpose(LoginPurposeKind::none);
        EXPECT_FALSE(model.loginSheetShown());
        port.login.published.set({});
    }

    // A model gone before the posted step reports nothing.
    setPurpose(LoginPurposeKind::auth);
    {
        PasskeyChoiceModel other(port, executor);
        verifyLogin(port, *other.loginSheet(), token("C"));
    }
    port.take();
    executor.runUntilIdle();
    EXPECT_TRUE(port.take().empty());
}

TEST_F(ChoiceFixture, TheAlertWaitsForTheLoginSheetAndItsOneButtonOnlyClosesIt) {
    auto slice = port.published.value();
    slice.alert = AppAlert::connectionLost;
    slice.purpose = LoginPurposeKind::justSync;
    port.published.set(slice);
    EXPECT_FALSE(model.alertShown());

    // The sheet closed from inside: back to the list, where the alert now shows.
    model.loginSheet()->cancel();
    EXPECT_EQ(port.take(), (Strings{"dismissLoginView"}));
    setPurpose(LoginPurposeKind::none);
    EXPECT_TRUE(model.alertShown());
    EXPECT_EQ(model.alertButtons().size(), 1);
    EXPECT_FALSE(model.alertTitle().isEmpty());
    EXPECT_TRUE(model.alertMessage().isEmpty());
    model.chooseCurrent(); // nothing is chosen behind the alert
    model.alertReturnPressed();
    model.alertEscapePressed();
    EXPECT_EQ(port.take(), (Strings{"hideAlert"}));
}

// The touch pane counts down a request's seconds; once at 0 nothing moves it any more, and a
// new request (another number of seconds) in the same pane starts a count of its own.
TEST(LoginSheetCountdown, ACountAtZeroStaysThereAndANewRequestCountsAfresh) {
    flowkeep::VirtualClockExecutor executor;
    LoginPortRecorder port;
    LoginSlice slice;
    slice.login.loginDisplayViewState = LoginDisplayViewState::waitForTouch{2};
    port.published.set(slice);
    keyvane::views::LoginSheetModel sheet(port, executor, [](const QString&) {});
    sheet.appeared();
    auto& countdown = *sheet.countdown();
    executor.advance(std::chrono::seconds(3));
    ASSERT_EQ(countdown.seconds(), 0);

    // Other changes of the state while the pane shows.
    slice.login.connectedTokens.insert(token("A"));
    port.published.set(slice);
    slice.login.storedPinState = StoredPinState::exist;
    port.published.set(slice);
    executor.advance(std::chrono::seconds(2));
    EXPECT_EQ(countdown.seconds(), 0);
    EXPECT_FALSE(countdown.running());

    slice.login.loginDisplayViewState = LoginDisplayViewState::waitForTouch{30};
    port.published.set(slice);
    EXPECT_EQ(countdown.seconds(), 30);
    executor.advance(std::chrono::seconds(1));
    EXPECT_EQ(countdown.seconds(), 29);
    EXPECT_TRUE(countdown.running());

    // A new request while the last one still counts.
    slice.login.loginDisplayViewState = LoginDisplayViewState::waitForTouch{10};
    port.published.set(slice);
    executor.advance(std::chrono::seconds(1));
    EXPECT_EQ(countdown.seconds(), 9);
    EXPECT_DOUBLE_EQ(countdown.fraction(), 0.9);
}

TEST(RegistrationViewModel, ContinueOpensTheLoginAndItsSuccessIsReportedOnce) {
    flowkeep::VirtualClockExecutor executor;
    ExtensionPortRecorder port;
    RegistrationModel model(port, executor);
    EXPECT_FALSE(model.hasRequest());
    model.continuePressed(); // the reducer decides what a press without a request does

    ExtensionSlice slice;
    slice.hasRegistration = true;
    slice.registrationUserName = "ann";
    slice.registrationRelyingParty = "example.org";
    port.published.set(slice);
    EXPECT_EQ(model.userName(), "ann");
    EXPECT_EQ(model.relyingParty(), "example.org");

    model.appeared();
    slice.purpose = LoginPurposeKind::completeRegistration;
    port.published.set(slice);
    model.continuePressed(); // refused: the sheet is up
    verifyLogin(port, *model.loginSheet(), token("A"));
    executor.runUntilIdle();
    EXPECT_EQ(port.take(), (Strings{"completeRegistrationButtonIsPressed", "appLaunched", "loginSucceeded A"}));
}

TEST(RegistrationViewModel, EveryAlertButtonButChooseEndsTheRequest) {
    const struct {
        AppAlert alert;
        bool returnKey;
        Strings expected;
    } cases[] = {
        {AppAlert::credsAlreadyExists, true, {"hideAlert"}},                   // choose
        {AppAlert::credsAlreadyExists, false, {"cancelRequest", "hideAlert"}}, // cancel
        {AppAlert::pinLocked, true, {"cancelRequest", "hideAlert"}},           // more information
        {AppAlert::pinLocked, false, {"cancelRequest", "hideAlert"}},          // done
        {AppAlert::credsNotFound, false, {"cancelRequest", "hideAlert"}},
        {AppAlert::unknownError, true, {}}, // its only button answers Escape
    };
    for (const auto& [alert, returnKey, expected] : cases) {
        flowkeep::VirtualClockExecutor executor;
        ExtensionPortRecorder port;
        RegistrationModel model(port, executor);
        ExtensionSlice slice;
        slice.alert = alert;
        port.published.set(slice);
        ASSERT_TRUE(model.alertShown());
        returnKey ? model.alertReturnPressed() : model.alertEscapePressed();
        EXPECT_EQ(port.take(), expected) << alert << (returnKey ? " Return" : " Escape");
    }
}

// The user name is the site's choice and the rest of a record is whatever a token holds: both
// views show them, and the token's model in the choice's section headers, through the one-line
// filter (its table of characters is with the filter), so a line break or a bidirectional mark
// never draws what looks like another text. Markup stays text.
TEST(ExtensionViewTexts, RequestAndRecordTextsShowOnOneLine) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"ann\nbank.example", "ann\uFFFDbank.example"},
        {"\u200Fcom\u200F.\u200Fbank", "\uFFFDcom\uFFFD.\uFFFDbank"},
        {"ann\u2067x\u200B", "ann\uFFFDx\uFFFD"},
        {"<b>ann</b>", "<b>ann</b>"},
    };
    for (const auto& [text, shown] : cases) {
        const auto expected = QString::fromStdString(shown);
        flowkeep::VirtualClockExecutor executor;
        ExtensionSlice request;
        request.hasRegistration = true;
        request.registrationUserName = text;
        request.registrationRelyingParty = text;
        ExtensionPortRecorder registrationPort{request};
        RegistrationModel registration(registrationPort, executor);
        EXPECT_EQ(registration.userName(), expected) << text;
        EXPECT_EQ(registration.relyingParty(), expected) << text;

        ExtensionSlice records;
        auto onToken = token("A");
        onToken.model = text;
        records.tokens = {onToken};
        records.credentials = {passkey(text, text, "A")};
        ExtensionPortRecorder choicePort{records};
        PasskeyChoiceModel choice(choicePort, executor);
        const auto* rows = choice.rows();
        using Roles = keyvane::views::PasskeyListModel;
        EXPECT_EQ(rows->data(rows->index(0), Roles::TokenModelRole).toString(), expected) << text;
        EXPECT_EQ(rows->data(rows->index(1), Roles::UsernameRole).toString(), expected) << text;
        EXPECT_EQ(rows->data(rows->index(1), Roles::RelyingPartyRole).toString(), expected) << text;
    }
}
