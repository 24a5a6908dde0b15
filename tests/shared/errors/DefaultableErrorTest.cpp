#include "shared/errors/DefaultableError.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <variant>

namespace {

using keyvane::AnyError;

// A service error in the shape every service uses: an enumeration whose general case names
// the operation, its line and the underlying error.
namespace sample_service_error {
struct generalError {
    std::string function;
    keyvane::SourceLine line;
    std::optional<AnyError> error;
};
struct tokenNotFound {};
} // namespace sample_service_error

class SampleServiceError final
    : public keyvane::ErrorEnum<SampleServiceError, sample_service_error::generalError,
                                sample_service_error::tokenNotFound>,
      public keyvane::DefaultableError<SampleServiceError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = sample_service_error::generalError;
    using tokenNotFound = sample_service_error::tokenNotFound;

    static SampleServiceError makeDefaultError(const AnyError& error) {
        return generalError{"makeDefaultError(_:)", keyvane::sourceLine(), error};
    }

    std::string description() const override {
        if (const auto* general = as<generalError>()) {
            return keyvane::describeGeneralError("SampleServiceError", general->function, general->line,
                                                 general->error);
        }
        return "SampleServiceError.tokenNotFound";
    }
};

class OtherError final : public keyvane::ErrorValue<OtherError> {
public:
    std::string description() const override { return "OtherError"; }
};

TEST(DefaultableErrorTest, OwnErrorsPassUnchangedAndOthersBecomeTheGeneralCase) {
    const SampleServiceError own = SampleServiceError::generalError{"getCredentials(serial:)", 12,
                                                                    AnyError(keyvane::TextError("inner"))};
    const auto same = SampleServiceError::from(AnyError(own));
    const auto* general = std::get_if<SampleServiceError::generalError>(&same.value);
    ASSERT_NE(general, nullptr);
    EXPECT_EQ(general->function, "getCredentials(serial:)");
    EXPECT_EQ(general->line, 12);
    EXPECT_EQ(general->error->as<keyvane::TextError>()->text, "inner");

    EXPECT_TRUE(std::holds_alternative<SampleServiceError::tokenNotFound>(
        SampleServiceError::from(AnyError(SampleServiceError(SampleServiceError::tokenNotFound{}))).value));

    struct Case {
        std::string name;
        std::exception_ptr thrown;
        std::string underlying;
    };
    const std::vector<Case> cases = {
        {"text error", std::make_exception_ptr(keyvane::TextError("More than 1 private key were found")),
         "More than 1 private key were found"},
        {"another service's error", std::make_exception_ptr(OtherError()), "OtherError"},
        {"library exception", std::make_exception_ptr(std::runtime_error("disk full")), "disk full"},
    };
    for (const auto& testCase : cases) {
        const auto mapped = SampleServiceError::from(testCase.thrown);
        const auto* wrapped = std::get_if<SampleServiceError::generalError>(&mapped.value);
        ASSERT_NE(wrapped, nullptr) << testCase.name;
        EXPECT_EQ(wrapped->function, "makeDefaultError(_:)") << testCase.name;
        EXPECT_GT(wrapped->line, 0) << testCase.name;
        ASSERT_TRUE(wrapped->error.has_value()) << testCase.name;
        EXPECT_NE(wrapped->error->description().find(testCase.underlying), std::string::npos) << testCase.name;
    }
}

TEST(DefaultableErrorTest, MappingLetsFailuresLeaveOnlyAsTheServiceType) {
    EXPECT_EQ(SampleServiceError::mapping([] { return 5; }), 5);
    try {
        SampleServiceError::mapping([]() -> int { throw OtherError(); });
        FAIL() << "expected a SampleServiceError";
    } catch (const SampleServiceError& error) {
        const auto* general = std::get_if<SampleServiceError::generalError>(&error.value);
        ASSERT_NE(general, nullptr);
        EXPECT_TRUE(general->error->is<OtherError>());
    }
    try {
        SampleServiceError::mapping([]() -> int { throw SampleServiceError(SampleServiceError::tokenNotFound{}); });
        FAIL() << "expected a SampleServiceError";
    } catch (const SampleServiceError& error) {
        EXPECT_TRUE(std::holds_alternative<SampleServiceError::tokenNotFound>(error.value));
    }
}

TEST(DefaultableErrorTest, AnyErrorRethrowsWithItsOwnType) {
    const AnyError error = AnyError(SampleServiceError(SampleServiceError::tokenNotFound{}));
    EXPECT_THROW(error.raise(), SampleServiceError);
    EXPECT_FALSE(error.is<OtherError>());
    EXPECT_EQ(AnyError::from(std::make_exception_ptr(42)).as<keyvane::ForeignError>()->typeName, "unknown");
}

} // namespace
