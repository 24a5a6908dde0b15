#pragma once

#include "keyvane/state/AppStore.h"
#include "shared/model/PasskeyCredentials.h"
#include "shared/model/TokenInfo.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace keyvane::app {

// What stops the program when UI_TEST_CASE names no scenario (the entry prints it and leaves
// with a failure status).
class TestNotImplemented : public std::logic_error {
public:
    TestNotImplemented() : std::logic_error("Test is not implemented") {}
};

// The user-interface test driver: started with "UI-Testing", the program plays the scripted
// scenario named by UI_TEST_CASE on its store, so that a test finds a known screen without a
// token, a PIN cache or any earlier use. It only sends actions: it never reads the state and
// never touches a view. Delayed steps go through the main executor's postAfter, all scheduled
// during run() so their delays count from the start; a test drives them on the virtual clock.
// The store and the executor must outlive the delayed steps (the program keeps both until it
// quits).
class TestsLauncher {
public:
    TestsLauncher() = delete;

    static constexpr const char* testCaseVariable = "UI_TEST_CASE";
    static constexpr const char* fixtureMasterPassword = "704628";
    static constexpr const char* demoRelyingParty = "passkeys.example.org";

    // Plays the scenario that UI_TEST_CASE names; nothing without the variable. Throws
    // TestNotImplemented for any other name, before sending anything.
    static void run(AppStore& store, flowkeep::MainExecutor& executor);
    // The same with the case given (nothing: no variable).
    static void run(AppStore& store, flowkeep::MainExecutor& executor, const std::optional<std::string>& testCase);

    // Every scenario name, in the order they are matched.
    static std::vector<std::string> scenarioNames();

    // Four tokens 1152279501 to 1152279504, built anew at each call (memory sizes drawn again).
    static std::vector<TokenInfo> fixtureTokens();
    // Eight passkeys: three on token 1, two on token 2, none on token 3, three on token 4.
    static std::vector<PasskeyCredentials> fixturePasskeys();
    // The three tokens and two passkeys of "tokens-list".
    static std::vector<TokenInfo> shortTokenList();
    static std::vector<PasskeyCredentials> shortPasskeyList();
};

} // namespace keyvane::app
