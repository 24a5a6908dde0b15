// The entry without a token: what each request builds, and the answers it gives on its own.
#include "credential_ext/controller/CredentialProviderViewController.h"

#include "../../shared/files/TemporaryGroupDirectory.h"
#include "../RecordingContext.h"
#include "flowkeep/VirtualClockExecutor.h"
#include "middlewares/TokenFakes.h"
#include "shared/files/FileError.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/TokenStorage.h"

#include <gtest/gtest.h>

namespace keyvane::ext {
namespace {

using Kind = CredentialProviderViewController::RootViewKind;
using keyvane::testing::RecordingContext;

struct ControllerTest : ::testing::Test {
    test_support::TemporaryGroupDirectory group;
    flowkeep::VirtualClockExecutor clock;
    keyvane::testing::TokenServices services;
    std::shared_ptr<RecordingContext> context = std::make_shared<RecordingContext>();
    std::vector<Kind> presented;
    std::unique_ptr<DependencyScope> scope;

    ControllerTest() {
        // The process-wide services as test values; the entry binds the record services itself.
        scope = std::make_unique<DependencyScope>();
        services.fillAll(*scope);
    }
    ~ControllerTest() override {
        controller.reset();
        clock.runUntilIdle();
        scope.reset();
    }

    std::unique_ptr<CredentialProviderViewController> controller;
    CredentialProviderViewController& make(CredentialProviderViewController::ContainerFactory open = {}) {
        controller = std::make_unique<CredentialProviderViewController>(
            clock, context, [this](Kind kind) { presented.push_back(kind); }, std::move(open), services.passkeys);
        return *controller;
    }
    // Runs the middlewares' work to its end.
    void settle() {
        ASSERT_TRUE(clock.runUntil([&] {
            auto* store = controller->store();
            for (std::size_t i = 0; store && i < store->middlewareCount(); ++i) {
                if (store->isForwarding(i)) {
                    return false;
                }
            }
            return true;
        }));
    }
};

const Bytes hash(32, 0xC1);
const ASPasskeyCredentialIdentity identity{"example.com", "alice", {1, 2, 3}, {5, 5}, {"example.com"}};

TEST_F(ControllerTest, EachRequestCopiesWhatItCarriesIntoItsState) {
    auto& entry = make();
    EXPECT_EQ(entry.store(), nullptr);

    entry.prepareInterfaceForPasskeyRegistration(ASPasskeyCredentialRequest{identity, hash});
    ASSERT_NE(entry.store(), nullptr);
    const auto* registration = &entry.store()->state();
    EXPECT_EQ(registration->registrationState, (RegistrationState{"alice", hash, {5, 5}, "example.com"}));
    EXPECT_EQ(registration->authState, AuthState{});

    const std::vector<ASCredentialServiceIdentifier> services{{"b.example"}, {"https://a.example/", ASCredentialServiceIdentifier::IdentifierType::URL}};
    entry.prepareCredentialListForServiceIdentifiers(services,
                                                     ASPasskeyCredentialRequestParameters{"a.example", hash, {{9}}});
    const auto& list = entry.store()->state();
    EXPECT_FALSE(list.registrationState.has_value());
    EXPECT_EQ(list.authState, (AuthState{services, "a.example", hash, {{9}}}));

    entry.prepareInterfaceToProvideCredentialForRequest(ASPasskeyCredentialRequest{identity, hash});
    const auto& named = entry.store()->state();
    EXPECT_EQ(named.authState, (AuthState{{identity.serviceIdentifier}, "example.com", hash, {{1, 2, 3}}}));
    EXPECT_EQ(presented, (std::vector<Kind>{Kind::registration, Kind::authentication, Kind::authentication}));
    EXPECT_TRUE(context->answers().empty());
    settle();
    // Its start action ran at once: nothing is stored, so the named passkey is not found.
    ASSERT_TRUE(entry.store()->state().navigationState.alert.has_value());
}

TEST_F(ControllerTest, WithoutInteractionTheRequestIsCancelledAndNothingIsBuilt) {
    auto& entry = make();
    entry.provideCredentialWithoutUserInteractionForRequest(ASPasskeyCredentialRequest{identity, hash});
    EXPECT_EQ(context->only<ASExtensionErrorCode>(), ASExtensionErrorCode::userInteractionRequired);
    EXPECT_EQ(entry.store(), nullptr);
    EXPECT_TRUE(presented.empty());
    EXPECT_TRUE(entry.isAnswered());
}

TEST_F(ControllerTest, AnObjectStoreThatCannotBeOpenedIsAnsweredAsAFailure) {
    auto& entry = make([]() -> std::shared_ptr<const ModelContainer> {
        throw FileError("records.sqlite", "refused");
    });
    entry.prepareInterfaceForPasskeyRegistration(ASPasskeyCredentialRequest{identity, hash});
    EXPECT_EQ(context->only<ASExtensionErrorCode>(), ASExtensionErrorCode::failed);
    EXPECT_EQ(entry.store(), nullptr);
    EXPECT_TRUE(presented.empty());
}

TEST_F(ControllerTest, TheRequestIsAnsweredOnce) {
    auto& entry = make();
    entry.prepareInterfaceForPasskeyRegistration(ASPasskeyCredentialRequest{identity, hash});
    entry.store()->send(AppAction::cancelRequest{});
    entry.store()->send(AppAction::completeRegistrationRequest{ASPasskeyRegistrationCredential{}});
    entry.store()->send(AppAction::cancelRequest{});
    EXPECT_EQ(context->only<ASExtensionErrorCode>(), ASExtensionErrorCode::userCanceled);
    EXPECT_TRUE(entry.isAnswered());
}

TEST_F(ControllerTest, OnlyTheChoiceLoadsTheListsAtLaunch) {
    TokenStorage(std::make_shared<const ModelContainer>()).syncToken(keyvane::testing::sampleToken("A"));
    auto& entry = make();
    for (bool choice : {false, true}) {
        if (choice) {
            entry.prepareCredentialListForServiceIdentifiers({{"example.com"}},
                                                             ASPasskeyCredentialRequestParameters{"example.com", hash, {}});
        } else {
            entry.prepareInterfaceForPasskeyRegistration(ASPasskeyCredentialRequest{identity, hash});
        }
        entry.store()->send(AppAction::appLaunched{});
        settle();
        EXPECT_EQ(entry.store()->state().credentialListState.tokens.size(), choice ? 1u : 0u) << choice;
        EXPECT_FALSE(entry.store()->state().navigationState.alert.has_value()) << choice;
    }
}

} // namespace
} // namespace keyvane::ext
