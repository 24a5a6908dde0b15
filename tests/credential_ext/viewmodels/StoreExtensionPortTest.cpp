// The views' port over a request's real store: what the views read of the state, and what a
// verified login sends, by the state's purpose.
#include "credential_ext/state/AppReducer.h"
#include "credential_ext/state/LoginFollowUp.h"
#include "credential_ext/viewmodels/StoreExtensionPort.h"
#include "flowkeep/Store.h"
#include "flowkeep/VirtualClockExecutor.h"

#include <gtest/gtest.h>

namespace keyvane::ext::views {
namespace {

class Recorder final : public flowkeep::Middleware<AppAction> {
public:
    std::optional<flowkeep::ActionStream<AppAction>> process(const AppAction& action) override {
        actions.push_back(action);
        return std::nullopt;
    }
    std::vector<AppAction> actions;
};

// A request's store with a recorder in place of the middlewares, and the port over it.
struct PortOverStore {
    explicit PortOverStore(AppState state) : store(std::move(state), AppReducer{}, {recorder}, executor) {}
    flowkeep::VirtualClockExecutor executor;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    flowkeep::Store<AppState, AppAction> store;
    StoreExtensionPort<AppState, AppAction> port{store};
};

PasskeyCredentials passkey(std::string site, std::string serial) {
    return PasskeyCredentials{{static_cast<std::uint8_t>(site.size())}, std::move(site), "ann", {1}, std::move(serial)};
}

TEST(StoreExtensionPort, OffersOnlyTheRequestsPasskeysAndSignsOnlyOnTheChosenPasskeysToken) {
    AppState state;
    state.authState.relyingPartyId = "example.org";
    state.authState.clientDataHash = Bytes(32, 3);
    state.credentialListState.credentials = {passkey("example.org", "A"), passkey("other.example", "A")};
    state.navigationState.loginPurpose = LoginPuprose::auth{passkey("example.org", "A")};
    PortOverStore request(state);
    auto& port = request.port;
    auto& recorder = request.recorder;

    const auto slice = port.slice();
    EXPECT_EQ(slice.purpose, LoginPurposeKind::auth);
    ASSERT_EQ(slice.credentials.size(), 1u);
    EXPECT_EQ(slice.credentials[0].relyingPartyId, "example.org");

    port.loginSucceeded("B"); // another token than the chosen passkey's
    EXPECT_TRUE(recorder->actions.empty());
    port.loginSucceeded("A");
    ASSERT_EQ(recorder->actions.size(), 1u);
    const auto* finish = recorder->actions[0].as<AppAction::finishAuthentication>();
    ASSERT_NE(finish, nullptr);
    EXPECT_EQ(finish->cred, passkey("example.org", "A"));
    EXPECT_EQ(finish->hash, Bytes(32, 3));
}

TEST(StoreExtensionPort, ALoginForARegistrationRegistersTheRequestOnTheUnlockedToken) {
    AppState state;
    state.registrationState = RegistrationState{"ann", Bytes(32, 1), {7}, "example.org"};
    state.navigationState.loginPurpose = LoginPuprose::completeRegistration{};
    PortOverStore request(state);
    auto& port = request.port;
    auto& recorder = request.recorder;

    const auto slice = port.slice();
    EXPECT_EQ(slice.purpose, LoginPurposeKind::completeRegistration);
    EXPECT_TRUE(slice.hasRegistration);
    EXPECT_EQ(slice.registrationUserName, "ann");
    port.loginSucceeded("B");
    ASSERT_EQ(recorder->actions.size(), 1u);
    const auto* finish = recorder->actions[0].as<AppAction::finishRegistration>();
    ASSERT_NE(finish, nullptr);
    EXPECT_EQ(finish->serial, "B");
    EXPECT_EQ(finish->regInfo, *state.registrationState);
}

} // namespace
} // namespace keyvane::ext::views
