#pragma once

#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/biometrics/StoredPinState.h"
#include "shared/errors/CaseEnum.h"
#include "shared/model/TokenInfo.h"
#include "shared/redux/TokenInfoSet.h"
#include "shared/redux/TokenMonitoringEvent.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <ostream>

namespace keyvane {

namespace login_display_view_state {
struct waitForTouch {
    std::uint64_t seconds = 0;
    bool operator==(const waitForTouch&) const = default;
};
struct waitForSpecificToken {
    TokenInfo token;
    bool operator==(const waitForSpecificToken&) const = default;
};
struct enterPin {
    TokenInfo token;
    bool operator==(const enterPin&) const = default;
};
struct enterMasterPassword {
    TokenInfo token;
    bool operator==(const enterMasterPassword&) const = default;
};
struct waitForAnyToken {
    bool operator==(const waitForAnyToken&) const = default;
};
struct tokenList {
    bool operator==(const tokenList&) const = default;
};
} // namespace login_display_view_state

// The pane the login window shows.
class LoginDisplayViewState final
    : public CaseEnum<login_display_view_state::waitForTouch, login_display_view_state::waitForSpecificToken,
                      login_display_view_state::enterPin, login_display_view_state::enterMasterPassword,
                      login_display_view_state::waitForAnyToken, login_display_view_state::tokenList> {
public:
    using CaseEnum::CaseEnum;
    using waitForTouch = login_display_view_state::waitForTouch;
    using waitForSpecificToken = login_display_view_state::waitForSpecificToken;
    using enterPin = login_display_view_state::enterPin;
    using enterMasterPassword = login_display_view_state::enterMasterPassword;
    using waitForAnyToken = login_display_view_state::waitForAnyToken;
    using tokenList = login_display_view_state::tokenList;

    friend std::ostream& operator<<(std::ostream& out, const LoginDisplayViewState& pane);
};

namespace pin_verification_status {
// A wrong PIN, with the attempts left when the token tells them (some tokens do not).
struct incorrect {
    std::optional<std::uint64_t> attemptsLeft;
    bool operator==(const incorrect&) const = default;
};
struct success {
    bool operator==(const success&) const = default;
};
struct notVerified {
    bool operator==(const notVerified&) const = default;
};
} // namespace pin_verification_status

// The outcome of the last PIN login. Equal when case and payload are equal.
class PinVerificationStatus final
    : public CaseEnum<pin_verification_status::incorrect, pin_verification_status::success,
                      pin_verification_status::notVerified> {
public:
    using CaseEnum::CaseEnum;
    using incorrect = pin_verification_status::incorrect;
    using success = pin_verification_status::success;
    using notVerified = pin_verification_status::notVerified;

    // The line under the PIN field: the attempts left when known, a plain "wrong PIN" when
    // the token does not tell them, and nothing otherwise. Looked up at each read.
    QString message() const;

    friend std::ostream& operator<<(std::ostream& out, const PinVerificationStatus& status);
};

// The outcome of the last master-password or biometric unlock in the login window.
enum class LoginAuthStatus { unknown, failed, passedByMasterPassword, passedByBiometry };

std::ostream& operator<<(std::ostream& out, LoginAuthStatus status);

// The login window's state, shared by both deliverables.
struct LoginViewState {
    LoginDisplayViewState loginDisplayViewState = LoginDisplayViewState::waitForAnyToken{};
    TokenInfoSet connectedTokens;
    PinVerificationStatus verificationStatus = PinVerificationStatus::notVerified{};
    LoginAuthStatus authStatus = LoginAuthStatus::unknown;
    std::optional<MasterPassAuthError> masterPassAuthError;
    StoredPinState storedPinState = StoredPinState::notChecked;
    // While true, a single suitable connected token is opened for login without asking.
    bool isTokenAutoSelectionActive = true;
    // The monitoring run whose token lists are taken; lists of any other run are dropped.
    TokenMonitoringRun tokenMonitoringRun = 0;
    // A login was sent and its outcome has not arrived: the views refuse a second one, which
    // would spend another of the token's PIN retries.
    bool isLoginInProgress = false;

    bool operator==(const LoginViewState&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const LoginViewState& state);
};

} // namespace keyvane
