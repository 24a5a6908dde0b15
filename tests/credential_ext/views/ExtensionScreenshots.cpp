// Renders the extension's views in their main states, light and dark, to PNG files named
// VIEW_STATE_APPEARANCE.png: scripts/screenshots runs it beside the shared views' program, and
// a test checks that each picture was written and is not blank.
//
// Usage: keyvane_ext_screenshots FOLDER         render into FOLDER
//        keyvane_ext_screenshots --check FOLDER  answer 0 when every expected picture is there
#include "../viewmodels/ExtensionPortRecorder.h"
#include "ExtensionScene.h"
#include "../../shared/views/QmlWarnings.h"

#include "credential_ext/viewmodels/PasskeyChoiceModel.h"
#include "credential_ext/viewmodels/RegistrationModel.h"
#include "flowkeep/VirtualClockExecutor.h"
#include "shared/dependencies/DependencyRegistry.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QTest>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

using namespace keyvane::ext::views;
using namespace keyvane::ext::views::testing;

struct Shot {
    QString name;
    bool registration = false;
    std::function<ExtensionSlice()> slice;
    std::function<void(ExtensionRootModel&, ExtensionPortRecorder&)> act = [](ExtensionRootModel&, ExtensionPortRecorder&) {};
    std::function<LoginSlice()> login = [] { return LoginSlice{}; };
};

const TokenInfo first{"", "Varnel 3 NFC", "0A1B2C3D", "3.1.5.0", 65536, 40000, true};
const TokenInfo second{"", "Varnel Bio", "77F00D42", "2.0.1.1", 65536, 51200, true};

ExtensionSlice passkeys() {
    ExtensionSlice slice;
    slice.tokens = {first, second};
    slice.credentials = {
        PasskeyCredentials{{1}, "example.com", "alice@example.com", {1}, first.serial},
        PasskeyCredentials{{2}, "example.com", "alice.work@example.com", {2}, first.serial},
        PasskeyCredentials{{3}, "example.com", "Алиса", {3}, second.serial},
    };
    return slice;
}

ExtensionSlice registration() {
    ExtensionSlice slice;
    slice.hasRegistration = true;
    slice.registrationUserName = "alice@example.com";
    slice.registrationRelyingParty = "example.com";
    return slice;
}

std::vector<Shot> shots() {
    return {
        {"auth_passkeys", false, passkeys,
         [](ExtensionRootModel& model, ExtensionPortRecorder&) { static_cast<PasskeyChoiceModel&>(model).moveChoice(1); }},
        {"auth_not-found", false, passkeys,
         [](ExtensionRootModel& model, ExtensionPortRecorder&) {
             static_cast<PasskeyChoiceModel&>(model).setSearchText(QStringLiteral("shop"));
         }},
        {"auth_empty", false, [] { return ExtensionSlice{}; }},
        {"auth_login", false,
         [] {
             auto slice = passkeys();
             slice.purpose = LoginPurposeKind::auth;
             return slice;
         },
         [](ExtensionRootModel&, ExtensionPortRecorder&) {},
         [] {
             LoginSlice login;
             login.login.loginDisplayViewState = LoginDisplayViewState::enterPin{first};
             return login;
         }},
        {"auth_alert", false,
         [] {
             auto slice = passkeys();
             slice.alert = AppAlert::connectionLost;
             return slice;
         }},
        {"registration_request", true, registration},
        {"registration_alert-exists", true,
         [] {
             auto slice = registration();
             slice.alert = AppAlert::credsAlreadyExists;
             return slice;
         }},
    };
}

const std::vector<std::pair<QString, int>> appearances = {{"light", 1}, {"dark", 2}};

QString fileName(const Shot& shot, const QString& appearance) {
    return "extension_" + shot.name + "_" + appearance + ".png";
}

int render(const QDir& folder) {
    for (const auto& shot : shots()) {
        for (const auto& [appearance, value] : appearances) {
            flowkeep::VirtualClockExecutor executor;
            ExtensionPortRecorder port(shot.slice());
            port.login.published.set(shot.login());
            std::unique_ptr<ExtensionRootModel> model;
            if (shot.registration) {
                model = std::make_unique<RegistrationModel>(port, executor);
            } else {
                model = std::make_unique<PasskeyChoiceModel>(port, executor);
            }
            shot.act(*model, port);
            const QSize size = shot.registration ? QSize(352, 384) : QSize(464, 512);
            auto scene = extensionScene(shot.registration ? "MacRegistrationView" : "MacAuthView", model.get(), size,
                                        value, false);
            executor.runUntilIdle();
            QTest::qWait(100);
            const QString path = folder.filePath(fileName(shot, appearance));
            if (!scene.render().save(path)) {
                std::fprintf(stderr, "could not write %s\n", qPrintable(path));
                return 1;
            }
            std::printf("%s\n", qPrintable(path));
        }
    }
    return 0;
}

int check(const QDir& folder) {
    int missing = 0;
    for (const auto& shot : shots()) {
        for (const auto& appearance : appearances) {
            missing += keyvane::views::testing::pictureDrawn(folder.filePath(fileName(shot, appearance.first))) ? 0 : 1;
        }
    }
    return missing == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    keyvane::Dependencies::setContext(keyvane::DependencyContext::test);
    QGuiApplication application(argc, argv);
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    const auto arguments = QGuiApplication::arguments();
    const bool checking = arguments.size() == 3 && arguments[1] == QStringLiteral("--check");
    if (!checking && arguments.size() != 2) {
        std::fprintf(stderr, "usage: keyvane_ext_screenshots [--check] FOLDER\n");
        return 2;
    }
    QDir folder(arguments.last());
    if (checking) {
        return check(folder);
    }
    if (!folder.mkpath(QStringLiteral("."))) {
        return 1;
    }
    // A picture drawn while QML warned may show a broken view: the run fails.
    int warnings = 0;
    keyvane::views::testing::failOnQmlWarnings([&warnings](const QString&) { ++warnings; });
    const int status = render(folder);
    return status != 0 || warnings > 0 ? 1 : 0;
}
