#include "flowkeep/QtMainExecutor.h"
#include "keyvane/app/ProgramWindow.h"
#include "keyvane/uitesting/TestsLauncher.h"
#include "keyvane/uitesting/UiTestProbe.h"
#include "keyvane/uitesting/UiTestSandbox.h"
#include "shared/errors/Error.h"
#include "shared/pkcs11/ModuleLocations.h"
#include "shared/utils/TerminationSignals.h"

#include <QGuiApplication>
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
    keyvane::app::ProgramWindow::setUpApplication();
    quitOnTerminationSignals(application);

    std::vector<std::string> arguments;
    for (const auto& argument : QGuiApplication::arguments()) {
        arguments.push_back(argument.toStdString());
    }

    // Made before the store and never destroyed while it runs: the process leaves through
    // _Exit below, so pool work still running at exit never meets a destroyed executor.
    flowkeep::QtMainExecutor executor;

    keyvane::app::ProgramWindow program(executor);
    try {
        program.start(arguments);
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

    QQuickWindow* window = program.load();
    if (window == nullptr) {
        std::fprintf(stderr, "Keyvane: the window could not be built\n");
        leaveProgram(sandbox, EXIT_FAILURE);
    }
    std::unique_ptr<keyvane::app::UiTestProbe> probe;
    if (const char* folder = std::getenv(keyvane::app::UiTestProbe::folderVariable);
        program.app().uiTesting() && folder != nullptr && *folder != '\0') {
        probe = std::make_unique<keyvane::app::UiTestProbe>(*window, QString::fromLocal8Bit(folder));
    }
    // Middleware tasks may still hold services on pool threads; leave without running the
    // destructors of statics under them.
    leaveProgram(sandbox, QGuiApplication::exec());
}
