#pragma once

#include <cstdint>
#include <optional>
#include <ostream>

namespace keyvane {

// The onboarding step reached; stored in the preferences as its raw value.
enum class OnboardingStatus : std::int64_t {
    enableExtension = 0,
    payAttention = 1,
    masterPassword = 2,
    biometry = 3,
    completed = 4,
};

inline std::int64_t rawValue(OnboardingStatus status) { return static_cast<std::int64_t>(status); }

// The status of a stored raw value; nothing for a value that names no step.
inline std::optional<OnboardingStatus> onboardingStatusFromRawValue(std::int64_t raw) {
    if (raw < rawValue(OnboardingStatus::enableExtension) || raw > rawValue(OnboardingStatus::completed)) {
        return std::nullopt;
    }
    return static_cast<OnboardingStatus>(raw);
}

inline std::ostream& operator<<(std::ostream& out, OnboardingStatus status) {
    switch (status) {
    case OnboardingStatus::enableExtension:
        return out << "enableExtension";
    case OnboardingStatus::payAttention:
        return out << "payAttention";
    case OnboardingStatus::masterPassword:
        return out << "masterPassword";
    case OnboardingStatus::biometry:
        return out << "biometry";
    case OnboardingStatus::completed:
        return out << "completed";
    }
    return out << "OnboardingStatus(" << rawValue(status) << ")";
}

} // namespace keyvane
