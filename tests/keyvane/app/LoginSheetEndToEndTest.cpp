// The login sheet's view model over the main program's real store on a virtual token, shown
// and closed as the program's window shows it.
#include "AppOnVirtualToken.h"
#include "keyvane/app/MainWindowModel.h"
#include "shared/viewmodels/LoginSheetModel.h"
#include "../../shared/views/SceneHarness.h"

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

} // namespace
} // namespace keyvane::app
