#include "keyvane/state/AppState.h"

#include "shared/redux/StateDescription.h"

namespace keyvane::app {

const char* describeBiometry(BiometryType type) {
    switch (type) {
    case BiometryType::none:
        return "none";
    case BiometryType::touchID:
        return "touchID";
    case BiometryType::faceID:
        return "faceID";
    case BiometryType::opticID:
        return "opticID";
    }
    return "unknown";
}

std::ostream& operator<<(std::ostream& out, const AppState& state) {
    const auto& navigation = state.navigationState;
    out << "AppState{alert: ";
    if (navigation.alert) {
        out << *navigation.alert;
    } else {
        out << "none";
    }
    out << ", onboarding: ";
    if (navigation.onboardingState.onboardingStatus) {
        out << *navigation.onboardingState.onboardingStatus;
    } else {
        out << "undecided";
    }
    out << (navigation.onboardingState.isOnboardingShown ? " (shown)" : "") << ", loginPurpose: ";
    if (navigation.loginPurpose) {
        out << *navigation.loginPurpose;
    } else {
        out << "none";
    }
    out << ", showSettings: " << (navigation.showSettings ? "true" : "false")
        << ", prompt: " << (navigation.masterPassInputState.isShown ? "shown" : "hidden");
    if (navigation.masterPassInputState.error) {
        out << " (" << *navigation.masterPassInputState.error << ")";
    }
    out << ", login: " << state.loginViewState << ", storedTokens: [";
    const char* separator = "";
    for (const auto& token : state.credentialListState.tokens) {
        out << separator << describeToken(token);
        separator = ", ";
    }
    return out << "], passkeys: " << state.credentialListState.credentials.size()
               << ", hasPins: " << (state.pinCacheState.hasPins ? "true" : "false")
               << ", protection: " << state.pinCacheState.protection
               << ", biometry: " << describeBiometry(state.biometryType) << ", masterPassword: " << state.masterPasswordState << "}";
}

} // namespace keyvane::app
