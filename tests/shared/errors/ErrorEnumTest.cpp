#include "shared/errors/Error.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using keyvane::AnyError;
using keyvane::SourceLine;

namespace sample_error {
struct generalError {
    std::string function;
    SourceLine line = 0;
    std::optional<AnyError> error;
};
struct tokenNotFound {};
} // namespace sample_error

class SampleError final
    : public keyvane::ErrorEnum<SampleError, sample_error::generalError, sample_error::tokenNotFound> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = sample_error::generalError;
    using tokenNotFound = sample_error::tokenNotFound;
    std::string description() const override { return "SampleError"; }
};

// A general case that keeps no cause, as a record decoder's.
namespace bare_error {
struct generalError {
    std::string func;
    SourceLine line = 0;
};
} // namespace bare_error

class BareError final : public keyvane::ErrorEnum<BareError, bare_error::generalError> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = bare_error::generalError;
    std::string description() const override { return "BareError"; }
};

// The line is where the error was raised: a helper that builds errors for its callers would
// otherwise put its own line into every one of them.
TEST(ErrorEnumTest, TheGeneralCaseRecordsItsCallersLineAndCause) {
    struct Case {
        std::string name;
        SampleError error;
        SourceLine line;
        std::optional<std::string> cause;
    };
    const Case cases[] = {
        {"text", SampleError::general("auth(with:)", "Failed to retrieve stored credentials"), __LINE__,
         "Failed to retrieve stored credentials"},
        {"error", SampleError::general("getPin(for:)", AnyError(keyvane::TextError("inner"))), __LINE__, "inner"},
        {"none", SampleError::general("clean()"), __LINE__, std::nullopt},
    };
    for (const auto& testCase : cases) {
        const auto* general = testCase.error.as<SampleError::generalError>();
        ASSERT_NE(general, nullptr) << testCase.name;
        EXPECT_EQ(general->line, testCase.line) << testCase.name;
        ASSERT_EQ(general->error.has_value(), testCase.cause.has_value()) << testCase.name;
        if (testCase.cause) {
            EXPECT_EQ(general->error->description(), *testCase.cause) << testCase.name;
        }
    }

    const auto bare = BareError::general("init(from:)");
    const SourceLine bareLine = __LINE__ - 1;
    EXPECT_EQ(bare.as<BareError::generalError>()->func, "init(from:)");
    EXPECT_EQ(bare.as<BareError::generalError>()->line, bareLine);
}

TEST(ErrorEnumTest, ItsCasesAreTheCaseEnumsAndItKeepsItsDynamicType) {
    const AnyError error = SampleError(SampleError::tokenNotFound{});
    ASSERT_TRUE(error.is<SampleError>());
    EXPECT_TRUE(error.as<SampleError>()->is<SampleError::tokenNotFound>());
    EXPECT_THROW(error.raise(), SampleError);
}

} // namespace
