#include "credential_ext/middlewares/RegistrationOutcome.h"

namespace keyvane::ext {

bool RegistrationOutcome::begin() {
    std::lock_guard lock(mutex_);
    if (cancelled_) {
        return false;
    }
    ++inFlight_;
    return true;
}

void RegistrationOutcome::end() {
    std::lock_guard lock(mutex_);
    --inFlight_;
}

bool RegistrationOutcome::isInFlight() const {
    std::lock_guard lock(mutex_);
    return inFlight_ > 0;
}

bool RegistrationOutcome::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool RegistrationOutcome::commit(const ASPasskeyRegistrationCredential& credential) {
    std::lock_guard lock(mutex_);
    if (cancelled_) {
        return false;
    }
    committed_ = credential;
    return true;
}

std::optional<ASPasskeyRegistrationCredential> RegistrationOutcome::cancel() {
    std::lock_guard lock(mutex_);
    if (committed_) {
        return committed_;
    }
    cancelled_ = true;
    return std::nullopt;
}

} // namespace keyvane::ext
