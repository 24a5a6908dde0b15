#pragma once

#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/identities/IdentityFile.h"

#include <functional>
#include <mutex>

namespace keyvane {

// Publishes to the identity file of the group directory.
class CredentialIdentityStore final : public CredentialIdentityStoreProtocol {
public:
    explicit CredentialIdentityStore(std::optional<std::filesystem::path> directory = std::nullopt)
        : file_(std::move(directory)) {}

    void update(const CurrentCredentials& current) override;

    // What is published now.
    std::vector<PublishedIdentity> publishedIdentities() const { return file_.read().identities; }

private:
    IdentityFile file_;
};

// The extension-enabled flag in the identity file. Turning it on needs the user's consent,
// asked through the confirmation handler that the program installs (a dialog); without one
// the request answers false.
class AutofillExtensionHelper final : public AutofillExtensionHelperProtocol {
public:
    using ConfirmationHandler = std::function<bool()>;

    explicit AutofillExtensionHelper(std::optional<std::filesystem::path> directory = std::nullopt)
        : file_(std::move(directory)) {}

    bool isEnabled() override;
    bool requestToTurnOnExtension() override;

    void setConfirmationHandler(ConfirmationHandler handler);
    // The settings switch: turning the extension off withdraws its published identities.
    void setEnabled(bool enabled);

private:
    IdentityFile file_;
    std::mutex mutex_;
    ConfirmationHandler confirm_;
};

} // namespace keyvane
