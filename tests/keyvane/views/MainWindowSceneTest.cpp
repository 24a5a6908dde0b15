// The main window offscreen over the program's real store on a virtual token, driven as a
// person would through the items' object names: mouse and keyboard only.
#include "../app/AppOnVirtualToken.h"
#include "keyvane/viewmodels/MainWindowModel.h"
#include "keyvane/views/MainWindowViews.h"
#include "shared/identities/CredentialIdentityStore.h"
#include "../../shared/viewmodels/ViewModelFixture.h"
#include "../../shared/views/SceneHarness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTcpServer>
#include <QTest>

#include <functional>
#include <memory>

#include <algorithm>
#include <cmath>

namespace keyvane::app {
namespace {

struct MainWindowScene : ::testing::Test, testing::AppOnVirtualToken {
    MainWindowScene() : MainWindowScene({keyvane::testing::VirtualTokenSettings{}}) {}
    explicit MainWindowScene(std::vector<keyvane::testing::VirtualTokenSettings> tokens)
        : AppOnVirtualToken(std::move(tokens)) {
        AutofillExtensionHelper(group.path()).setEnabled(true);
    }

    // Runs the store and the scene until the condition holds.
    bool settled(const std::function<bool()>& condition) {
        return waitFor([&] {
            QCoreApplication::processEvents();
            scene->render();
            return condition();
        });
    }
    QQuickItem* item(const QString& name) { return scene->find(name); }
    bool shown(const QString& name) {
        auto* found = item(name);
        return found != nullptr && found->isVisible();
    }
    // A click in the middle of a shown item, with the given keys held.
    void click(const QString& name, Qt::KeyboardModifiers modifiers = {}) {
        ASSERT_TRUE(settled([&] { return shown(name); })) << name.toStdString();
        auto* found = item(name);
        const auto centre = found->mapToScene(QPointF(found->width() / 2, found->height() / 2)).toPoint();
        QTest::mouseClick(&scene->window(), Qt::LeftButton, modifiers, centre);
    }
    void key(int key, Qt::KeyboardModifiers modifiers = {}) { QTest::keyClick(&scene->window(), Qt::Key(key), modifiers); }
    void type(const std::string& text) {
        for (const char c : text) {
            QTest::keyClick(&scene->window(), c);
        }
    }
    // The button of an alert overlay by its identifier.
    void pressAlertButton(const QString& overlay, const QString& identifier) {
        auto* cover = item(overlay);
        ASSERT_NE(cover, nullptr);
        auto* button = views::testing::SceneHarness::find(cover, QStringLiteral("alertButton_") + identifier);
        ASSERT_NE(button, nullptr);
        const auto centre = button->mapToScene(QPointF(button->width() / 2, button->height() / 2)).toPoint();
        QTest::mouseClick(&scene->window(), Qt::LeftButton, {}, centre);
    }

    // Passkeys on the token before the window reads it: a login of the core's own, then the
    // core forgets it again.
    void passkeysOnTheToken(const std::vector<std::pair<std::string, std::string>>& sitesAndUsers) {
        store->send(AppAction::startMonitoring{});
        ASSERT_TRUE(waitFor([&] { return !state().loginViewState.connectedTokens.empty(); }));
        serial = state().loginViewState.connectedTokens.begin()->serial;
        store->send(AppAction::performLoginOnToken{serial, SecretText(keyvane::testing::VirtualTokenSettings{}.userPin)});
        ASSERT_TRUE(waitFor([&] { return state().loginViewState.verificationStatus == PinVerificationStatus(PinVerificationStatus::success{}); }));
        std::uint8_t id = 1;
        for (const auto& [site, user] : sitesAndUsers) {
            addPasskey(PasskeyCredentials{Bytes{0xA0, id}, site, user, Bytes{id}, serial});
            ++id;
        }
        store->send(AppAction::stopMonitoring{});
        store->send(AppAction::updatePinVerificationStatus{PinVerificationStatus::notVerified{}});
        ASSERT_TRUE(waitFor([&] { return !store->isForwarding(0); }));
    }

    // The login sheet opens for the token, takes the PIN by keyboard and closes.
    void logInThroughTheSheet() {
        ASSERT_TRUE(settled([&] {
            auto* field = item(QStringLiteral("pinField"));
            return window.loginSheetShown() && field != nullptr && field->hasActiveFocus() &&
                   !window.loginSheet()->loginInProgress();
        })) << "pane " << (window.loginSheet() ? window.loginSheet()->paneKey().toStdString() : "none");
        type(keyvane::testing::VirtualTokenSettings{}.userPin);
        key(Qt::Key_Return);
        ASSERT_TRUE(settled([&] { return !window.loginSheetShown(); }));
    }

