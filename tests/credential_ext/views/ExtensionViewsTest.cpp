// The extension's views in a Qt Quick scene, driven by the keyboard as a user would, over a
// recorder of the request's store.
#include "../viewmodels/ExtensionPortRecorder.h"
#include "ExtensionScene.h"

#include "credential_ext/viewmodels/PasskeyChoiceModel.h"
#include "credential_ext/viewmodels/RegistrationModel.h"
#include "flowkeep/VirtualClockExecutor.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace keyvane::ext::views;
using namespace keyvane::ext::views::testing;

namespace {

ExtensionSlice choiceSlice() {
    ExtensionSlice slice;
    slice.tokens = {token("A1"), token("B2")};
    slice.credentials = {PasskeyCredentials{{1}, "example.org", "ann", {1}, "A1"},
                         PasskeyCredentials{{2}, "example.org", "bob", {2}, "B2"}};
    return slice;
}

bool isShown(QQuickItem* item) {
    for (; item != nullptr; item = item->parentItem()) {
        if (!item->isVisible()) {
            return false;
        }
    }
    return true;
}

// A request's texts and the records' texts are whatever their sender wrote. Markup in them must
// show as typed: laid out, a "<br>" would break the line and an "<img>" would load its source.
constexpr const char* markup = "<br><b>x</b>";

// Every text item under `item` that shows `text` is laid out on one line, markup and all.
void expectShownAsTyped(QQuickItem* item, const QString& text, int& seen) {
    if (item->property("text").toString() == text && item->property("lineCount").isValid()) {
        ++seen;
        EXPECT_EQ(item->property("lineCount").toInt(), 1) << text.toStdString() << " is laid out as markup";
    }
    for (auto* child : item->childItems()) {
        expectShownAsTyped(child, text, seen);
    }
}

void expectShownAsTyped(keyvane::views::testing::SceneHarness& scene, const std::vector<std::string>& texts) {
    for (const auto& text : texts) {
        int seen = 0;
        expectShownAsTyped(scene.window().contentItem(), QString::fromStdString(text), seen);
        EXPECT_GT(seen, 0) << text << " is not shown";
    }
}

// The passkey choice of a request with two passkeys on two tokens, shown.
struct ChoiceScene : ::testing::Test {
    ChoiceScene() {
        scene.render();
        port.take();
    }
    flowkeep::VirtualClockExecutor executor;
    ExtensionPortRecorder port{choiceSlice()};
    PasskeyChoiceModel model{port, executor};
    keyvane::views::testing::SceneHarness scene = extensionScene("MacAuthView", &model, {464, 512});
};

} // namespace

TEST(PasskeyChoiceView, ArrowsAndReturnChooseAPasskeyAndEscapeCancels) {
    flowkeep::VirtualClockExecutor executor;
    ExtensionPortRecorder port{choiceSlice()};
    PasskeyChoiceModel model(port, executor);
    auto scene = extensionScene("MacAuthView", &model, {464, 512});
    scene.render();
    EXPECT_EQ(port.take(), (Strings{"appLaunched"}));
    ASSERT_NE(scene.find("passkeyRow_01"), nullptr);
    EXPECT_TRUE(isShown(scene.find("sectionHeader_B2")));

    QTest::keyClick(&scene.window(), Qt::Key_Down);
    QTest::keyClick(&scene.window(), Qt::Key_Return);
    EXPECT_EQ(port.take(), (Strings{"credForAuthenticationSelected bob@example.org"}));
    QTest::keyClick(&scene.window(), Qt::Key_Escape);
    EXPECT_EQ(port.take(), (Strings{"cancelRequest"}));

    // A click takes a row as well.
    scene.render();
    auto* row = scene.find("passkeyRow_01");
    QTest::mouseClick(&scene.window(), Qt::LeftButton, {}, row->mapToScene({20, 30}).toPoint());
    EXPECT_EQ(port.take(), (Strings{"credForAuthenticationSelected ann@example.org"}));
}

