#include "credential_ext/controller/CredentialProviderViewController.h"

#include "credential_ext/middlewares/ExtensionMiddlewares.h"
#include "credential_ext/passkey_manager/ExtensionPasskeyManager.h"
#include "shared/dependencies/DependencyRegistry.h"
#include "shared/errors/Error.h"
#include "shared/storage/CredentialsStorage.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/PinCodeStorage.h"
#include "shared/storage/TokenStorage.h"
#include "shared/viewmodels/StoreLoginPort.h"

#include <QDebug>

#include <atomic>

namespace keyvane::ext {

// Hands the host's context the first answer only: a request ends once, whatever sends a
// second completion or cancellation later.
class CredentialProviderViewController::AnswerOnce final : public ASCredentialProviderExtensionContext {
public:
    AnswerOnce(std::shared_ptr<ASCredentialProviderExtensionContext> context, std::shared_ptr<RegistrationOutcome> outcome)
        : context_(std::move(context)), outcome_(std::move(outcome)) {}

    void completeRegistrationRequest(const ASPasskeyRegistrationCredential& credential) override {
        if (take()) {
            context_->completeRegistrationRequest(credential);
        }
    }
    void completeAssertionRequest(const ASPasskeyAssertionCredential& credential) override {
        if (take()) {
            context_->completeAssertionRequest(credential);
        }
    }
    void cancelRequest(ASExtensionErrorCode code) override {
        // A registration that has committed its passkey answers in place of the cancellation:
        // its answer is on its way, and the token keeps the passkey.
        if (const auto committed = outcome_->cancel()) {
            completeRegistrationRequest(*committed);
            return;
        }
        if (take()) {
            context_->cancelRequest(code);
        }
    }

    bool answered() const { return answered_.load(); }

private:
    bool take() { return !answered_.exchange(true); }

