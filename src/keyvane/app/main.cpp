#include "flowkeep/QtMainExecutor.h"
#include "keyvane/app/DesktopUrlOpener.h"
#include "keyvane/app/KeyvaneApp.h"
#include "keyvane/viewmodels/MainWindowModel.h"
#include "keyvane/app/ProgramInfo.h"
#include "keyvane/uitesting/TestsLauncher.h"
#include "keyvane/uitesting/UiTestProbe.h"
#include "keyvane/uitesting/UiTestSandbox.h"
#include "keyvane/viewmodels/WindowLayersModel.h"
#include "keyvane/middlewares/ApplicationActivity.h"
#include "shared/errors/Error.h"
#include "shared/identities/CredentialIdentityStore.h"
#include "shared/pkcs11/ModuleLocations.h"
#include "shared/utils/TerminationSignals.h"
#include "shared/viewmodels/ConfirmationBridge.h"
#include "keyvane/views/MainWindowViews.h"
#include "shared/views/Views.h"

#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

// SIGTERM and SIGINT end the event loop like closing the window, so the program shuts down
// the same orderly way in both cases.
void quitOnTerminationSignals(QGuiApplication& application) {
    const int signalPipe = keyvane::watchTerminationSignals();
    if (signalPipe < 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe, QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] { QGuiApplication::quit(); });
}

// The one way out once the services may exist, on failure as at the end: the run's folder
// goes, and no destructor of a static runs. Those would finish the token library on the token
// executor's thread while the program's other statics are being torn down under it.
[[noreturn]] void leaveProgram(std::optional<keyvane::app::UiTestSandbox>& sandbox, int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    if (sandbox) {
        sandbox->remove();
    }
    std::_Exit(status);
}

} // namespace

int main(int argc, char** argv) {
    // Under the user-interface test mode everything the run writes goes to a folder of its own,
    // made before anything (Qt included) reads the environment and removed when it ends.
    std::optional<keyvane::app::UiTestSandbox> sandbox;
    if (keyvane::app::isUiTesting(std::vector<std::string>(argv, argv + argc))) {
        try {
            // Never empty: an empty module would fall back to the user's default module.
            const auto virtualToken = keyvane::ModuleLocations::ofThisProgram().virtualToken;
            if (virtualToken.empty()) {
                throw std::runtime_error("the virtual token shipped with the program cannot be found");
            }
            sandbox.emplace(virtualToken);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "Keyvane: the test run's folder could not be made: %s\n", error.what());
            return EXIT_FAILURE;
        }
    }

    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName("Keyvane");
    // The desktop entry's name (the window's application id on Wayland) and the program's logo
    // as the window's icon, so a desktop shows the program's own icon beside its window.
    QGuiApplication::setDesktopFileName(QStringLiteral(KEYVANE_APP_ID));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/qt/qml/Keyvane/MainWindow/images/logo.svg")));
    quitOnTerminationSignals(application);

    std::vector<std::string> arguments;
    for (const auto& argument : QGuiApplication::arguments()) {
        arguments.push_back(argument.toStdString());
    }

    // Made before the store and never destroyed while it runs: the process leaves through
    // _Exit below, so pool work still running at exit never meets a destroyed executor.
    flowkeep::QtMainExecutor executor;

    // Turning the extension on asks the user in the window: the middleware's pool task waits
    // for the dialog's answer, and the window going away answers no. Never destroyed (the
    // process leaves through _Exit), so a late pool task never meets a destroyed bridge.
    auto* confirmation = new keyvane::views::ConfirmationBridge(executor);
    if (auto helper = std::dynamic_pointer_cast<keyvane::AutofillExtensionHelper>(
            keyvane::Dependencies::get(keyvane::autofillExtensionHelper))) {
        helper->setConfirmationHandler([confirmation] { return confirmation->ask(); });
    }
    QObject::connect(&application, &QGuiApplication::aboutToQuit, confirmation,
                     [confirmation] { confirmation->close(); });
    // The views and the fingerprint prompt come before the store: the middlewares take the
    // biometric check, with its prompt, when they are made.
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    QQmlApplicationEngine engine;
    keyvane::app::installMainWindowViews(engine);
    keyvane::views::installBiometricPrompt(engine, executor);

    std::unique_ptr<keyvane::app::KeyvaneApp> app;
    try {
        app = std::make_unique<keyvane::app::KeyvaneApp>(arguments, executor);
    } catch (const keyvane::app::TestNotImplemented& error) {
        std::fprintf(stderr, "Keyvane: %s\n", error.what());
        leaveProgram(sandbox, EXIT_FAILURE);
    } catch (const keyvane::Error& error) {
        std::fprintf(stderr, "Keyvane: initialising the object-store container failed: %s\n", error.description().c_str());
        leaveProgram(sandbox, EXIT_FAILURE);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Keyvane: initialising the object-store container failed: %s\n", error.what());
        leaveProgram(sandbox, EXIT_FAILURE);
    }

    QObject::connect(&application, &QGuiApplication::applicationStateChanged, &application, [](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            keyvane::app::ApplicationActivity::shared().postBecameActive();
        }
    });

    keyvane::app::MainWindowModel model(app->store(), executor);
    // The onboarding layer and the About sheet. Every address the window opens (the login
    // sheet's help, the About sheet's links and support line) goes to the desktop through
    // this one opener.
    keyvane::app::DesktopUrlOpener desktop;
    keyvane::app::WindowLayersModel layers(app->store(), executor, model, desktop, keyvane::app::programBuildInfo(),
                                           keyvane::app::programAboutConfiguration());
    // The window's required properties: it reaches its models through these alone.
    engine.setInitialProperties({{QStringLiteral("mainWindow"), QVariant::fromValue(&model)},
                                 {QStringLiteral("windowLayers"), QVariant::fromValue(&layers)},
                                 {QStringLiteral("extensionConfirmation"), QVariant::fromValue(confirmation)},
                                 {QStringLiteral("uiTesting"), app->uiTesting()}});
    engine.load(QUrl(QStringLiteral("qrc:/keyvane/qml/Main.qml")));
    if (engine.rootObjects().isEmpty()) {
        std::fprintf(stderr, "Keyvane: the window could not be built\n");
        leaveProgram(sandbox, EXIT_FAILURE);
    }
    std::unique_ptr<keyvane::app::UiTestProbe> probe;
    if (const char* folder = std::getenv(keyvane::app::UiTestProbe::folderVariable);
        app->uiTesting() && folder != nullptr && *folder != '\0') {
        if (auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first())) {
            probe = std::make_unique<keyvane::app::UiTestProbe>(*window, QString::fromLocal8Bit(folder));
        }
    }
    // Middleware tasks may still hold services on pool threads; leave without running the
    // destructors of statics under them.
    leaveProgram(sandbox, QGuiApplication::exec());
}