TEST_F(ChoiceScene, TypingNarrowsTheListToTheNotFoundContentAndTheEmptyListOffersRefresh) {
    QTest::keyClick(&scene.window(), Qt::Key_B);
    QTest::keyClick(&scene.window(), Qt::Key_O);
    EXPECT_EQ(model.searchText(), "bo");
    EXPECT_EQ(model.sections().size(), 1u);
    QTest::keyClick(&scene.window(), Qt::Key_X);
    scene.render();
    EXPECT_TRUE(isShown(scene.find("keysNotFoundView")));
    EXPECT_TRUE(isShown(scene.find("refreshButton")));

    port.published.set({});
    QTest::keyClick(&scene.window(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&scene.window(), Qt::Key_Backspace);
    scene.render();
    EXPECT_TRUE(isShown(scene.find("emptyContent")));
    EXPECT_FALSE(isShown(scene.find("searchBar")));
    EXPECT_FALSE(isShown(scene.find("refreshButton")));
    auto* refresh = scene.find("largeRefreshButton");
    ASSERT_TRUE(isShown(refresh));
    QTest::mouseClick(&scene.window(), Qt::LeftButton, {}, refresh->mapToScene({20, 15}).toPoint());
    EXPECT_EQ(port.take(), (Strings{"syncingButtonPressed"}));
}

// Return presses the button that has the keyboard: it never falls through to the view, where it
// would sign in with the current passkey.
TEST_F(ChoiceScene, ReturnPressesTheButtonThatHasTheKeyboard) {
    const struct {
        const char* button;
        const char* sent;
    } cases[] = {{"refreshButton", "syncingButtonPressed"}, {"cancelRequestButton", "cancelRequest"}};
    for (const auto& [button, sent] : cases) {
        ASSERT_EQ(scene.tabTo(scene.find(button)), "") << button;
        QTest::keyClick(&scene.window(), Qt::Key_Return);
        EXPECT_EQ(port.take(), (Strings{sent})) << button;
    }
}

TEST_F(ChoiceScene, TheLoginSheetCoversTheListAndTakesTheKeyboard) {
    auto slice = choiceSlice();
    slice.purpose = LoginPurposeKind::auth;
    port.published.set(slice);
    scene.render();
    EXPECT_TRUE(isShown(scene.find("loginSheet")));
    port.take();
    port.login.sent.clear();
    // Keys reach the sheet, never the list behind it: Escape closes the sheet only.
    QTest::keyClick(&scene.window(), Qt::Key_Down);
    QTest::keyClick(&scene.window(), Qt::Key_Return);
    QTest::keyClick(&scene.window(), Qt::Key_Escape);
    EXPECT_EQ(port.take(), (Strings{"dismissLoginView"}));
}

TEST(RegistrationView, ShowsTheRequestAndReturnContinuesEscapeCancels) {
    flowkeep::VirtualClockExecutor executor;
    ExtensionPortRecorder port;
    ExtensionSlice slice;
    slice.hasRegistration = true;
    slice.registrationUserName = "ann@example.org";
    slice.registrationRelyingParty = "example.org";
    port.published.set(slice);
    RegistrationModel model(port, executor);
    auto scene = extensionScene("MacRegistrationView", &model, {352, 384});
    scene.render();
    EXPECT_EQ(scene.find("userName")->property("text").toString(), "ann@example.org");
    QTest::keyClick(&scene.window(), Qt::Key_Return);
    QTest::keyClick(&scene.window(), Qt::Key_Escape);
    EXPECT_EQ(port.take(), (Strings{"appLaunched", "completeRegistrationButtonIsPressed", "cancelRequest"}));

    // An alert takes the keys: for an existing passkey, Return chooses another (closes it
    // only) and Escape ends the request.
    slice.alert = AppAlert::credsAlreadyExists;
    port.published.set(slice);
    scene.render();
    EXPECT_TRUE(isShown(scene.find("alert")));
    QTest::keyClick(&scene.window(), Qt::Key_Return);
    QTest::keyClick(&scene.window(), Qt::Key_Escape);
    EXPECT_EQ(port.take(), (Strings{"hideAlert", "cancelRequest", "hideAlert"}));
}

// Return on the close button closes: it does not go on to the view, where it would continue.
TEST(RegistrationView, ReturnOnTheCloseButtonCancelsTheRequest) {
    flowkeep::VirtualClockExecutor executor;
    ExtensionPortRecorder port;
    ExtensionSlice slice;
    slice.hasRegistration = true;
    port.published.set(slice);
    RegistrationModel model(port, executor);
    auto scene = extensionScene("MacRegistrationView", &model, {352, 384});
    scene.render();
    port.take();
    ASSERT_EQ(scene.tabTo(scene.find("closeButton")), "");
    QTest::keyClick(&scene.window(), Qt::Key_Return);
    EXPECT_EQ(port.take(), (Strings{"cancelRequest"}));
}

TEST(RegistrationView, MarkupInTheRequestIsShownAsTyped) {
    flowkeep::VirtualClockExecutor executor;
    ExtensionPortRecorder port;
    ExtensionSlice slice;
    slice.hasRegistration = true;
    slice.registrationUserName = std::string("ann") + markup;
    slice.registrationRelyingParty = std::string("example.org") + markup;
    port.published.set(slice);
    RegistrationModel model(port, executor);
    auto scene = extensionScene("MacRegistrationView", &model, {352, 384});
    scene.render();
    expectShownAsTyped(scene, {slice.registrationUserName, slice.registrationRelyingParty});
}

TEST(PasskeyChoiceView, MarkupInTheRecordsIsShownAsTyped) {
    flowkeep::VirtualClockExecutor executor;
    auto slice = choiceSlice();
    slice.tokens[0].model += markup;
    slice.credentials[0].username += markup;
    slice.credentials[0].relyingPartyId += markup;
    ExtensionPortRecorder port{slice};
    PasskeyChoiceModel model(port, executor);
    auto scene = extensionScene("MacAuthView", &model, {464, 512});
    scene.render();
    expectShownAsTyped(scene, {slice.tokens[0].model, slice.credentials[0].username, slice.credentials[0].relyingPartyId});
}
