// The login sheet's view model over the main program's real store on a virtual token, shown
// and closed as the program's window shows it.
#include "AppOnVirtualToken.h"
#include "keyvane/viewmodels/MainWindowModel.h"
#include "shared/viewmodels/LoginSheetModel.h"
#include "../../shared/views/SceneHarness.h"
#include "ProcessMemory.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTest>

namespace keyvane::app {
namespace {

using Pane = views::LoginSheetModel::Pane;

struct LoginSheetEndToEnd : testing::AppOnVirtualToken {
    explicit LoginSheetEndToEnd(std::vector<keyvane::testing::VirtualTokenSettings> tokens = {
                                    keyvane::testing::VirtualTokenSettings{}})
        : AppOnVirtualToken(std::move(tokens)) {}

    views::LoginSheetModel& sheet() { return *window.loginSheet(); }

    // The window asks for a login; its loader makes the sheet, which appears.
    void open() {
        store->send(AppAction::startSync{});
        ASSERT_TRUE(waitFor([&] { return window.loginSheetShown(); }));
        submitted.clear();
        QObject::connect(&sheet(), &views::LoginSheetModel::submitted, [this](const QString& serial) {
            submitted.push_back(serial.toStdString());
        });
        sheet().appeared();
    }

    // After the verdict the window lists the token's passkeys, which closes the sheet.
    void expectLoggedInAndClosed() {
        ASSERT_TRUE(waitFor([&] { return !window.loginSheetShown(); }))
            << "pane " << sheet().paneKey().toStdString() << ", alert " << sheet().alertTitle().toStdString();
        sheet().disappeared();
        // The passkeys are read after the sheet has gone: wait for the listing, not only the close.
        ASSERT_TRUE(waitFor([&] { return state().credentialListState.tokens.size() == 1U; }))
            << state().credentialListState.tokens.size() << " tokens listed";
        EXPECT_EQ(submitted, std::vector<std::string>{state().credentialListState.tokens.front().serial});
    }

    // The PIN pane's field, typed into and submitted as the pane's Return does.
    bool typePin(const char* pin) {
        QObject field;
        field.setProperty("text", QString::fromLatin1(pin));
        sheet().pinEdited(&field);
        const bool sent = sheet().submitPin(&field);
        // A refused press leaves the field as it was.
        EXPECT_EQ(field.property("text").toString().isEmpty(), sent);
        return sent;
    }

    bool waitForPane(Pane pane) {
        return waitFor([&] { return sheet().pane() == pane && !sheet().loginInProgress(); });
    }

