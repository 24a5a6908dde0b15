#pragma once

#include "shared/biometrics/BiometricAuthenticator.h"
#include "shared/biometrics/BiometricPrompt.h"

#include <chrono>
#include <memory>
#include <mutex>

class QThread;

namespace keyvane {

// The biometric backend on fprintd, the fingerprint service of Linux desktops, on the system
// bus (DBUS_SYSTEM_BUS_ADDRESS, else the standard socket). Every call opens a bus connection
// of its own and closes it, so a restarted service or bus is found again; a missing bus,
// service or device answers as a computer without biometry.
//
// evaluatePolicy claims the default device for the current user and verifies any enrolled
// finger. It blocks its caller until a finger matches, fails to match verifyAttempts times,
// the prompt is cancelled, the service leaves the bus, or no finger comes within the time-out;
// it refuses to run on the GUI thread. Once the device is claimed, every path stops the
// verification and releases it.
class FprintdAuthenticator final : public BiometricAuthenticatorProtocol {
public:
    explicit FprintdAuthenticator(std::shared_ptr<BiometricPromptProtocol> prompt = nullptr,
                                  std::chrono::milliseconds fingerTimeout = std::chrono::seconds(30));
    ~FprintdAuthenticator() override;
    FprintdAuthenticator(const FprintdAuthenticator&) = delete;
    FprintdAuthenticator& operator=(const FprintdAuthenticator&) = delete;

    BiometricPolicyCheck canEvaluatePolicy() override;
    std::optional<BiometricFailure> evaluatePolicy(const std::string& localizedReason,
                                                   const std::string& fallbackTitle) override;
    // A fingerprint sensor (asked only once the policy can be evaluated).
    BiometryType biometryType() override { return BiometryType::touchID; }

    // Scans that may fail to match before the check gives up, as the PAM module does.
    static constexpr int verifyAttempts = 3;

private:
    // The thread on which the service's signals arrive (they need an event loop, which the
    // caller's thread need not have); started by the first check.
    QThread& signalThread();

    std::shared_ptr<BiometricPromptProtocol> prompt_;
    std::chrono::milliseconds fingerTimeout_;
    std::once_flag signalThreadStarted_;
    std::unique_ptr<QThread> signalThread_;
};

} // namespace keyvane
