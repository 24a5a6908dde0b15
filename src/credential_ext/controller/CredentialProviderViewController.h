#pragma once

// The extension's entry: one controller per process, one store per request.
//
// How a host uses it (on the main thread, with the main executor running; an entry called
// from another thread stops the process):
//   1. Make the controller with the main executor and the context that takes the request's one
//      answer, and a presentRootView hook that shows the window of the kind given (passkey
//      registration, or the passkey choice for both sign-in kinds).
//   2. Call the entry of the request that arrived: prepareInterfaceForPasskeyRegistration,
//      prepareCredentialListForServiceIdentifiers, prepareInterfaceToProvideCredentialForRequest
//      or provideCredentialWithoutUserInteractionForRequest. The entry builds the request's
//      object store, its store and middlewares, then calls presentRootView; a request that is
//      not served (without user interaction), or whose object store cannot be opened, is
//      answered cancelled at once and shows nothing.
//   3. The window reads and drives the request through store() (its login sheet through
//      makeLoginPort()); its appearance sends appLaunched, closing it sends cancelRequest.
//   4. The request is over once isAnswered(): the context has had its one answer (a
//      registration, an assertion or a cancellation); any later answer is dropped here.
//   5. A registration may still be running when the request is answered cancelled: it then
//      takes the passkey it wrote off the token again. Before the process ends, the host waits
//      (bounded) while isRegistrationInFlight(). A cancellation that comes after the ceremony
//      has committed its passkey is answered with that registration instead.

#include "credential_ext/middlewares/RegistrationOutcome.h"
#include "credential_ext/platform/AuthenticationServices.h"
#include "credential_ext/state/AppAction.h"
#include "credential_ext/state/AppReducer.h"
#include "credential_ext/state/AppState.h"
#include "flowkeep/MainExecutor.h"
#include "flowkeep/Store.h"
#include "shared/passkeys/PasskeyManagerProtocol.h"
#include "shared/viewmodels/LoginStorePort.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace keyvane {
class ModelContainer;
}

namespace keyvane::ext {

using ExtStore = flowkeep::Store<AppState, AppAction>;

class CredentialProviderViewController {
public:
    enum class RootViewKind { registration, authentication };
    struct RootViewSize {
        int width = 0;
        int height = 0;
    };
    // The window's size for its kind, in logical pixels.
    static RootViewSize frameOf(RootViewKind kind);

    using PresentRootView = std::function<void(RootViewKind)>;
    // Opens the request's object store; throws when it cannot. The default opens the one in
    // the group directory.
    using ContainerFactory = std::function<std::shared_ptr<const ModelContainer>()>;

    // Without a passkey manager, the extension's own (it generates keys and signs) on the
    // registry's PKCS#11 manager, made once for the controller's life.
    CredentialProviderViewController(flowkeep::MainExecutor& executor,
                                     std::shared_ptr<ASCredentialProviderExtensionContext> context,
                                     PresentRootView presentRootView = {}, ContainerFactory openContainer = {},
                                     std::shared_ptr<PasskeyManagerProtocol> passkeyManager = nullptr);
    ~CredentialProviderViewController();
    CredentialProviderViewController(const CredentialProviderViewController&) = delete;
    CredentialProviderViewController& operator=(const CredentialProviderViewController&) = delete;

    void prepareInterfaceForPasskeyRegistration(const ASPasskeyCredentialRequest& request);
    void prepareCredentialListForServiceIdentifiers(const std::vector<ASCredentialServiceIdentifier>& serviceIdentifiers,
                                                    const ASPasskeyCredentialRequestParameters& requestParameters);
    // Also sends startProvidingPasskey, which chooses the named passkey.
    void prepareInterfaceToProvideCredentialForRequest(const ASPasskeyCredentialRequest& request);
    // Always cancelled with userInteractionRequired: the extension never answers without its
    // window.
    void provideCredentialWithoutUserInteractionForRequest(const ASPasskeyCredentialRequest& request);

    // The latest request's store and window kind; none before the first accepted request.
    ExtStore* store() const { return store_.get(); }
    std::optional<RootViewKind> rootViewKind() const { return rootViewKind_; }
    // The login sheet's port over the latest store (which must exist).
    std::unique_ptr<views::LoginStorePort> makeLoginPort() const;

    // Whether the request has had its answer.
    bool isAnswered() const;
    // Whether a registration ceremony still runs (or cleans up after a cancellation).
    bool isRegistrationInFlight() const;

private:
    class AnswerOnce;
    enum class RequestKind { registration, credentialList, onePasskey };

    // Builds the request's store inside a dependency scope bound to a new object store, then
    // presents the window. False (after answering cancelled) when the object store fails.
    bool start(AppState initialState, RequestKind kind);

    flowkeep::MainExecutor& executor_;
    std::shared_ptr<RegistrationOutcome> outcome_;
    std::shared_ptr<AnswerOnce> context_;
    PresentRootView presentRootView_;
    ContainerFactory openContainer_;
    std::shared_ptr<PasskeyManagerProtocol> passkeyManager_;
    std::unique_ptr<ExtStore> store_;
    std::optional<RootViewKind> rootViewKind_;
};

} // namespace keyvane::ext
