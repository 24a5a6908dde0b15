#pragma once

#include "flowkeep/Subscription.h"
#include "shared/model/PasskeyCredentials.h"
#include "shared/model/TokenInfo.h"
#include "shared/redux/AppAlert.h"
#include "shared/viewmodels/LoginStorePort.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace keyvane::ext::views {

// What the login sheet of a request is open for.
enum class LoginPurposeKind { none, auth, completeRegistration, justSync };

// What the extension's own views read of a request's state.
struct ExtensionSlice {
    std::optional<AppAlert> alert;
    LoginPurposeKind purpose = LoginPurposeKind::none;
    std::vector<TokenInfo> tokens;
    // Only the stored passkeys that may answer the request (its relying party, and its allowed
    // credentials when it names some): a passkey of another site is never offered.
    std::vector<PasskeyCredentials> credentials;
    // The passkey a registration request asks for, for display.
    bool hasRegistration = false;
    std::string registrationUserName;
    std::string registrationRelyingParty;

    bool operator==(const ExtensionSlice&) const = default;
};

// The extension views' side of a request's store: the slice they read and the actions they
// send, named as the extension's actions are. StoreExtensionPort implements it over the
// store; tests implement it with a recorder.
class ExtensionStorePort {
public:
    virtual ~ExtensionStorePort() = default;

    virtual ExtensionSlice slice() const = 0;
    // Called at once with the slice, then at each change of it.
    virtual flowkeep::Subscription observe(std::function<void(const ExtensionSlice&)> onChange) = 0;
    // The login sheet's port over the same store.
    virtual keyvane::views::LoginStorePort& loginPort() = 0;

    virtual void appLaunched() = 0;
    virtual void cancelRequest() = 0;
    virtual void dismissLoginView() = 0;
    virtual void hideAlert() = 0;
    virtual void syncingButtonPressed() = 0;
    virtual void credForAuthenticationSelected(const PasskeyCredentials& credential) = 0;
    virtual void completeRegistrationButtonIsPressed() = 0;
    // The login sheet unlocked the token with this serial: the store is sent what the login
    // was for, by the purpose its state records (the registration on that token, the sign-in
    // with the chosen passkey when the token is that passkey's, the refresh of the token's
    // passkeys), or nothing.
    virtual void loginSucceeded(const std::string& serial) = 0;
};

} // namespace keyvane::ext::views
