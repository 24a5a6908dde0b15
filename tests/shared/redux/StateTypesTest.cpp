#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/localization/LocalizedStrings.h"
#include "shared/redux/CredentialsSection.h"
#include "shared/redux/LoginViewState.h"
#include "shared/redux/OnboardingStatus.h"
#include "shared/redux/SecretText.h"
#include "shared/redux/TokenInfoSet.h"

#include <gtest/gtest.h>

#include <sstream>

namespace keyvane {
namespace {

TokenInfo token(std::string serial, std::uint64_t freeMemory = 1000) {
    return TokenInfo{"Label " + serial, "Model", std::move(serial), "1.0.2.3", 64000, freeMemory, true};
}

TEST(TokenInfoSetTest, OneMemberPerSerial) {
    TokenInfoSet set;
    set.insert(token("A"));
    set.insert(token("B"));
    // Announced again with other free memory: replaces the member, in its place.
    set.insert(token("A", 500));
    ASSERT_EQ(set.size(), 2u);
    EXPECT_EQ(set.begin()->availableMemory, 500u);
    EXPECT_EQ(*set.find("A"), token("A", 500));

    EXPECT_TRUE(set.remove("A"));
    EXPECT_FALSE(set.contains("A"));
    EXPECT_FALSE(set.remove("A"));
    EXPECT_EQ(set.size(), 1u);

    EXPECT_EQ((TokenInfoSet{token("A"), token("B")}), (TokenInfoSet{token("B"), token("A")}));
    EXPECT_NE((TokenInfoSet{token("A"), token("B")}), (TokenInfoSet{token("B"), token("A", 1)}));
}

TEST(PinVerificationStatusTest, MessageUnderThePinField) {
    using Status = PinVerificationStatus;
    EXPECT_EQ(Status(Status::incorrect{3}).message(),
              LocalizedStrings::counted("EnterPinCode_InvalidPinMessage", 3));
    EXPECT_TRUE(Status(Status::incorrect{3}).message().contains(QStringLiteral("3")));
    // Tokens that do not tell the attempts left get a message without a number.
    const QString unknown = Status(Status::incorrect{std::nullopt}).message();
    EXPECT_FALSE(unknown.isEmpty());
    EXPECT_FALSE(unknown.contains(QStringLiteral("%1")));
    EXPECT_NE(unknown, QStringLiteral("EnterPinCode_InvalidPinMessage_Unknown"));
    EXPECT_TRUE(Status(Status::success{}).message().isEmpty());
    EXPECT_TRUE(Status(Status::notVerified{}).message().isEmpty());

    EXPECT_EQ(Status(Status::incorrect{2}), Status(Status::incorrect{2}));
    EXPECT_NE(Status(Status::incorrect{2}), Status(Status::incorrect{std::nullopt}));
}

TEST(MasterPassAuthErrorTest, MessagesAndEquality) {
    using Error = MasterPassAuthError;
    EXPECT_EQ(Error(Error::invalidPass{3}).localizedMessage(),
              LocalizedStrings::counted("EnterGrandPass_Title_Error", 3));
    EXPECT_EQ(Error(Error::text{"abc"}).localizedMessage(), QStringLiteral("abc"));
    EXPECT_EQ(Error(Error::mismatch{}).localizedMessage(), std::nullopt);
    EXPECT_EQ(Error(Error::invalidPass{2}), Error(Error::invalidPass{2}));
    EXPECT_NE(Error(Error::invalidPass{2}), Error(Error::invalidPass{3}));
}

TEST(OnboardingStatusTest, OnlyTheFiveStepsHaveRawValues) {
    const OnboardingStatus steps[] = {OnboardingStatus::enableExtension, OnboardingStatus::payAttention,
                                      OnboardingStatus::masterPassword, OnboardingStatus::biometry,
                                      OnboardingStatus::completed};
    for (int raw = 0; raw < 5; ++raw) {
        EXPECT_EQ(onboardingStatusFromRawValue(raw), steps[raw]);
        EXPECT_EQ(rawValue(steps[raw]), raw);
    }
    EXPECT_EQ(onboardingStatusFromRawValue(-1), std::nullopt);
    EXPECT_EQ(onboardingStatusFromRawValue(5), std::nullopt);
}

TEST(CredentialsSectionTest, FoldingIsNotAChange) {
    const PasskeyCredentials passkey{{1, 2}, "example.org", "alice", {9}, "A"};
    const CredentialsSection open{token("A"), {passkey}, true};
    EXPECT_EQ(open, (CredentialsSection{token("A"), {passkey}, false}));
    EXPECT_NE(open, (CredentialsSection{token("A", 1), {passkey}, true}));
    EXPECT_NE(open, (CredentialsSection{token("A"), {}, true}));
    EXPECT_EQ(open.id(), "A");
}

TEST(SecretTextTest, NeverPrintsItsText) {
    SecretText pin("246810");
    std::ostringstream out;
    out << pin;
    EXPECT_EQ(out.str(), "<redacted>");
    EXPECT_EQ(::testing::PrintToString(pin).find("246810"), std::string::npos);
    SecretText moved(std::move(pin));
    EXPECT_EQ(moved.reveal(), "246810");
    EXPECT_TRUE(pin.empty()); // NOLINT: the moved-from value is wiped on purpose
}

// A PIN handed over in a std::string leaves nothing in the buffer it came from, whether the
// string kept it inline (a short PIN) or on the heap with an older, longer value past its end.
TEST(SecretTextTest, NothingOfThePinStaysInTheStringItCameFrom) {
    const struct {
        const char* name;
        std::string source;
    } cases[] = {
        {"short, inline", std::string("1234")},
        {"on the heap, an older value past the end", std::string("1234-and-an-older-and-longer-secret-value")},
    };
    for (auto [name, source] : cases) {
        SCOPED_TRACE(name);
        source.resize(4);
        const char* buffer = source.data();
        const std::size_t capacity = source.capacity();
        const SecretText secret(std::move(source));
        EXPECT_EQ(secret.reveal(), "1234");
        // Read while the secret lives: a buffer it had taken over would still be in use.
        EXPECT_EQ(std::string(buffer, capacity), std::string(capacity, '\0'));
    }
}

} // namespace
} // namespace keyvane
