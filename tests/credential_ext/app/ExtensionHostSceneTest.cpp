// The ceremonies in process through the extension's own windows on the virtual token: the host
// shows the window its request asks for, and the user's keys (Return, the PIN, the arrows) do
// the rest; the answer is what the host writes.
#include "credential_ext/app/ExtensionHost.h"
#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"
#include "credential_ext/viewmodels/PasskeyChoiceModel.h"
#include "credential_ext/views/ExtensionViews.h"

#include "../../shared/files/TemporaryGroupDirectory.h"
#include "VirtualTokenFixture.h"
#include "flowkeep/VirtualClockExecutor.h"
#include "shared/pkcs11/Pkcs11Library.h"
#include "shared/pkcs11/Pkcs11Manager.h"
#include "shared/pkcs11/TokenLoginManager.h"

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <sstream>

namespace keyvane::ext {
namespace {

using namespace std::chrono_literals;
using views::PasskeyChoiceModel;
using Pane = keyvane::views::LoginSheetModel::Pane;

const Bytes hash(32, 0x5A);
const Bytes userHandle{0x75, 0x01};

struct ExtensionHostScene : ::testing::Test {
    ExtensionHostScene() {
        manager = std::make_shared<Pkcs11Manager>(
            Pkcs11Library::load(keyvane::testing::VirtualTokenFixture::modulePath().string()), 50ms);
        Dependencies::install<Pkcs11ManagerProtocol>(pkcs11Manager, manager);
        Dependencies::install<TokenLoginManagerProtocol>(tokenLoginManager, std::make_shared<TokenLoginManager>(manager));
        views::installExtensionViews(engine);
    }
    ~ExtensionHostScene() override {
        for (auto& host : hosts) {
            close(*host);
        }
        hosts.clear();
        Dependencies::resetForTesting();
    }

    // A host for one request, as the program makes one per process.
    ExtensionHost& start(const HostRequest& request) {
        auto& lines = answers.emplace_back();
        hosts.push_back(std::make_unique<ExtensionHost>(clock, &engine, [&lines](const std::string& line) {
            lines.push_back(nlohmann::json::parse(line));
        }));
        hosts.back()->start(request);
        if (auto* window = qobject_cast<QQuickWindow*>(hosts.back()->window())) {
            window->requestActivate();
            EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        }
        return *hosts.back();
    }

    // The window goes: monitoring stops and every middleware's work ends first.
    void close(ExtensionHost& host) {
        auto* store = host.controller().store();
        if (store == nullptr) {
            return;
        }
        store->send(AppAction::stopMonitoring{});
        EXPECT_TRUE(waitFor([&] {
            for (std::size_t i = 0; i < store->middlewareCount(); ++i) {
                if (store->isForwarding(i)) {
                    return false;
                }
            }
            return true;
        }));
    }

    bool waitFor(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (clock.runUntil(condition, 25ms)) {
                return true;
            }
            clock.advance(100ms);
        }
        return condition();
    }

    void keys(ExtensionHost& host, std::initializer_list<Qt::Key> keys) {
        for (const auto key : keys) {
            QTest::keyClick(qobject_cast<QQuickWindow*>(host.window()), key);
            clock.runUntilIdle();
        }
    }
    void typePin(ExtensionHost& host) {
        auto* window = qobject_cast<QQuickWindow*>(host.window());
        for (const char digit : std::string("12345678")) {
            QTest::keyClick(window, digit);
        }
        QTest::keyClick(window, Qt::Key_Return);
    }

    // Waits for the login sheet's PIN pane, then types the PIN and Return.
    void logIn(ExtensionHost& host) {
        auto& root = *qobject_cast<views::ExtensionRootModel*>(host.rootModel());
        ASSERT_TRUE(waitFor([&] { return root.loginSheet() != nullptr && root.loginSheet()->pane() == Pane::EnterPin; }))
            << (root.loginSheet() ? root.loginSheet()->paneKey().toStdString() : "no login sheet");
        typePin(host);
    }

    nlohmann::json answerOf(std::size_t request) {
        EXPECT_TRUE(waitFor([&] { return !answers[request].empty(); }))
            << "request " << request << ", state " << describe(*hosts[request]);
        EXPECT_EQ(answers[request].size(), 1u);
        return answers[request].empty() ? nlohmann::json{} : answers[request].front();
    }

    static HostRequest registration(const std::string& rp) {
        ASPasskeyCredentialRequest request{{rp, "alice", {}, userHandle, {rp}}, hash};
        return RegistrationHostRequest{request};
    }
    static std::string describe(ExtensionHost& host) {
        std::ostringstream out;
        if (const auto* store = host.controller().store()) {
            out << store->state();
        }
        return out.str();
    }
    static HostRequest onePasskey(const std::string& rp) {
        ASPasskeyCredentialRequest request{{rp, "", {}, userHandle, serviceIdentifierFromText("https://" + rp)}, hash};
        return OnePasskeyHostRequest{request};
    }
    static HostRequest credentialList(const std::string& rp, std::vector<Bytes> allowed = {}) {
        return CredentialListHostRequest{{serviceIdentifierFromText("https://" + rp)}, {rp, hash, std::move(allowed)}};
    }

