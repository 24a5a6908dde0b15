#pragma once

// Where the host program's one answer goes: the extension context that the controller and its
// completion middleware are given. The first answer is written; any later one is ignored,
// whoever sends it (the ceremony, the window closing, a termination signal).

#include "credential_ext/host/HostAnswer.h"
#include "credential_ext/platform/AuthenticationServices.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace keyvane::ext {

class HostExtensionContext final : public ASCredentialProviderExtensionContext {
public:
    // `write` receives the answer's line once; `answered` runs after it, outside the lock
    // (the program ends its event loop there).
    explicit HostExtensionContext(std::function<void(const std::string&)> write,
                                  std::function<void()> answered = {});

    void completeRegistrationRequest(const ASPasskeyRegistrationCredential& credential) override;
    void completeAssertionRequest(const ASPasskeyAssertionCredential& credential) override;
    void cancelRequest(ASExtensionErrorCode code) override;

    bool isAnswered() const;
    // The answer given, if any.
    std::optional<HostAnswer> answer() const;

private:
    void complete(HostAnswer answer);

    std::function<void(const std::string&)> write_;
    std::function<void()> answered_;
    mutable std::mutex mutex_;
    std::optional<HostAnswer> answer_;
};

// Writes all of `line` to a file descriptor (standard output in the program), going on after
// interrupted or partial writes; false when the descriptor refuses it.
bool writeAll(int fileDescriptor, const std::string& line);

} // namespace keyvane::ext