    MainWindowModel window{*store, clock};
    std::vector<std::string> submitted;
};

// A touch token logs in with its PIN as any other: the touch is asked for when a passkey signs.
struct LoginSheetPinLogin : ::testing::TestWithParam<bool> {};

TEST_P(LoginSheetPinLogin, WrongPinShowsTheAttemptsLeftAndTheRightOneLogsIn) {
    keyvane::testing::VirtualTokenSettings settings;
    if (GetParam()) {
        settings.touch = keyvane::testing::VirtualTouch{};
    }
    LoginSheetEndToEnd app({settings});
    app.open();
    ASSERT_TRUE(app.waitForPane(Pane::EnterPin)) << app.sheet().paneKey().toStdString();
    EXPECT_TRUE(app.sheet().pinError().isEmpty());

    ASSERT_TRUE(app.typePin("00000000"));
    // A second press while the first login is in flight would spend another retry.
    EXPECT_FALSE(app.typePin("00000000"));
    ASSERT_TRUE(app.waitFor([&] { return !app.sheet().pinError().isEmpty() && !app.sheet().loginInProgress(); }));
    EXPECT_EQ(app.sheet().pinError(), PinVerificationStatus(PinVerificationStatus::incorrect{9}).message());
    EXPECT_TRUE(app.sheet().pinError().contains(QLatin1String("9")));
    EXPECT_EQ(app.sheet().pane(), Pane::EnterPin);
    EXPECT_TRUE(app.submitted.empty());

    ASSERT_TRUE(app.typePin(settings.userPin.c_str()));
    app.expectLoggedInAndClosed();
}

INSTANTIATE_TEST_SUITE_P(Tokens, LoginSheetPinLogin, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "touch" : "plain"; });

TEST(LoginSheetMasterPassword, UnlocksWithTheCachedPin) {
    LoginSheetEndToEnd app;
    app.store->send(AppAction::setupMasterPassword{SecretText("135790")});
    ASSERT_TRUE(app.waitFor([&] { return app.state().masterPasswordState == MasterPasswordState::enabled; }));

    // No PIN is cached yet: the right master password leads on to the PIN, which is cached.
    app.open();
    ASSERT_TRUE(app.waitForPane(Pane::EnterMasterPassword)) << app.sheet().paneKey().toStdString();
    app.sheet().masterPassInput()->type(QStringLiteral("135790"));
    ASSERT_TRUE(app.waitForPane(Pane::EnterPin)) << app.sheet().paneKey().toStdString();
    ASSERT_TRUE(app.typePin("12345678"));
    app.expectLoggedInAndClosed();
    ASSERT_TRUE(app.waitFor([&] { return app.state().pinCacheState.hasPins; }));

    // A wrong master password stays on the pane with its error; the right one logs in alone.
    app.open();
    ASSERT_TRUE(app.waitForPane(Pane::EnterMasterPassword)) << app.sheet().paneKey().toStdString();
    ASSERT_TRUE(app.waitFor([&] { return app.state().loginViewState.storedPinState == StoredPinState::exist; }));
    app.sheet().masterPassInput()->type(QStringLiteral("000000"));
    ASSERT_TRUE(app.waitFor([&] { return app.sheet().masterPassInput()->isError(); }));
    EXPECT_EQ(app.sheet().pane(), Pane::EnterMasterPassword);
    EXPECT_TRUE(app.submitted.empty());
    // The dots shake, then empty for the next try.
    ASSERT_TRUE(app.waitFor([&] {
        return !app.sheet().masterPassInput()->isError() && app.sheet().masterPassInput()->filledCount() == 0;
    }));
    app.sheet().masterPassInput()->type(QStringLiteral("135790"));
    app.expectLoggedInAndClosed();
}

// The same in the sheet itself, by keyboard: the PIN field has focus, Return sends, the wrong
// PIN's line shows the attempts left, the right one logs in and the sheet goes.
TEST(LoginSheetScene, TypingTheWrongThenTheRightPinLogsIn) {
    LoginSheetEndToEnd app;
    app.store->send(AppAction::startSync{});
    ASSERT_TRUE(app.waitFor([&] { return app.window.loginSheetShown(); }));
    views::testing::SceneHarness scene(QStringLiteral("LoginSheet"),
                                       QVariantMap{{QStringLiteral("model"), QVariant::fromValue(app.window.loginSheet())}},
                                       QSize(416, 395));
    const auto settled = [&](const std::function<bool()>& condition) {
        return app.waitFor([&] {
            QCoreApplication::processEvents();
            scene.render();
            return condition();
        });
    };
    const auto shown = [&](const char* name) {
        auto* item = scene.find(QString::fromLatin1(name));
        return item != nullptr && item->isVisible();
    };
    const auto typeAndReturn = [&](const std::string& text) {
        for (const char c : text) {
            QTest::keyClick(&scene.window(), c);
        }
        QTest::keyClick(&scene.window(), Qt::Key_Return);
    };

    ASSERT_TRUE(settled([&] {
        auto* field = scene.find(QStringLiteral("pinField"));
        return field != nullptr && field->hasActiveFocus() && !app.sheet().loginInProgress();
    }));
    typeAndReturn("00000000");
    EXPECT_EQ(scene.find(QStringLiteral("pinField"))->property("text").toString(), QString());
    ASSERT_TRUE(settled([&] { return shown("pinError") && !app.sheet().loginInProgress(); }));
    EXPECT_EQ(scene.find(QStringLiteral("pinError"))->property("text").toString(),
              PinVerificationStatus(PinVerificationStatus::incorrect{9}).message());

    typeAndReturn(keyvane::testing::VirtualTokenSettings{}.userPin);
    ASSERT_TRUE(settled([&] { return !app.window.loginSheetShown(); }));
    scene.setActive(false);
    // The passkeys are read after the sheet has gone: wait for the listing, not only the close.
    ASSERT_TRUE(app.waitFor([&] { return app.state().credentialListState.tokens.size() == 1U; }))
        << app.state().credentialListState.tokens.size() << " tokens listed";
}

// What a search of the process's memory finds of a typed secret: any eight characters in a
// row (a freed block keeps all but its first bytes), as UTF-8 or UTF-16.
std::string copiesOf(const test_support::MaskedText& secret) {
    const auto hits = test_support::findPiecesInWritableMemory(secret, 8);
    return hits.empty() ? std::string()
                        : std::to_string(hits.size()) + " pieces, the first " + hits.front().what + " in " +
                              hits.front().mapping;
}

// A login sheet shown in an offscreen scene and typed into by keyboard.
struct LoginSheetInScene {
    explicit LoginSheetInScene(LoginSheetEndToEnd& app)
        : app(app), scene(QStringLiteral("LoginSheet"),
                          QVariantMap{{QStringLiteral("model"), QVariant::fromValue(app.window.loginSheet())}},
                          QSize(416, 395)) {}

