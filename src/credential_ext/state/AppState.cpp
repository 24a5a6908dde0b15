#include "credential_ext/state/AppState.h"

#include "credential_ext/state/CanonicalText.h"
#include "shared/redux/StateDescription.h"

#include <algorithm>

namespace keyvane::ext {

bool AuthState::admits(const PasskeyCredentials& passkey) const {
    if (!canonicallyEqual(passkey.relyingPartyId, relyingPartyId)) {
        return false;
    }
    return allowedCredentials.empty() ||
           std::find(allowedCredentials.begin(), allowedCredentials.end(), passkey.keyId) != allowedCredentials.end();
}

std::vector<PasskeyCredentials> passkeysForRequest(const AppState& state) {
    std::vector<PasskeyCredentials> admitted;
    for (const auto& passkey : state.credentialListState.credentials) {
        if (state.authState.admits(passkey)) {
            admitted.push_back(passkey);
        }
    }
    return admitted;
}

std::ostream& operator<<(std::ostream& out, const AppState& state) {
    const auto& navigation = state.navigationState;
    out << "AppState{alert: ";
    if (navigation.alert) {
        out << *navigation.alert;
    } else {
        out << "none";
    }
    out << ", loginPurpose: ";
    if (navigation.loginPurpose) {
        out << *navigation.loginPurpose;
    } else {
        out << "none";
    }
    out << ", login: " << state.loginViewState << ", storedTokens: [";
    const char* separator = "";
    for (const auto& token : state.credentialListState.tokens) {
        out << separator << describeToken(token);
        separator = ", ";
    }
    out << "], passkeys: " << state.credentialListState.credentials.size() << ", request: ";
    if (state.registrationState) {
        out << "registration(rp: " << state.registrationState->relyingPartyId
            << ", user: " << state.registrationState->username << ")";
    } else {
        out << "sign-in(rp: " << state.authState.relyingPartyId
            << ", allowed: " << state.authState.allowedCredentials.size() << ")";
    }
    return out << ", hasPins: " << (state.pinCacheState.hasPins ? "true" : "false")
               << ", masterPassword: " << state.masterPasswordState << "}";
}

} // namespace keyvane::ext
