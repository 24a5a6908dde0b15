#include "shared/views/Views.h"

#include "shared/biometrics/FprintdAuthenticator.h"
#include "shared/biometrics/LAContextWrapper.h"
#include "shared/dependencies/DependencyRegistry.h"
#include "shared/viewmodels/BiometricPromptModel.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QWindow>

#include <stdexcept>

namespace keyvane::views {

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
