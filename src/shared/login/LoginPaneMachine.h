#pragma once

#include "shared/model/TokenInfo.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/MasterPasswordState.h"
#include "shared/redux/TokenMonitoringEvent.h"

#include <optional>
#include <string>
#include <vector>

namespace keyvane {

// The login window's pane machine, shared by the reducers of both deliverables: which pane
// shows, given the token events, the master-password state and whether the pending login
// must happen on one particular token. Each reducer keeps its own purposes and tells the
// machine only what it needs of them.
struct LoginPaneContext {
    MasterPasswordState masterPasswordState = MasterPasswordState::disabled;
    // The serial of the token the pending login must happen on (passkeys on it are to be
    // deleted, or one of its passkeys is to sign); none when any token will do.
    std::optional<std::string> awaitedSerial;
    // The stored token records, searched for the awaited token when nothing is connected.
    const std::vector<TokenInfo>* storedTokens = nullptr;
};

class LoginPaneMachine {
public:
    using Pane = LoginDisplayViewState;

    // The pane that logs in to a token: PIN entry, or master-password entry when a master
    // password guards the cached PINs.
    static Pane unlockPane(MasterPasswordState masterPasswordState, const TokenInfo& token);

    // The token a pane is for (the awaited token, or the one being unlocked), or null.
    static const TokenInfo* token(const Pane& pane);
    // Whether two panes are one pane: the same case for the same token. A pane for another
    // token is another pane, so nothing typed or started for one token carries over.
    static bool isSamePane(const Pane& a, const Pane& b);

    // The first stored token with the serial, or null.
    static const TokenInfo* storedToken(const std::vector<TokenInfo>& tokens, const std::string& serial);

    // Merges the events into the connected tokens, then moves the pane and the auto-selection
    // flag.
    static void receiveTokenEvents(LoginViewState& login, const std::vector<TokenMonitoringEvent>& events,
                                   const LoginPaneContext& context);

    // Without a master password there is nothing to unlock: the master-password pane becomes
    // the PIN pane for the same token. The reverse never happens by itself.
    static void masterPasswordStateChanged(LoginViewState& login, MasterPasswordState state);

    // A new monitoring run: its lists are the ones taken, and one token may be chosen again
    // without asking.
    static void startMonitoring(LoginViewState& login);
    // The run ends; the pane stays, since the window that shows it is going away.
    static void stopMonitoring(LoginViewState& login);
};

} // namespace keyvane
