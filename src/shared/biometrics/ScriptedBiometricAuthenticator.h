#pragma once

#include "shared/biometrics/BiometricAuthenticator.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace keyvane {

// A biometric backend whose answers a test scripts: whether the policy is available, what
// each prompt answers (success when nothing is queued), and the reasons it was shown with.
// Only tests build it; the product has no switch that installs it.
class ScriptedBiometricAuthenticator final : public BiometricAuthenticatorProtocol {
public:
    void setAvailability(BiometricPolicyCheck check) {
        std::lock_guard guard(mutex_);
        availability_ = std::move(check);
    }
    void setBiometryType(BiometryType type) {
        std::lock_guard guard(mutex_);
        type_ = type;
    }
    void queuePromptAnswer(std::optional<BiometricFailure> answer) {
        std::lock_guard guard(mutex_);
        answers_.push_back(std::move(answer));
    }
    std::vector<std::string> promptReasons() const {
        std::lock_guard guard(mutex_);
        return reasons_;
    }
    std::vector<std::string> fallbackTitles() const {
        std::lock_guard guard(mutex_);
        return fallbackTitles_;
    }

    BiometricPolicyCheck canEvaluatePolicy() override {
        std::lock_guard guard(mutex_);
        return availability_;
    }
    std::optional<BiometricFailure> evaluatePolicy(const std::string& localizedReason,
                                                   const std::string& fallbackTitle) override {
        std::lock_guard guard(mutex_);
        reasons_.push_back(localizedReason);
        fallbackTitles_.push_back(fallbackTitle);
        if (answers_.empty()) {
            return std::nullopt;
        }
        auto answer = std::move(answers_.front());
        answers_.pop_front();
        return answer;
    }
    BiometryType biometryType() override {
        std::lock_guard guard(mutex_);
        return type_;
    }

private:
    mutable std::mutex mutex_;
    BiometricPolicyCheck availability_{true, std::nullopt};
    BiometryType type_ = BiometryType::touchID;
    std::deque<std::optional<BiometricFailure>> answers_;
    std::vector<std::string> reasons_;
    std::vector<std::string> fallbackTitles_;
};

} // namespace keyvane