    bool settled(const std::function<bool()>& condition) {
        return app.waitFor([&] {
            QCoreApplication::processEvents();
            scene.render();
            return condition();
        });
    }
    bool focused(const char* name) {
        return settled([&] {
            auto* item = scene.find(QString::fromLatin1(name));
            return item != nullptr && item->hasActiveFocus() && !app.sheet().loginInProgress();
        });
    }
    // One key event a character, as a keyboard sends them.
    void type(const test_support::MaskedText& text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            QTest::keyClick(&scene.window(), text.at(i));
        }
    }
    void pressReturn() { QTest::keyClick(&scene.window(), Qt::Key_Return); }
    // The verified login closes the sheet; the view goes, and the window lists the passkeys.
    void expectClosedAfterTheLogin() {
        ASSERT_TRUE(settled([&] { return !app.window.loginSheetShown(); }))
            << "pane " << app.sheet().paneKey().toStdString();
        scene.setActive(false);
        ASSERT_TRUE(app.waitFor([&] { return app.state().credentialListState.tokens.size() == 1U; }));
    }

    // A virtual token whose user PIN is the given one; the fixture wipes the copy it is handed.
    static std::vector<keyvane::testing::VirtualTokenSettings> tokenWithPin(const test_support::MaskedText& pin) {
        std::vector<keyvane::testing::VirtualTokenSettings> tokens(1);
        tokens[0].userPin = pin.reveal();
        return tokens;
    }

    LoginSheetEndToEnd& app;
    views::testing::SceneHarness scene;
};

// A PIN typed into the sheet key by key leaves no copy in the process's memory once its login
// is over, refused or not: the field never holds it whole, the sheet keeps it in one buffer
// that is wiped when the login takes it, and the login path wipes its own copies. Qt's key
// events carry one character each, which is all a search for eight in a row cannot see.
TEST(LoginSheetScene, NoCopyOfATypedPinOutlivesItsLogin) {
    const test_support::MaskedText wrongPin("kv-Wrong-h8J2N6R0T5Y3U9E1-q4S7d2F6");
    const test_support::MaskedText pin("kv-Pin-Q7Z3X9W1M4-g5B8v1C3x7Z2a9");
    LoginSheetEndToEnd app(LoginSheetInScene::tokenWithPin(pin));
    app.store->send(AppAction::startSync{});
    ASSERT_TRUE(app.waitFor([&] { return app.window.loginSheetShown(); }));
    {
        LoginSheetInScene sheet(app);
        ASSERT_TRUE(sheet.focused("pinField"));
        sheet.type(wrongPin);
        sheet.pressReturn();
        ASSERT_TRUE(sheet.settled([&] { return !app.sheet().pinError().isEmpty() && !app.sheet().loginInProgress(); }));
        EXPECT_EQ(copiesOf(wrongPin), "");

        sheet.type(pin);
        sheet.pressReturn();
        sheet.expectClosedAfterTheLogin();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(copiesOf(pin), "");
}

// The same for the master password and the PIN it unlocks: the first sheet takes the master
// password and then the PIN, which is cached; the second unlocks the cached PIN with the master
// password alone. Once each sheet has closed, neither secret is anywhere in memory, and
// neither sheet's view model holds anything typed.
TEST(LoginSheetScene, NoCopyOfTheMasterPasswordOrTheCachedPinOutlivesTheSheet) {
    const test_support::MaskedText masterPassword("586031");
    const test_support::MaskedText pin("kv-Cached-R4t8Y2u6I0o3P7a1S5d9");
    LoginSheetEndToEnd app(LoginSheetInScene::tokenWithPin(pin));
    {
        std::string password = masterPassword.reveal();
        app.store->send(AppAction::setupMasterPassword{SecretText(std::move(password))});
    }
    ASSERT_TRUE(app.waitFor([&] { return app.state().masterPasswordState == MasterPasswordState::enabled; }));

    for (const bool cached : {false, true}) {
        SCOPED_TRACE(cached ? "with the cached PIN" : "before the PIN is cached");
        app.store->send(AppAction::startSync{});
        ASSERT_TRUE(app.waitFor([&] { return app.window.loginSheetShown(); }));
        {
            LoginSheetInScene sheet(app);
            ASSERT_TRUE(sheet.focused("masterPassKeys")) << app.sheet().paneKey().toStdString();
            ASSERT_TRUE(sheet.settled(
                [&] { return app.state().loginViewState.storedPinState != StoredPinState::notChecked; }));
            sheet.type(masterPassword);
            if (!cached) {
                ASSERT_TRUE(sheet.focused("pinField")) << app.sheet().paneKey().toStdString();
                sheet.type(pin);
                sheet.pressReturn();
            }
            sheet.expectClosedAfterTheLogin();
            ASSERT_TRUE(app.waitFor([&] { return app.state().pinCacheState.hasPins; }));
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(app.sheet().pinLength(), 0);
        EXPECT_TRUE(app.sheet().masterPassInput()->holdsNothing());
        EXPECT_EQ(copiesOf(masterPassword), "");
        EXPECT_EQ(copiesOf(pin), "");
    }
}

} // namespace
} // namespace keyvane::app
