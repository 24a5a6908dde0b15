#include "keyvane/app/ProgramWindow.h"

#include "keyvane/app/ProgramInfo.h"
#include "keyvane/middlewares/ApplicationActivity.h"
#include "keyvane/views/MainWindowViews.h"
#include "shared/identities/CredentialIdentityStore.h"
#include "shared/viewmodels/ConfirmationBridge.h"
#include "shared/views/Views.h"

#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QQuickWindow>

namespace keyvane::app {

void ProgramWindow::setUpApplication() {
    QGuiApplication::setApplicationName("Keyvane");
    // The desktop entry's name (the window's application id on Wayland) and the program's logo
    // as the window's icon, so a desktop shows the program's own icon beside its window.
    QGuiApplication::setDesktopFileName(QStringLiteral(KEYVANE_APP_ID));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/qt/qml/Keyvane/MainWindow/images/logo.svg")));
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
}

ProgramWindow::ProgramWindow(flowkeep::MainExecutor& executor)
    // Turning the extension on asks the user in the window: the middleware's pool task waits
    // for the dialog's answer, and the window going away answers no.
    : executor_(executor), confirmation_(new views::ConfirmationBridge(executor)) {
    auto* confirmation = confirmation_;
    if (auto helper = std::dynamic_pointer_cast<AutofillExtensionHelper>(Dependencies::get(autofillExtensionHelper))) {
        helper->setConfirmationHandler([confirmation] { return confirmation->ask(); });
    }
    QObject::connect(qGuiApp, &QGuiApplication::aboutToQuit, confirmation, [confirmation] { confirmation->close(); });
    // The views and the fingerprint prompt come before the store: the middlewares take the
    // biometric check, with its prompt, when they are made.
    installMainWindowViews(engine_);
    views::installBiometricPrompt(engine_, executor);
}

ProgramWindow::~ProgramWindow() = default;

void ProgramWindow::start(const std::vector<std::string>& arguments) {
    app_ = std::make_unique<KeyvaneApp>(arguments, executor_);

    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, qGuiApp, [](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            ApplicationActivity::shared().postBecameActive();
        }
    });

    model_ = std::make_unique<MainWindowModel>(app_->store(), executor_);
    // The onboarding layer and the About sheet. Every address the window opens (the login
    // sheet's help, the About sheet's links and support line) goes to the desktop through
    // the one opener.
    layers_ = std::make_unique<WindowLayersModel>(app_->store(), executor_, *model_, desktop_, programBuildInfo(),
                                                  programAboutConfiguration());
    // The window's required properties: it reaches its models through these alone.
    engine_.setInitialProperties({{QStringLiteral("mainWindow"), QVariant::fromValue(model_.get())},
                                  {QStringLiteral("windowLayers"), QVariant::fromValue(layers_.get())},
                                  {QStringLiteral("extensionConfirmation"), QVariant::fromValue(confirmation_)},
                                  {QStringLiteral("uiTesting"), app_->uiTesting()}});
}

QQuickWindow* ProgramWindow::load() {
    engine_.load(QUrl(QStringLiteral("qrc:/keyvane/qml/Main.qml")));
    return engine_.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine_.rootObjects().first());
}

} // namespace keyvane::app
