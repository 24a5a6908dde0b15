#pragma once

#include "credential_ext/platform/AuthenticationServices.h"

#include <mutex>
#include <optional>
#include <variant>
#include <vector>

namespace keyvane::testing {

// An extension context that keeps every answer it is handed, in order.
class RecordingContext : public ext::ASCredentialProviderExtensionContext {
public:
    using Answer = std::variant<ext::ASPasskeyRegistrationCredential, ext::ASPasskeyAssertionCredential,
                                ext::ASExtensionErrorCode>;

    void completeRegistrationRequest(const ext::ASPasskeyRegistrationCredential& credential) override {
        record(credential);
    }
    void completeAssertionRequest(const ext::ASPasskeyAssertionCredential& credential) override { record(credential); }
    void cancelRequest(ext::ASExtensionErrorCode code) override { record(code); }

    std::vector<Answer> answers() const {
        std::lock_guard lock(mutex_);
        return answers_;
    }
    template <class T>
    std::optional<T> only() const {
        std::lock_guard lock(mutex_);
        if (answers_.size() != 1 || !std::holds_alternative<T>(answers_.front())) {
            return std::nullopt;
        }
        return std::get<T>(answers_.front());
    }

private:
    void record(Answer answer) {
        std::lock_guard lock(mutex_);
        answers_.push_back(std::move(answer));
    }

    mutable std::mutex mutex_;
    std::vector<Answer> answers_;
};

} // namespace keyvane::testing
