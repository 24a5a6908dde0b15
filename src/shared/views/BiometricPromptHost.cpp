#include "shared/views/Views.h"

#include "shared/biometrics/FprintdAuthenticator.h"
#include "shared/biometrics/LAContextWrapper.h"
#include "shared/dependencies/DependencyRegistry.h"
#include "shared/viewmodels/BiometricPromptModel.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QWindow>

#include <cstdio>
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
    const auto follow = [window, &prompt] {
        if (prompt.shown() == window->isVisible()) {
            return;
        }
        if (prompt.shown()) {
            showAbove(*window, programWindow(*window));
        } else {
            window->hide();
        }
    };
    QObject::connect(&prompt, &BiometricPromptModel::changed, window, follow);
    // A prompt that shows already when its window is made shows at once.
    follow();
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
    // The window is made when a check first shows the prompt: most runs never show it, and
    // building it (its QML and a second window) before the program's own window would delay
    // that window's first frame.
    auto* model = prompt.get();
    QObject::connect(model, &BiometricPromptModel::changed, &engine, [&engine, model, made = false]() mutable {
        if (made || !model->shown()) {
            return;
        }
        made = true;
        try {
            createBiometricPromptWindow(engine, *model);
        } catch (const std::exception& error) {
            // No check waits for a finger behind a prompt that nobody sees.
            std::fprintf(stderr, "%s\n", error.what());
            model->cancel();
        }
    });
    return *prompt;
}

} // namespace keyvane::views
