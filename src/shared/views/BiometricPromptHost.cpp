#include "shared/views/Views.h"

#include "shared/biometrics/FprintdAuthenticator.h"
#include "shared/biometrics/LAContextWrapper.h"
#include "shared/dependencies/DependencyRegistry.h"
#include "shared/viewmodels/BiometricPromptModel.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QWindow>

#include <stdexcept>

namespace keyvane::views {

namespace {

// The window the user is looking at: the one with the keyboard, else any that is shown.
QWindow* programWindow(const QWindow& prompt) {
    if (auto* focused = QGuiApplication::focusWindow(); focused != nullptr && focused != &prompt) {
        return focused;
    }
    for (auto* window : QGuiApplication::topLevelWindows()) {
        if (window != &prompt && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

// Tied to the program's window (the window manager keeps it above and centres it there) and
// centred over it ourselves where no window manager does.
void showAbove(QWindow& prompt, QWindow* program) {
    prompt.setTransientParent(program);
    if (program != nullptr) {
        const QRect area = program->geometry();
        prompt.setPosition(area.center() - QPoint(prompt.width() / 2, prompt.height() / 2));
    }
    prompt.show();
    prompt.requestActivate();
}

} // namespace

QWindow* createBiometricPromptWindow(QQmlEngine& engine, BiometricPromptModel& prompt) {
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Keyvane/Views/BiometricPromptWindow.qml")));
    auto* window = qobject_cast<QWindow*>(
        component.createWithInitialProperties({{QStringLiteral("prompt"), QVariant::fromValue(&prompt)}}));
    if (window == nullptr) {
        throw std::runtime_error("the fingerprint prompt's window could not be built: " +
                                 component.errorString().toStdString());
    }
    QQmlEngine::setObjectOwnership(window, QQmlEngine::CppOwnership);
    window->QObject::setParent(&engine);
    QObject::connect(&prompt, &BiometricPromptModel::changed, window, [window, &prompt] {
        if (prompt.shown() == window->isVisible()) {
            return;
        }
        if (prompt.shown()) {
            showAbove(*window, programWindow(*window));
        } else {
            window->hide();
        }
    });
    return window;
}

BiometricPromptModel& installBiometricPrompt(QQmlEngine& engine, flowkeep::MainExecutor& executor) {
    // Never destroyed: a check on a pool thread may outlive the engine at exit; its posts go
    // through the executor's reference and find the prompt still there.
    auto prompt = std::make_shared<BiometricPromptModel>(executor);
    static std::shared_ptr<BiometricPromptModel> kept;
    kept = prompt;
    Dependencies::install<LAContextWrapperProtocol>(
        laContextWrapper, std::make_shared<LAContextWrapper>(std::make_shared<FprintdAuthenticator>(prompt)));
    createBiometricPromptWindow(engine, *prompt);
    return *prompt;
}

} // namespace keyvane::views
