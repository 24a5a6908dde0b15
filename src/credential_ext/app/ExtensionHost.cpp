#include "credential_ext/app/ExtensionHost.h"

#include "credential_ext/state/LoginFollowUp.h"
#include "credential_ext/viewmodels/PasskeyChoiceModel.h"
#include "credential_ext/viewmodels/RegistrationModel.h"
#include "credential_ext/viewmodels/StoreExtensionPort.h"

#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>

namespace keyvane::ext {

ExtensionHost::ExtensionHost(flowkeep::MainExecutor& executor, QQmlEngine* engine,
                             std::function<void(const std::string&)> write, QObject* parent)
    : QObject(parent), executor_(executor), engine_(engine) {
    // The answer is written on whichever thread gives it; the program learns of it on the
    // main thread, once no registration is left cleaning up the token.
    context_ = std::make_shared<HostExtensionContext>(std::move(write), [this] {
        QMetaObject::invokeMethod(this, [this] { announceWhenSettled(settleChecks); }, Qt::QueuedConnection);
    });
    controller_ = std::make_unique<CredentialProviderViewController>(
        executor_, context_, [this](CredentialProviderViewController::RootViewKind kind) { present(kind); });
}

// The window goes first: its views read the models below until they are gone, and would
// otherwise see them vanish under their bindings.
ExtensionHost::~ExtensionHost() {
    delete window_;
}

void ExtensionHost::announceWhenSettled(int checksLeft) {
    if (!controller_->isRegistrationInFlight()) {
        emit answered();
        return;
    }
    if (checksLeft <= 0) {
        qWarning() << "A cancelled registration is still running; the request ends without waiting longer";
        emit answered();
        return;
    }
    executor_.postAfter(settleInterval, [host = QPointer<ExtensionHost>(this), checksLeft] {
        if (host) {
            host->announceWhenSettled(checksLeft - 1);
        }
    });
}

void ExtensionHost::start(const HostRequest& request) {
    std::visit(
        [this](const auto& value) {
            using Kind = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Kind, RegistrationHostRequest>) {
                controller_->prepareInterfaceForPasskeyRegistration(value.request);
            } else if constexpr (std::is_same_v<Kind, CredentialListHostRequest>) {
                controller_->prepareCredentialListForServiceIdentifiers(value.serviceIdentifiers, value.parameters);
            } else if constexpr (std::is_same_v<Kind, OnePasskeyHostRequest>) {
                controller_->prepareInterfaceToProvideCredentialForRequest(value.request);
            } else {
                controller_->provideCredentialWithoutUserInteractionForRequest(value.request);
            }
        },
        request);
}

void ExtensionHost::present(CredentialProviderViewController::RootViewKind kind) {
    using Port = views::StoreExtensionPort<AppState, AppAction>;
    port_ = std::make_unique<Port>(*controller_->store());
    registration_ = kind == CredentialProviderViewController::RootViewKind::registration;
    if (registration_) {
        rootModel_ = std::make_unique<views::RegistrationModel>(*port_, executor_);
    } else {
        rootModel_ = std::make_unique<views::PasskeyChoiceModel>(*port_, executor_);
    }
    if (engine_ == nullptr) {
        return;
    }
    const auto frame = CredentialProviderViewController::frameOf(kind);
    QQmlComponent component(engine_, QUrl(QStringLiteral("qrc:/keyvane/ext/qml/ExtensionWindow.qml")));
    window_ = component.createWithInitialProperties({{QStringLiteral("host"), QVariant::fromValue(this)},
                                                     {QStringLiteral("frameWidth"), frame.width},
                                                     {QStringLiteral("frameHeight"), frame.height}});
    if (window_ == nullptr) {
        qWarning().noquote() << "The request's window could not be built:" << component.errorString();
        context_->cancelRequest(ASExtensionErrorCode::failed);
        return;
    }
    window_->setParent(this);
}

void ExtensionHost::cancelByUser() {
    if (context_->isAnswered()) {
        return;
    }
    if (rootModel_) {
        rootModel_->cancel();
    }
    // A store that could not answer (none was built, or its completion is gone) must not leave
    // the caller waiting.
    context_->cancelRequest(ASExtensionErrorCode::userCanceled);
}

} // namespace keyvane::ext