    std::shared_ptr<ASCredentialProviderExtensionContext> context_;
    std::shared_ptr<RegistrationOutcome> outcome_;
    std::atomic<bool> answered_{false};
};

namespace {

// The store and everything the entry builds belong to the main thread; an entry called from
// elsewhere is a fault of the host, not a request to answer.
void requireMainThread(const flowkeep::MainExecutor& executor, const char* entry) {
    if (!executor.isMainThread()) {
        qFatal("%s called off the main thread", entry);
    }
}

} // namespace

CredentialProviderViewController::RootViewSize CredentialProviderViewController::frameOf(RootViewKind kind) {
    return kind == RootViewKind::registration ? RootViewSize{352, 384} : RootViewSize{464, 512};
}

CredentialProviderViewController::CredentialProviderViewController(
    flowkeep::MainExecutor& executor, std::shared_ptr<ASCredentialProviderExtensionContext> context,
    PresentRootView presentRootView, ContainerFactory openContainer, std::shared_ptr<PasskeyManagerProtocol> passkeyManager)
    : executor_(executor), outcome_(std::make_shared<RegistrationOutcome>()),
      context_(std::make_shared<AnswerOnce>(std::move(context), outcome_)),
      presentRootView_(std::move(presentRootView)), openContainer_(std::move(openContainer)),
      passkeyManager_(std::move(passkeyManager)) {
    if (!openContainer_) {
        openContainer_ = [] { return std::make_shared<const ModelContainer>(); };
    }
}

CredentialProviderViewController::~CredentialProviderViewController() = default;

bool CredentialProviderViewController::isAnswered() const { return context_->answered(); }

bool CredentialProviderViewController::isRegistrationInFlight() const { return outcome_->isInFlight(); }

std::unique_ptr<views::LoginStorePort> CredentialProviderViewController::makeLoginPort() const {
    return std::make_unique<views::StoreLoginPort<AppState, AppAction>>(*store_);
}

bool CredentialProviderViewController::start(AppState initialState, RequestKind kind) {
    std::shared_ptr<const ModelContainer> container;
    try {
        container = openContainer_();
    } catch (...) {
        // Nothing can be done without the records; the request must still get its answer,
        // or the caller would wait for one forever.
        qWarning().noquote() << "The object store cannot be opened:"
                             << QString::fromStdString(AnyError::fromCurrentException().description());
        context_->cancelRequest(ASExtensionErrorCode::failed);
        return false;
    }
    if (!passkeyManager_) {
        passkeyManager_ = std::make_shared<ExtensionPasskeyManager>();
    }
    // Every middleware keeps, from its construction on, the record services of this request's
    // object store.
    DependencyScope scope;
    scope.set<TokenStorageProtocol>(tokenStorage, std::make_shared<TokenStorage>(container))
        .set<PinCodeStorageProtocol>(pinCodeStorage, std::make_shared<PinCodeStorage>(container))
        .set<CredentialsStorageProtocol>(credentialsStorage, std::make_shared<CredentialsStorage>(container))
        .set<PasskeyManagerProtocol>(passkeyManager, passkeyManager_);
    ExtMiddlewareList middlewares;
    switch (kind) {
    case RequestKind::registration:
        middlewares = makeRegistrationMiddlewares(executor_, context_, outcome_);
        break;
    case RequestKind::credentialList:
        middlewares = makeCredentialListMiddlewares(executor_, context_, initialState.authState);
        break;
    case RequestKind::onePasskey:
        middlewares = makeProvideCredentialMiddlewares(executor_, context_, initialState.authState);
        break;
    }
    const auto view = kind == RequestKind::registration ? RootViewKind::registration : RootViewKind::authentication;
    // The previous request's store goes first: its forwarding ends before the new one starts.
    store_.reset();
    store_ = std::make_unique<ExtStore>(std::move(initialState), AppReducer{}, std::move(middlewares), executor_);
    rootViewKind_ = view;
    if (presentRootView_) {
        presentRootView_(view);
    }
    return true;
}

void CredentialProviderViewController::prepareInterfaceForPasskeyRegistration(const ASPasskeyCredentialRequest& request) {
    requireMainThread(executor_, "prepareInterfaceForPasskeyRegistration");
    const auto& identity = request.credentialIdentity;
    AppState state;
    state.registrationState = RegistrationState{identity.userName, request.clientDataHash, identity.userHandle,
                                                identity.relyingPartyIdentifier};
    // The registration view sends appLaunched when it shows.
    start(std::move(state), RequestKind::registration);
}

void CredentialProviderViewController::prepareCredentialListForServiceIdentifiers(
    const std::vector<ASCredentialServiceIdentifier>& serviceIdentifiers,
    const ASPasskeyCredentialRequestParameters& requestParameters) {
    requireMainThread(executor_, "prepareCredentialListForServiceIdentifiers");
    AppState state;
    state.authState = AuthState{serviceIdentifiers, requestParameters.relyingPartyIdentifier,
                                requestParameters.clientDataHash, requestParameters.allowedCredentials};
    // The passkey choice sends appLaunched when it shows, which also loads the lists.
    start(std::move(state), RequestKind::credentialList);
}

void CredentialProviderViewController::prepareInterfaceToProvideCredentialForRequest(
    const ASPasskeyCredentialRequest& request) {
    requireMainThread(executor_, "prepareInterfaceToProvideCredentialForRequest");
    const auto& identity = request.credentialIdentity;
    AppState state;
    // The allowed credentials hold the named passkey's credential identifier when the request
    // gives one, so the ceremony can refuse any other passkey.
    std::vector<Bytes> allowed;
    if (!identity.credentialID.empty()) {
        allowed.push_back(identity.credentialID);
    }
    state.authState = AuthState{{identity.serviceIdentifier}, identity.relyingPartyIdentifier, request.clientDataHash,
                                std::move(allowed)};
    if (start(std::move(state), RequestKind::onePasskey)) {
        store_->send(AppAction::startProvidingPasskey{identity.userHandle, identity.relyingPartyIdentifier});
    }
}

void CredentialProviderViewController::provideCredentialWithoutUserInteractionForRequest(
    const ASPasskeyCredentialRequest&) {
    requireMainThread(executor_, "provideCredentialWithoutUserInteractionForRequest");
    context_->cancelRequest(ASExtensionErrorCode::userInteractionRequired);
}

} // namespace keyvane::ext
