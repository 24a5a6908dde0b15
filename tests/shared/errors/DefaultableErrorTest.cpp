#include "shared/errors/DefaultableError.h"
#include "shared/passkeys/PasskeyManagerError.h"
#include "shared/pkcs11/Pkcs11Error.h"
#include "shared/pkcs11/TokenLoginManagerError.h"
#include "shared/storage/CredentialsStorageError.h"
#include "shared/storage/TokenStorageError.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <variant>

namespace {

using keyvane::AnyError;

class OtherError final : public keyvane::ErrorValue<OtherError> {
public:
    std::string description() const override { return "OtherError"; }
};

// The services' own error types: each must keep its own errors and turn every other failure
// into its general case, named after the default builder, with the failure inside.
template <class E>
struct RealConformer : ::testing::Test {};
using Conformers = ::testing::Types<keyvane::PasskeyManagerError, keyvane::TokenLoginManagerError,
                                    keyvane::TokenStorageError, keyvane::CredentialsStorageError>;
TYPED_TEST_SUITE(RealConformer, Conformers);

TYPED_TEST(RealConformer, OwnErrorsPassUnchangedAndOthersBecomeTheGeneralCase) {
    using E = TypeParam;
    const E own = typename E::generalError{"getCredentials(serial:)", 12, AnyError(keyvane::TextError("inner"))};
    for (const auto& kept : {E::from(AnyError(own)), E::from(std::make_exception_ptr(own))}) {
        const auto* general = kept.template as<typename E::generalError>();
        ASSERT_NE(general, nullptr);
        EXPECT_EQ(general->function, "getCredentials(serial:)");
        EXPECT_EQ(general->line, 12);
        EXPECT_EQ(general->error->template as<keyvane::TextError>()->text, "inner");
    }

    struct Case {
        std::string name;
        std::exception_ptr thrown;
        std::string underlying;
    };
    const std::vector<Case> cases = {
        {"text error", std::make_exception_ptr(keyvane::TextError("More than 1 private key were found")),
         "More than 1 private key were found"},
        {"another service's error",
         std::make_exception_ptr(keyvane::Pkcs11Error(keyvane::Pkcs11Error::internalError{"C_Login", 0, std::nullopt, 0xa0})),
         "C_Login"},
        {"library exception", std::make_exception_ptr(std::runtime_error("disk full")), "disk full"},
    };
    for (const auto& testCase : cases) {
        const auto mapped = E::from(testCase.thrown);
        const auto* wrapped = mapped.template as<typename E::generalError>();
        ASSERT_NE(wrapped, nullptr) << testCase.name;
        EXPECT_EQ(wrapped->function, "makeDefaultError(_:)") << testCase.name;
        EXPECT_GT(wrapped->line, 0) << testCase.name;
        ASSERT_TRUE(wrapped->error.has_value()) << testCase.name;
        EXPECT_NE(wrapped->error->description().find(testCase.underlying), std::string::npos) << testCase.name;
        EXPECT_NE(mapped.description().find(testCase.underlying), std::string::npos)
            << testCase.name << ": the service's description names what went wrong";
    }
}

TYPED_TEST(RealConformer, MappingLetsFailuresLeaveOnlyAsTheServiceType) {
    using E = TypeParam;
    EXPECT_EQ(E::mapping([] { return 5; }), 5);
    try {
        E::mapping([]() -> int { throw OtherError(); });
        FAIL() << "expected the service's own error";
    } catch (const E& error) {
        const auto* general = error.template as<typename E::generalError>();
        ASSERT_NE(general, nullptr);
        EXPECT_TRUE(general->error->template is<OtherError>());
    }
    const E own = typename E::generalError{"deleteCredentials(_:)", 7, std::nullopt};
    try {
        E::mapping([&]() -> int { throw own; });
        FAIL() << "expected the service's own error";
    } catch (const E& error) {
        EXPECT_EQ(error.template as<typename E::generalError>()->function, "deleteCredentials(_:)");
    }
}

TEST(DefaultableErrorTest, AnyErrorRethrowsWithItsOwnType) {
    const AnyError error = AnyError(keyvane::TokenStorageError(keyvane::TokenStorageError::tokenNotFound{}));
    EXPECT_THROW(error.raise(), keyvane::TokenStorageError);
    EXPECT_FALSE(error.is<OtherError>());
    EXPECT_EQ(AnyError::from(std::make_exception_ptr(42)).as<keyvane::ForeignError>()->typeName, "unknown");
}

} // namespace
