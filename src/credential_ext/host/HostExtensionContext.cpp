#include "credential_ext/host/HostExtensionContext.h"

#include <cerrno>
#include <unistd.h>

namespace keyvane::ext {

HostExtensionContext::HostExtensionContext(std::function<void(const std::string&)> write,
                                           std::function<void()> answered)
    : write_(std::move(write)), answered_(std::move(answered)) {}

void HostExtensionContext::completeRegistrationRequest(const ASPasskeyRegistrationCredential& credential) {
    complete(credential);
}

void HostExtensionContext::completeAssertionRequest(const ASPasskeyAssertionCredential& credential) {
    complete(credential);
}

void HostExtensionContext::cancelRequest(ASExtensionErrorCode code) { complete(code); }

bool HostExtensionContext::isAnswered() const {
    std::lock_guard lock(mutex_);
    return answer_.has_value();
}

std::optional<HostAnswer> HostExtensionContext::answer() const {
    std::lock_guard lock(mutex_);
    return answer_;
}

void HostExtensionContext::complete(HostAnswer answer) {
    {
        // The write happens under the lock, so a second answer racing the first can neither
        // overtake it nor interleave with its bytes.
        std::lock_guard lock(mutex_);
        if (answer_) {
            return;
        }
        answer_ = answer;
        if (write_) {
            write_(writeHostAnswer(answer));
        }
    }
    if (answered_) {
        answered_();
    }
}

bool writeAll(int fileDescriptor, const std::string& line) {
    std::size_t written = 0;
    while (written < line.size()) {
        const auto result = ::write(fileDescriptor, line.data() + written, line.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(result);
    }
    return true;
}

} // namespace keyvane::ext
