#pragma once

#include "credential_ext/platform/AuthenticationServices.h"

#include <mutex>
#include <optional>

namespace keyvane::ext {

// Settles, once, whether a registration ceremony's passkey or the user's cancellation answers
// the request, so that the token never keeps a passkey the site did not receive.
//
// The ceremony commits its passkey just before it hands it over. A cancellation that comes
// first makes the ceremony stop (before it writes anything) or take what it wrote off the token
// again; a cancellation that comes after the commit is answered with the committed
// registration instead, which is already on its way to the request. Thread-safe: the ceremony
// runs on the pool, cancellations arrive on the main thread.
class RegistrationOutcome {
public:
    // A ceremony starts; false (and nothing starts) when the request was cancelled already.
    bool begin();
    // The ceremony has ended, its clean-up done.
    void end();
    // Whether a ceremony runs (from begin to end).
    bool isInFlight() const;

    bool isCancelled() const;
    // The ceremony's passkey is ready to be handed over: true, and the registration answers
    // the request from now on, unless the request was cancelled.
    bool commit(const ASPasskeyRegistrationCredential& credential);
    // The request is being answered cancelled: the committed registration to answer instead,
    // if there is one.
    std::optional<ASPasskeyRegistrationCredential> cancel();

private:
    mutable std::mutex mutex_;
    int inFlight_ = 0;
    bool cancelled_ = false;
    std::optional<ASPasskeyRegistrationCredential> committed_;
};

} // namespace keyvane::ext
