#pragma once

#include "credential_ext/controller/CredentialProviderViewController.h"
#include "credential_ext/host/HostExtensionContext.h"
#include "credential_ext/host/HostRequest.h"
#include "credential_ext/viewmodels/ExtensionRootModel.h"
#include "credential_ext/viewmodels/ExtensionStorePort.h"

#include <QObject>
#include <QQmlApplicationEngine>

#include <chrono>
#include <memory>

namespace keyvane::ext {

// Stands where a system's extension host stands, for one request: hands the request to the
// controller's entry, shows the window of the kind the controller asks for, and ends the
// request as the user's cancellation when the window closes or the process is told to stop.
// answered() is emitted once, after the one answer has been written and, when the request was
// cancelled while a registration ran, once that registration has taken its passkey off the
// token again (waited for at most settleInterval * settleChecks on the main executor's clock).
class ExtensionHost : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject* rootModel READ rootModel CONSTANT)
    Q_PROPERTY(bool registration READ registration CONSTANT)

public:
    // Answers go to `write` (standard output in the program); the engine must have the
    // extension's views installed.
    ExtensionHost(flowkeep::MainExecutor& executor, QQmlEngine* engine,
                  std::function<void(const std::string&)> write, QObject* parent = nullptr);
    ~ExtensionHost() override;

    // Runs the request's entry; a request that shows no window is answered before it returns.
    void start(const HostRequest& request);

    QObject* rootModel() const { return rootModel_.get(); }
    bool registration() const { return registration_; }
    bool isAnswered() const { return context_->isAnswered(); }
    HostExtensionContext& context() { return *context_; }
    CredentialProviderViewController& controller() { return *controller_; }
    // The window of the request, once shown.
    QObject* window() const { return window_; }

    // The user closed the window, or the process was told to stop: the request ends as
    // cancelled by the user, through the store when it can, directly otherwise.
    Q_INVOKABLE void cancelByUser();

    static constexpr std::chrono::milliseconds settleInterval{50};
    static constexpr int settleChecks = 100;

signals:
    void answered();

private:
    void present(CredentialProviderViewController::RootViewKind kind);
    void announceWhenSettled(int checksLeft);

    flowkeep::MainExecutor& executor_;
    QQmlEngine* engine_;
    std::shared_ptr<HostExtensionContext> context_;
    std::unique_ptr<CredentialProviderViewController> controller_;
    std::unique_ptr<views::ExtensionStorePort> port_;
    std::unique_ptr<views::ExtensionRootModel> rootModel_;
    bool registration_ = false;
    QObject* window_ = nullptr;
};

} // namespace keyvane::ext