    test_support::TemporaryGroupDirectory group;
    keyvane::testing::VirtualTokenFixture token;
    flowkeep::VirtualClockExecutor clock;
    std::shared_ptr<Pkcs11Manager> manager;
    QQmlEngine engine;
    std::vector<std::unique_ptr<ExtensionHost>> hosts;
    std::deque<std::vector<nlohmann::json>> answers;
};

TEST_F(ExtensionHostScene, RegistersThenSignsInByKeyboardAndOffersNothingToAnotherSite) {
    // Registration: Return continues, the one token opens its PIN pane, the PIN and Return.
    auto& registering = start(registration("example.com"));
    keys(registering, {Qt::Key_Return});
    logIn(registering);
    const auto registered = answerOf(0);
    ASSERT_EQ(registered.value("result", ""), "registration") << registered.dump();
    EXPECT_EQ(registered["relyingParty"], "example.com");
    EXPECT_EQ(base64UrlDecode(registered["clientDataHash"].get<std::string>()), hash);
    const auto credentialId = base64UrlDecode(registered["credentialId"].get<std::string>()).value_or(Bytes{});
    close(registering);

    // Sign-in from the list: the one passkey is the current choice; Return takes it.
    auto& signingIn = start(credentialList("example.com", {credentialId}));
    auto& choice = *qobject_cast<PasskeyChoiceModel*>(signingIn.rootModel());
    ASSERT_TRUE(waitFor([&] { return !choice.sections().empty(); }));
    keys(signingIn, {Qt::Key_Down, Qt::Key_Return});
    logIn(signingIn);
    const auto asserted = answerOf(1);
    ASSERT_EQ(asserted.value("result", ""), "assertion") << asserted.dump();
    EXPECT_EQ(base64UrlDecode(asserted["credentialId"].get<std::string>()), credentialId);
    EXPECT_EQ(base64UrlDecode(asserted["userHandle"].get<std::string>()), userHandle);
    EXPECT_EQ(base64UrlDecode(asserted["authenticatorData"].get<std::string>()).value_or(Bytes{}).size(), 37u);
    close(signingIn);

    // The passkey named by the system: the login sheet opens without a choice.
    auto& named = start(onePasskey("example.com"));
    logIn(named);
    const auto namedAssertion = answerOf(2);
    ASSERT_EQ(namedAssertion.value("result", ""), "assertion") << namedAssertion.dump();
    EXPECT_EQ(base64UrlDecode(namedAssertion["credentialId"].get<std::string>()), credentialId);
    close(named);

    // Another site: its choice is empty though the record store holds the passkey; Escape
    // ends the request as the user's cancellation.
    auto& elsewhere = start(credentialList("other.example"));
    ASSERT_TRUE(waitFor([&] { return !elsewhere.controller().store()->state().credentialListState.credentials.empty(); }));
    EXPECT_EQ(qobject_cast<PasskeyChoiceModel*>(elsewhere.rootModel())->content(), PasskeyChoiceModel::Empty);
    keys(elsewhere, {Qt::Key_Return, Qt::Key_Escape});
    EXPECT_EQ(answerOf(3), (nlohmann::json{{"result", "cancelled"}, {"code", 1}}));
    close(elsewhere);

    // Another site naming the same user handle finds nothing to sign with: the choice says
    // so, no login opens and nothing is offered; Escape closes the alert, then ends the request.
    auto& namedElsewhere = start(onePasskey("other.example"));
    auto& root = *qobject_cast<PasskeyChoiceModel*>(namedElsewhere.rootModel());
    ASSERT_TRUE(waitFor([&] { return root.alertShown(); }));
    EXPECT_FALSE(root.loginSheetShown());
    EXPECT_EQ(root.content(), PasskeyChoiceModel::Empty);
    keys(namedElsewhere, {Qt::Key_Escape});
    EXPECT_TRUE(answers[4].empty());
    keys(namedElsewhere, {Qt::Key_Escape});
    EXPECT_EQ(answerOf(4), (nlohmann::json{{"result", "cancelled"}, {"code", 1}}));
}

TEST_F(ExtensionHostScene, AWrongPinKeepsThePinPaneAndClosingTheWindowCancels) {
    auto& host = start(registration("example.com"));
    keys(host, {Qt::Key_Return});
    auto& root = *qobject_cast<views::ExtensionRootModel*>(host.rootModel());
    ASSERT_TRUE(waitFor([&] { return root.loginSheet() != nullptr && root.loginSheet()->pane() == Pane::EnterPin; }));
    auto* window = qobject_cast<QQuickWindow*>(host.window());
    for (const char digit : std::string("0000")) {
        QTest::keyClick(window, digit);
    }
    QTest::keyClick(window, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return !root.loginSheet()->pinError().isEmpty(); }));
    EXPECT_EQ(root.loginSheet()->pane(), Pane::EnterPin);
    EXPECT_TRUE(answers[0].empty());

    window->close();
    EXPECT_EQ(answerOf(0), (nlohmann::json{{"result", "cancelled"}, {"code", 1}}));
}

} // namespace
} // namespace keyvane::ext
