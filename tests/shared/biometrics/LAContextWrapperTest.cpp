#include "biometrics/BiometricOutcome.h"
#include "files/TemporaryGroupDirectory.h"

#include "shared/biometrics/DBusError.h"
#include "shared/biometrics/LAContextWrapper.h"
#include "shared/biometrics/ScriptedBiometricAuthenticator.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace keyvane;

using test_support::biometricOutcome;

class LAContextWrapperTest : public ::testing::Test {
protected:
    test_support::TemporaryGroupDirectory group;
    std::shared_ptr<ScriptedBiometricAuthenticator> backend = std::make_shared<ScriptedBiometricAuthenticator>();
    LAContextWrapper wrapper{backend};
};

TEST_F(LAContextWrapperTest, CheckOutcomesMapToTheirCases) {
    EXPECT_EQ(biometricOutcome([&] { wrapper.performBiometricAuthentication(); }), "none");
    ASSERT_EQ(backend->promptReasons().size(), 1u);
    EXPECT_EQ(backend->promptReasons()[0], "пройти аутентификацию для доступа к конфиденциальным данным");
    EXPECT_EQ(backend->fallbackTitles()[0], "");

    const struct {
        std::optional<BiometricFailure> prompt;
        BiometricPolicyCheck availability;
        std::string expected;
    } cases[] = {
        {BiometricFailure{biometricUserCancel, "cancel"}, {true, std::nullopt}, "userRejectedBiometry"},
        {BiometricFailure{-1, "failed"}, {true, std::nullopt}, "general:failed (code -1)"},
        // The backend's own error is the underlying error.
        {BiometricFailure{-1, "busy", DBusError("net.reactivated.Fprint.Error.AlreadyInUse", "claimed")},
         {true, std::nullopt},
         "general:net.reactivated.Fprint.Error.AlreadyInUse: claimed"},
        {std::nullopt, {false, BiometricFailure{biometryNotAvailable, "no"}}, "bioNotAvailable"},
        {std::nullopt, {false, BiometricFailure{biometryNotEnrolled, "no"}}, "bioNotEnrolled"},
        {std::nullopt, {false, std::nullopt}, "general:Unable to evaluate biometric authentication"},
    };
    for (const auto& row : cases) {
        backend->setAvailability(row.availability);
        backend->queuePromptAnswer(row.prompt);
        EXPECT_EQ(biometricOutcome([&] { wrapper.performBiometricAuthentication(); }), row.expected);
        if (!row.availability.canEvaluate) {
            // Unavailable: the queued answer was never used, so drop it.
            backend->setAvailability({true, std::nullopt});
            wrapper.performBiometricAuthentication();
        }
    }
}

TEST_F(LAContextWrapperTest, EnablingNeedsAPassedCheckAndDisablingNone) {
    EXPECT_EQ(wrapper.isBioEnabled(), std::nullopt);
    backend->queuePromptAnswer(BiometricFailure{biometricUserCancel, "cancel"});
    EXPECT_EQ(biometricOutcome([&] { wrapper.setBioEnabled(true); }), "userRejectedBiometry");
    EXPECT_EQ(wrapper.isBioEnabled(), std::nullopt);
    wrapper.setBioEnabled(true);
    EXPECT_EQ(wrapper.isBioEnabled(), true);
    const auto prompts = backend->promptReasons().size();
    wrapper.setBioEnabled(false);
    EXPECT_EQ(wrapper.isBioEnabled(), false);
    EXPECT_EQ(backend->promptReasons().size(), prompts);
    // Another type under the key reads as nothing, not false.
    Dependencies::get(userDefaultsManager)->set(1, UserDefaultsKey::isBioEnabled);
    EXPECT_EQ(wrapper.isBioEnabled(), std::nullopt);
}

TEST_F(LAContextWrapperTest, WithoutBiometryNothingCanBeChecked) {
    LAContextWrapper none(std::make_shared<NoBiometryAuthenticator>());
    EXPECT_EQ(none.biometryType(), BiometryType::none);
    EXPECT_EQ(biometricOutcome([&] { none.performBiometricAuthentication(); }), "bioNotAvailable");
    backend->setBiometryType(BiometryType::touchID);
    EXPECT_EQ(wrapper.biometryType(), BiometryType::touchID);
    backend->setAvailability({false, std::nullopt});
    EXPECT_EQ(wrapper.biometryType(), BiometryType::none);
}

} // namespace
