#include "shared/identities/CredentialIdentityStore.h"

#include "shared/identities/CredentialIdentityStoreError.h"

#include <exception>

namespace keyvane {

std::shared_ptr<CredentialIdentityStoreProtocol> makeLiveCredentialIdentityStore() {
    return std::make_shared<CredentialIdentityStore>();
}

std::shared_ptr<AutofillExtensionHelperProtocol> makeLiveAutofillExtensionHelper() {
    return std::make_shared<AutofillExtensionHelper>();
}

void CredentialIdentityStore::update(const CurrentCredentials& current) {
    std::exception_ptr currentFailed;
    try {
        file_.modify([&](IdentityFileContent& content) {
            if (!content.extensionEnabled) {
                return false;
            }
            std::vector<PasskeyCredentials> credentials;
            try {
                credentials = current();
            } catch (...) {
                currentFailed = std::current_exception();
                throw;
            }
            content.identities.clear();
            for (const auto& credential : credentials) {
                content.identities.push_back(PublishedIdentity{credential.relyingPartyId, credential.username,
                                                               credential.keyId, credential.userHandle,
                                                               std::nullopt});
            }
            return true;
        });
    } catch (...) {
        if (currentFailed) {
            std::rethrow_exception(currentFailed);
        }
        throw CredentialIdentityStoreError::general("update(_:)", AnyError::fromCurrentException());
    }
}

bool AutofillExtensionHelper::isEnabled() { return file_.read().extensionEnabled; }

void AutofillExtensionHelper::setConfirmationHandler(ConfirmationHandler handler) {
    std::lock_guard guard(mutex_);
    confirm_ = std::move(handler);
}

bool AutofillExtensionHelper::requestToTurnOnExtension() {
    if (isEnabled()) {
        return true;
    }
    ConfirmationHandler confirm;
    {
        std::lock_guard guard(mutex_);
        confirm = confirm_;
    }
    if (!confirm || !confirm()) {
        return false;
    }
    try {
        setEnabled(true);
    } catch (const std::exception&) {
        return false;
    }
    return isEnabled();
}

void AutofillExtensionHelper::setEnabled(bool enabled) {
    file_.modify([&](IdentityFileContent& content) {
        content.extensionEnabled = enabled;
        if (!enabled) {
            content.identities.clear();
        }
        return true;
    });
}

} // namespace keyvane