    void synchronise(std::size_t expectedPasskeys) {
        click(QStringLiteral("syncButton"));
        logInThroughTheSheet();
        ASSERT_TRUE(settled([&] { return state().credentialListState.credentials.size() == expectedPasskeys; }))
            << state().credentialListState.credentials.size() << " passkeys";
    }

    std::string serial;
    MainWindowModel window{*store, clock};
    std::unique_ptr<views::testing::SceneHarness> scene = std::make_unique<views::testing::SceneHarness>(
        QStringLiteral("Keyvane.MainWindow"), [](QQmlEngine& engine) { installMainWindowViews(engine); },
        QStringLiteral("MacMainView"), QVariantMap{{QStringLiteral("model"), QVariant::fromValue(&window)}},
        QSize(1000, 620), 1, false);
};

TEST_F(MainWindowScene, SyncSearchSelectAndDeleteWithTheLogin) {
    passkeysOnTheToken({{"mail.example", "alice"}, {"shop.example", "bob"}, {"bank.example", "carol"}});
    EXPECT_TRUE(shown(QStringLiteral("emptySyncButton")));
    synchronise(3);
    ASSERT_TRUE(settled([&] { return shown(QStringLiteral("passkey_mail.example_alice")); }));
    EXPECT_TRUE(shown(QStringLiteral("sectionHeader_") + QString::fromStdString(serial)));
    EXPECT_FALSE(shown(QStringLiteral("emptyList")));

    // Ctrl+F goes to the search; typing narrows the list, Escape clears it.
    key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(settled([&] { return item(QStringLiteral("searchField"))->hasActiveFocus(); }));
    type("BANK");
    ASSERT_TRUE(settled([&] { return !shown(QStringLiteral("passkey_mail.example_alice")); }));
    EXPECT_TRUE(shown(QStringLiteral("passkey_bank.example_carol")));
    key(Qt::Key_Escape);
    ASSERT_TRUE(settled([&] { return shown(QStringLiteral("passkey_mail.example_alice")); }));

    // A click selects one passkey, Control-click adds another; the toolbar offers deletion.
    click(QStringLiteral("passkey_mail.example_alice"));
    click(QStringLiteral("passkey_bank.example_carol"), Qt::ControlModifier);
    ASSERT_TRUE(settled([&] { return window.selectionCount() == 2 && shown(QStringLiteral("deleteSelectionButton")); }));
    EXPECT_FALSE(shown(QStringLiteral("syncButton")));

    // Delete asks first; Escape keeps the selection.
    key(Qt::Key_Delete);
    ASSERT_TRUE(settled([&] { return shown(QStringLiteral("deleteConfirmation")); }));
    key(Qt::Key_Escape);
    ASSERT_TRUE(settled([&] { return !shown(QStringLiteral("deleteConfirmation")); }));
    EXPECT_EQ(window.selectionCount(), 2);

    // The trash button, then the confirmation's delete button; the login sheet asks for the
    // PIN, and the two passkeys leave the token and the list.
    click(QStringLiteral("deleteSelectionButton"));
    ASSERT_TRUE(settled([&] { return shown(QStringLiteral("deleteConfirmation")); }));
    pressAlertButton(QStringLiteral("deleteConfirmation"), QStringLiteral("delete"));
    ASSERT_TRUE(settled([&] { return window.selectionCount() == 0 && shown(QStringLiteral("syncButton")); }));
    logInThroughTheSheet();
    ASSERT_TRUE(settled([&] { return state().credentialListState.credentials.size() == 1; }));
    EXPECT_EQ(state().credentialListState.credentials.front().username, "bob");
    ASSERT_TRUE(settled([&] { return !shown(QStringLiteral("passkey_mail.example_alice")); }));
    EXPECT_TRUE(shown(QStringLiteral("passkey_shop.example_bob")));
    EXPECT_FALSE(state().navigationState.alert.has_value());
}

TEST_F(MainWindowScene, TokenDetailsByKeyboardAndTheirDeletion) {
    passkeysOnTheToken({{"mail.example", "alice"}});
    synchronise(1);
    const auto card = QStringLiteral("token_card_") + QString::fromStdString(serial);
    ASSERT_TRUE(settled([&] { return shown(card); }));
    EXPECT_FALSE(shown(QStringLiteral("token_info")));

    // Down to the token's card, Space chooses it: its details show under the cards.
    item(QStringLiteral("sidebarCards"))->forceActiveFocus();
    key(Qt::Key_Down);
    key(Qt::Key_Space);
    ASSERT_TRUE(settled([&] { return shown(QStringLiteral("token_info")); }));
    EXPECT_TRUE(window.tokenChosen());
    EXPECT_FALSE(shown(QStringLiteral("sectionHeader_") + QString::fromStdString(serial)));
    EXPECT_TRUE(shown(QStringLiteral("freeMemoryRow")));

    // Cancelling the confirmation deletes nothing.
    click(QStringLiteral("deleteTokenButton"));
    ASSERT_TRUE(settled([&] { return shown(QStringLiteral("tokenDeleteConfirmation")); }));
    pressAlertButton(QStringLiteral("tokenDeleteConfirmation"), QStringLiteral("cancel"));
    ASSERT_TRUE(settled([&] { return !shown(QStringLiteral("tokenDeleteConfirmation")); }));
    EXPECT_EQ(state().credentialListState.tokens.size(), 1U);

    // Confirming (Tab to the remove button, Return) forgets the token on this computer: the
    // choice returns to all passkeys.
    click(QStringLiteral("deleteTokenButton"));
    ASSERT_TRUE(settled([&] { return shown(QStringLiteral("tokenDeleteConfirmation")); }));
    key(Qt::Key_Tab);
    key(Qt::Key_Return);
    // The core publishes the token list, then the passkey list, each a step of its own.
    ASSERT_TRUE(settled([&] {
        return state().credentialListState.tokens.empty() && state().credentialListState.credentials.empty() &&
               !window.tokenChosen();
    }));
    ASSERT_TRUE(settled([&] { return !shown(QStringLiteral("token_info")) && !shown(card); }));
    EXPECT_TRUE(shown(QStringLiteral("emptySyncButton")));
}

TEST_F(MainWindowScene, TheCoresAlertAndTheMenu) {
    // The window presents the core's alert with its buttons; a button closes it.
    store->send(AppAction::handleError{AnyError(TextError("deletion failed"))});
    ASSERT_TRUE(settled([&] { return shown(QStringLiteral("alert")); }));
    EXPECT_EQ(views::testing::SceneHarness::find(item(QStringLiteral("alert")), QStringLiteral("alertTitle"))->property("text"),
              AppAlert(AnyError(TextError("deletion failed"))).title());
    key(Qt::Key_Escape);
    ASSERT_TRUE(settled([&] { return !shown(QStringLiteral("alert")) && !state().navigationState.alert; }));

    // The menu's master-password entry opens the settings sheet.
    click(QStringLiteral("menuButton"));
    click(QStringLiteral("masterPasswordMenuItem"));
    ASSERT_TRUE(settled([&] { return window.settingsShown() && shown(QStringLiteral("settingsSheetLoader")); }));
    store->send(AppAction::quitMasterPasswordSettings{});
    ASSERT_TRUE(settled([&] { return !shown(QStringLiteral("settingsSheetLoader")); }));
    click(QStringLiteral("menuButton"));
    click(QStringLiteral("aboutButton"));
    ASSERT_TRUE(settled([&] { return window.aboutShown(); }));
    // A window given no About view stays usable.
    EXPECT_TRUE(item(QStringLiteral("syncButton"))->isEnabled());
}

// A web server on this computer that counts who connects: what a text laid out as markup
// would fetch for an image it names.
struct Beacon {
    Beacon() {
        if (!server.listen(QHostAddress::LocalHost)) {
            throw std::runtime_error("no local port to listen on");
        }
    }
    QString url(const QString& file) const {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(server.serverPort()).arg(file);
    }
    QTcpServer server;
};

// A site chooses the user name of the passkey it registers and a token its model name and
// label: the window shows them over its records as they are, each on one line, and fetches
// nothing they name.
struct MainWindowOverOutsideTexts : Beacon, MainWindowScene {
    MainWindowOverOutsideTexts() : MainWindowScene({markupToken(url(QStringLiteral("model.png")))}) {}

    static keyvane::testing::VirtualTokenSettings markupToken(const QString& image) {
        keyvane::testing::VirtualTokenSettings settings;
        // A firmware that names its model in the token's record.
        settings.firmwareVersion = {33, 0};
        settings.modelName = QStringLiteral("<img src=\"%1\">Sigma<br>X").arg(image).toStdString();
        settings.label = "<b>Keyvane</b><br>token";
        return settings;
    }

    // The text item below an item that shows exactly this text, or null.
    static QQuickItem* showing(QQuickItem* below, const QString& text) {
        if (below->inherits("QQuickText") && below->property("text").toString() == text) {
            return below;
        }
        for (auto* child : below->childItems()) {
            if (auto* found = showing(child, text)) {
                return found;
            }
        }
        return nullptr;
    }
    // Shown as exactly this text, on one line.
    void expectShownOnOneLine(QQuickItem* below, const QString& text) {
        ASSERT_NE(below, nullptr);
        auto* label = showing(below, text);
        ASSERT_NE(label, nullptr) << text.toStdString();
        EXPECT_TRUE(label->isVisible()) << text.toStdString();
        EXPECT_EQ(label->property("lineCount").toInt(), 1) << text.toStdString();
    }
    QQuickItem* passkeyRow() {
        return passkeyRowBelow(scene->window().contentItem());
    }
    static QQuickItem* passkeyRowBelow(QQuickItem* item) {
        if (item->objectName().startsWith(QStringLiteral("passkey_"))) {
            return item;
        }
        for (auto* child : item->childItems()) {
            if (auto* found = passkeyRowBelow(child)) {
                return found;
            }
        }
        return nullptr;
    }
};

TEST_F(MainWindowOverOutsideTexts, AreShownAsTextNeverAsMarkup) {
    const auto user = QStringLiteral("<img src=\"%1\">mallory<br><font color=red>Call +1 555 0100</font>")
                          .arg(url(QStringLiteral("beacon.png")));
    passkeysOnTheToken({{"\u200Fcom\u200F.\u200Fbank", user.toStdString()}});
    synchronise(1);
    ASSERT_TRUE(settled([&] { return passkeyRow() != nullptr && passkeyRow()->isVisible(); }));

    // The row: the user name as it is, on one line; the right-to-left marks that would turn
    // the relying party into "bank.com" as visible replacements.
    auto* row = passkeyRow();
    auto* username = views::testing::SceneHarness::find(row, QStringLiteral("username"));
    ASSERT_NE(username, nullptr);
    EXPECT_EQ(username->property("text").toString(), user);
    EXPECT_EQ(username->property("lineCount").toInt(), 1);
    auto* relyingParty = views::testing::SceneHarness::find(row, QStringLiteral("relyingParty"));
    ASSERT_NE(relyingParty, nullptr);
    EXPECT_EQ(relyingParty->property("text").toString(), QStringLiteral("\uFFFDcom\uFFFD.\uFFFDbank"));

    // The token's model in its section header and its card, then its title and details.
    const auto model = QString::fromStdString(markupToken(url(QStringLiteral("model.png"))).modelName.value());
    const auto card = QStringLiteral("token_card_") + QString::fromStdString(serial);
    expectShownOnOneLine(item(QStringLiteral("sectionHeader_") + QString::fromStdString(serial)), model);
    expectShownOnOneLine(item(card), model);
    click(card);
    ASSERT_TRUE(settled([&] { return shown(QStringLiteral("token_info")); }));
    expectShownOnOneLine(item(QStringLiteral("listTitle")), model);
    expectShownOnOneLine(item(QStringLiteral("tokenModelRow")), model);
    expectShownOnOneLine(item(QStringLiteral("tokenNameRow")), QStringLiteral("<b>Keyvane</b><br>token"));

    // Nothing reached the listener. So that "nothing" means something, a text that is laid
    // out as markup, made now in the same window, must reach it meanwhile; it names another
    // port, so only the window's own texts can reach this one.
    Beacon control;
    QQmlComponent component(qmlEngine(&scene->root()));
    component.setData(QStringLiteral("import QtQuick\nText { textFormat: Text.RichText; text: '<img src=\"%1\">' }")
                          .arg(control.url(QStringLiteral("control.png")))
                          .toUtf8(),
                      QUrl(QStringLiteral("qrc:/control.qml")));
    std::unique_ptr<QQuickItem> markup(qobject_cast<QQuickItem*>(component.create()));
    ASSERT_NE(markup, nullptr) << component.errorString().toStdString();
    markup->setParentItem(scene->window().contentItem());
    ASSERT_TRUE(settled([&] { return control.server.hasPendingConnections(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(server.hasPendingConnections());
}

// The window over a store with 500 passkeys of 4 tokens and no services: the list makes rows
// only for what is on screen, and the keyboard walks and selects them.
// The window over a store with no services, offscreen in one appearance (1 light, 2 dark).
struct WindowOverStore {
    explicit WindowOverStore(int appearance)
        : scene{QStringLiteral("Keyvane.MainWindow"), [](QQmlEngine& engine) { installMainWindowViews(engine); },
                QStringLiteral("MacMainView"), QVariantMap{{QStringLiteral("model"), QVariant::fromValue(&window)}},
                QSize(1000, 620), appearance, false} {}
    QQuickItem* list() { return scene.find(QStringLiteral("passkeyList")); }
    void key(int key) {
        QTest::keyClick(&scene.window(), Qt::Key(key));
        scene.render();
    }

    views::testing::StoreFixture fixture;
    MainWindowModel window{fixture.store, fixture.executor};
    views::testing::SceneHarness scene;
};

struct MainWindowLargeList : ::testing::Test, WindowOverStore {
    MainWindowLargeList() : WindowOverStore(1) {
        std::vector<TokenInfo> tokens;
        std::vector<PasskeyCredentials> passkeys;
        for (int t = 0; t < 4; ++t) {
            tokens.push_back(TokenInfo{std::nullopt, "Model", "T" + std::to_string(t), "1.0", 64000, 1000, true});
        }
        for (int i = 0; i < 500; ++i) {
            passkeys.push_back(PasskeyCredentials{Bytes{static_cast<std::uint8_t>(i / 256), static_cast<std::uint8_t>(i % 256)},
                                                  "site" + std::to_string(i) + ".example", "user" + std::to_string(i),
                                                  Bytes{1}, "T" + std::to_string(i % 4)});
        }
        fixture.drive(AppAction::updateTokenList{tokens});
        fixture.drive(AppAction::updateCredentialsList{passkeys});
    }
    // The passkey rows the list has made.
    int madeRows() {
        int made = 0;
        auto* content = list()->property("contentItem").value<QQuickItem*>();
        for (auto* child : content->childItems()) {
            made += child->objectName().startsWith(QStringLiteral("passkey_")) ? 1 : 0;
        }
        return made;
    }
};

TEST_F(MainWindowLargeList, RowsAreMadeOnDemandAndTheKeyboardSelects) {
    scene.render();
    ASSERT_EQ(window.passkeys()->count(), 500 + 2 * 4);
    EXPECT_GT(madeRows(), 0);
    EXPECT_LT(madeRows(), 40);

    // Tab from the sidebar reaches the list; Down walks past the header to the first
    // passkey, Space selects it, Down and Space add the next of the same token.
    scene.find(QStringLiteral("sidebarCards"))->forceActiveFocus();
    QTest::keyClick(&scene.window(), Qt::Key_Tab);
    scene.render();
    ASSERT_TRUE(list()->hasActiveFocus());
    EXPECT_EQ(list()->property("currentIndex").toInt(), 1);
    key(Qt::Key_Space);
    key(Qt::Key_Down);
    key(Qt::Key_Space);
    EXPECT_EQ(window.selectionCount(), 2);
    // Return selects the current passkey alone; Escape empties the selection.
    key(Qt::Key_Return);
    EXPECT_EQ(window.selectionCount(), 1);
    key(Qt::Key_Escape);
    EXPECT_EQ(window.selectionCount(), 0);

    // Walking to the end scrolls along; the list still holds only the rows near the view.
    for (int i = 0; i < 520; ++i) {
        QTest::keyClick(&scene.window(), Qt::Key_Down);
    }
    scene.render();
    EXPECT_EQ(list()->property("currentIndex").toInt(), window.passkeys()->nextPasskeyRow(window.passkeys()->count(), -1));
    EXPECT_LT(madeRows(), 60);
    EXPECT_GT(list()->property("contentY").toDouble(), 500 * 60 - 1000.0);

    // A search keeps the rows in step with the list.
    window.setSearchText(QStringLiteral("user49"));
    scene.render();
    EXPECT_EQ(window.passkeys()->count(), 11 + 2 * 4);
    EXPECT_TRUE(scene.find(QStringLiteral("passkey_site499.example_user499")) != nullptr);
}

// A small list over a store without services: what the selection and a changing list do to
// a row's look and to the keyboard's place.
struct MainWindowSmallList : ::testing::Test, WindowOverStore {
    static PasskeyCredentials passkey(std::uint8_t id, const char* site, const char* user) {
        return PasskeyCredentials{Bytes{id}, site, user, Bytes{id}, "T1"};
    }
    MainWindowSmallList() : WindowOverStore(2) {
        fixture.drive(AppAction::updateTokenList{{TokenInfo{std::nullopt, "Model", "T1", "1.0", 64000, 1000, true}}});
        fixture.drive(AppAction::updateCredentialsList{
            {passkey(1, "mail.example", "alice"), passkey(2, "shop.example", "bob"), passkey(3, "bank.example", "carol")}});
        scene.render();
    }
    // The list's current row, as the model knows it.
    const PasskeyListModel::Row* currentRow() { return window.passkeys()->row(list()->property("currentIndex").toInt()); }
};

// The globe of a selected passkey is drawn in the colour of the texts on the selection, not
// in the accent it sits on; unselected, it stands out from the list's background.
TEST_F(MainWindowSmallList, TheGlobeStandsOutOnTheSelectionAndOffIt) {
    window.chooseRow(1);
    scene.render();
    for (const char* name : {"passkey_mail.example_alice", "passkey_shop.example_bob"}) {
        SCOPED_TRACE(name);
        auto* row = scene.find(QString::fromUtf8(name));
        ASSERT_NE(row, nullptr);
        auto* globe = views::testing::SceneHarness::find(row, QStringLiteral("passkeyGlobe"));
        ASSERT_NE(globe, nullptr);
        const QColor drawn = globe->property("color").value<QColor>();
        ASSERT_TRUE(drawn.isValid());
        const QImage picture = scene.render();
        // What lies under the globe: the row's fill where it has one, the list's background.
        const QPoint beside = row->mapToScene(QPointF(4, row->height() / 2)).toPoint();
        const QColor under = picture.pixelColor(beside);
        const auto contrast = [](const QColor& a, const QColor& b) {
            const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            const auto luminance = [&](const QColor& c) {
                return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
            };
            const double first = luminance(a);
            const double second = luminance(b);
            return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
        };
        EXPECT_GE(contrast(drawn, under), 3.0) << drawn.name().toStdString() << " on " << under.name().toStdString();
    }
}

// When the list changes under the keyboard's place (passkeys deleted after the confirmation),
// the place moves to a passkey: never to a token's header or the space after a section.
TEST_F(MainWindowSmallList, TheKeyboardsPlaceStaysOnAPasskeyWhenTheListChanges) {
    list()->forceActiveFocus();
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    ASSERT_NE(currentRow(), nullptr);
    ASSERT_EQ(currentRow()->credential->username, "carol");
    for (const auto& remaining : std::vector<std::vector<PasskeyCredentials>>{
             {passkey(1, "mail.example", "alice"), passkey(3, "bank.example", "carol")},
             {passkey(1, "mail.example", "alice")},
             {passkey(1, "mail.example", "alice"), passkey(2, "shop.example", "bob"), passkey(3, "bank.example", "carol")}}) {
        SCOPED_TRACE(remaining.size());
        fixture.drive(AppAction::updateCredentialsList{remaining});
        scene.render();
        const auto* current = currentRow();
        ASSERT_NE(current, nullptr);
        EXPECT_EQ(current->kind, PasskeyListModel::Passkey);
    }
}

// Both confirmations of the window start with the keyboard on their safe button, drawn as the
// default: Return there closes the confirmation and destroys nothing. Tab moves the keyboard,
// and the default's look, to the destructive button, which Return then presses.
TEST_F(MainWindowSmallList, ReturnInAConfirmationRunsOnlyTheButtonShownAsDefault) {
    struct Confirmation {
        const char* overlay;
        std::function<void()> ask;
        const char* destroyed;
    };
    const std::vector<Confirmation> confirmations = {
        {"deleteConfirmation",
         [&] {
             window.chooseRow(1);
             window.deletePressed();
         },
         "deleteButtonPressed(request: {token: T1, keys: 1})"},
        {"tokenDeleteConfirmation",
         [&] {
             window.chooseCard(1);
             window.tokenDetails()->deletePressed();
         },
         "deleteToken(T1)"},
    };
    const auto drawnAsDefault = [&](const char* overlay, const char* identifier) {
        auto* button = views::testing::SceneHarness::find(scene.find(QString::fromUtf8(overlay)),
                                                          QStringLiteral("alertButton_") + QString::fromUtf8(identifier));
        return button != nullptr && button->property("prominent").toBool();
    };
    // Whether the window asked for the destruction (the login sheet it opens sends its own).
    const auto destroyed = [&](const char* action) {
        const auto sent = fixture.sent();
        return std::find(sent.begin(), sent.end(), action) != sent.end();
    };
    for (const auto& confirmation : confirmations) {
        SCOPED_TRACE(confirmation.overlay);
        confirmation.ask();
        scene.render();
        ASSERT_NE(scene.find(QString::fromUtf8(confirmation.overlay)), nullptr);
        EXPECT_TRUE(drawnAsDefault(confirmation.overlay, "cancel"));
        EXPECT_FALSE(drawnAsDefault(confirmation.overlay, "delete"));
        key(Qt::Key_Return);
        EXPECT_EQ(scene.find(QString::fromUtf8(confirmation.overlay)), nullptr);
        EXPECT_FALSE(destroyed(confirmation.destroyed));

        confirmation.ask();
        scene.render();
        key(Qt::Key_Tab);
        EXPECT_TRUE(drawnAsDefault(confirmation.overlay, "delete"));
        EXPECT_FALSE(drawnAsDefault(confirmation.overlay, "cancel"));
        key(Qt::Key_Return);
        EXPECT_TRUE(destroyed(confirmation.destroyed));
        fixture.drive(AppAction::dismissLoginView{});
        window.chooseCard(0);
        scene.render();
    }
}

// The toolbar's "…" menu in either appearance: drawn in the window's own colours (its card and
// its separator lines, not the style's white box with a black frame), below its button and
// clear of the search field beside it.
TEST(MainWindowMenu, IsDrawnInTheWindowsColoursBesideTheSearchField) {
    for (const int appearance : {1, 2}) {
        SCOPED_TRACE(appearance == 1 ? "light" : "dark");
        WindowOverStore shown(appearance);
        auto& scene = shown.scene;
        const QImage closed = scene.render();
        auto* button = scene.find(QStringLiteral("menuButton"));
        auto* search = scene.find(QStringLiteral("searchField"));
        ASSERT_TRUE(button != nullptr && search != nullptr);
        // The toolbar is the window's card, with a separator line along its bottom.
        const QColor card = closed.pixelColor(button->mapToScene(QPointF(button->width() / 2, -4)).toPoint());
        const QColor separator = closed.pixelColor(QPoint(500, 51));

        button->forceActiveFocus();
        QTest::keyClick(&scene.window(), Qt::Key_Down);
        QTest::qWait(300); // the menu's opening transition
        const QImage open = scene.render();
        auto* entry = scene.find(QStringLiteral("masterPasswordMenuItem"));
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(entry->isVisible());
        // The menu's frame: the first entry with the menu's padding around it.
        const QRectF menu = entry->mapRectToScene(QRectF(0, 0, entry->width(), entry->height())).adjusted(-5, -5, 5, 5);
        const auto near = [](const QColor& a, const QColor& b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 24;
        };
        const QColor inside = open.pixelColor(QPointF(menu.center().x(), menu.top() + 2).toPoint());
        EXPECT_TRUE(near(inside, card)) << inside.name().toStdString() << " is not the card " << card.name().toStdString();
        const QColor edge = open.pixelColor(QPointF(menu.center().x(), menu.top()).toPoint());
        EXPECT_TRUE(near(edge, separator)) << "frame " << edge.name().toStdString() << ", separator "
                                           << separator.name().toStdString();
        const QRectF field = search->mapRectToScene(QRectF(0, 0, search->width(), search->height()));
        EXPECT_LE(menu.right(), field.left() + 1) << "the menu covers the search field";
        EXPECT_GT(menu.top(), button->mapToScene(QPointF(0, button->height())).y());

        // The keyboard walks the entries; Escape closes the menu.
        QTest::keyClick(&scene.window(), Qt::Key_Escape);
        scene.render();
        EXPECT_FALSE(entry->isVisible());
    }
}

} // namespace
} // namespace keyvane::app
