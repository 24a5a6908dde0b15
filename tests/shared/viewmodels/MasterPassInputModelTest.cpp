#include "shared/viewmodels/MasterPassInputModel.h"

#include "flowkeep/VirtualClockExecutor.h"
#include "shared/localization/LocalizedStrings.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace keyvane::views {
namespace {

using namespace std::chrono_literals;

class MasterPassInputTest : public ::testing::Test {
protected:
    void make(MasterPassInputModel::Mode mode) {
        input = std::make_unique<MasterPassInputModel>(mode, executor);
        input->setOnSubmit([this](SecretText password) { submitted.push_back(password.reveal()); });
        input->setOnErrorWritten([this](std::optional<MasterPassAuthError> error) { writtenErrors.push_back(error); });
    }
    void typeEach(const std::string& digits) {
        for (char digit : digits) {
            input->type(QString(QChar(digit)));
        }
    }

    flowkeep::VirtualClockExecutor executor;
    std::unique_ptr<MasterPassInputModel> input;
    std::vector<std::string> submitted;
    std::vector<std::optional<MasterPassAuthError>> writtenErrors;
};

TEST_F(MasterPassInputTest, KeepsOnlyNumbersAndSubmitsOnceAtSixDigits) {
    make(MasterPassInputModel::Mode::single);
    input->type(QStringLiteral("12a3"));
    EXPECT_EQ(input->filledCount(), 3);
    // Digits of another script count as digits.
    input->type(QStringLiteral("x٤5"));
    EXPECT_EQ(input->filledCount(), 5);
    EXPECT_TRUE(submitted.empty());
    input->type(QStringLiteral("6"));
    EXPECT_EQ(submitted, std::vector<std::string>{"123٤56"});
    EXPECT_EQ(writtenErrors.size(), 1U);
    EXPECT_FALSE(writtenErrors[0].has_value());
}

TEST_F(MasterPassInputTest, PastingSevenDigitsNeitherSubmitsNorTrims) {
    make(MasterPassInputModel::Mode::single);
    input->type(QStringLiteral("1234567"));
    EXPECT_TRUE(submitted.empty());
    EXPECT_EQ(input->filledCount(), 6);
    input->erase();
    EXPECT_EQ(submitted, std::vector<std::string>{}) << "erasing does not submit";
    input->erase();
    input->type(QStringLiteral("9"));
    EXPECT_EQ(submitted, std::vector<std::string>{"123459"});
}

TEST_F(MasterPassInputTest, AutoFillDrawsEveryDot) {
    make(MasterPassInputModel::Mode::single);
    input->setAutoFill(true);
    EXPECT_EQ(input->filledCount(), 6);
}

TEST_F(MasterPassInputTest, AFirstErrorShakesAndEmptiesTheEntryLater) {
    make(MasterPassInputModel::Mode::single);
    QSignalSpy shakes(input.get(), &MasterPassInputModel::shake);
    typeEach("111111");
    input->setError(MasterPassAuthError::invalidPass{3});
    EXPECT_EQ(shakes.count(), 1);
    EXPECT_TRUE(input->isError());
    EXPECT_EQ(input->title(), LocalizedStrings::counted("EnterGrandPass_Title_Error", 3));
    executor.advance(639ms);
    EXPECT_EQ(input->filledCount(), 6);
    executor.advance(1ms);
    EXPECT_EQ(input->filledCount(), 0);
    EXPECT_FALSE(input->isError());

    // One error replacing another does not shake again.
    input->setError(MasterPassAuthError::invalidPass{2});
    EXPECT_EQ(shakes.count(), 1);
    EXPECT_EQ(input->title(), LocalizedStrings::counted("EnterGrandPass_Title_Error", 2));
}

TEST_F(MasterPassInputTest, TwiceConfirmsTheSamePassword) {
    make(MasterPassInputModel::Mode::twice);
    typeEach("246810");
    EXPECT_EQ(input->step(), MasterPassInputModel::First);
    EXPECT_EQ(input->filledCount(), 6);
    executor.advance(320ms);
    EXPECT_EQ(input->step(), MasterPassInputModel::Second);
    EXPECT_EQ(input->title(), LocalizedStrings::enterCodePassViewTitleRepeat());
    EXPECT_EQ(input->filledCount(), 0);
    typeEach("246810");
    EXPECT_EQ(submitted, std::vector<std::string>{"246810"});
    EXPECT_EQ(input->filledCount(), 6);
}

TEST_F(MasterPassInputTest, AMismatchShakesAndStartsAgainFromTheFirstEntry) {
    make(MasterPassInputModel::Mode::twice);
    QSignalSpy shakes(input.get(), &MasterPassInputModel::shake);
    typeEach("246810");
    executor.advance(320ms);
    typeEach("246811");
    EXPECT_TRUE(submitted.empty());
    EXPECT_EQ(shakes.count(), 1);
    EXPECT_TRUE(input->isError());
    executor.advance(640ms);
    EXPECT_EQ(input->step(), MasterPassInputModel::First);
    EXPECT_EQ(input->filledCount(), 0);
    EXPECT_EQ(input->title(), LocalizedStrings::enterCodePassViewTitleEnter());

    typeEach("135791");
    executor.advance(320ms);
    typeEach("135790");
    EXPECT_EQ(shakes.count(), 2) << "every mismatch shakes";
    executor.advance(640ms);
    typeEach("135791");
    executor.advance(320ms);
    typeEach("135791");
    EXPECT_EQ(submitted, std::vector<std::string>{"135791"});
}

TEST_F(MasterPassInputTest, RetypingTheSameRepeatAfterAFailedSetUpConfirmsAgain) {
    make(MasterPassInputModel::Mode::twice);
    typeEach("112233");
    executor.advance(320ms);
    typeEach("112233");
    ASSERT_EQ(submitted.size(), 1U);
    // The set-up failed; the user types the last digit again.
    input->erase();
    typeEach("3");
    EXPECT_EQ(submitted, (std::vector<std::string>{"112233", "112233"}));
}

// What was typed is held until the entry is emptied, and each way of emptying it leaves nothing.
TEST_F(MasterPassInputTest, EveryWayOfEmptyingTheEntryLeavesNothingTyped) {
    make(MasterPassInputModel::Mode::single);
    typeEach("111111");
    EXPECT_FALSE(input->holdsNothing()) << "kept while the host checks it";
    input->setError(MasterPassAuthError::invalidPass{3});
    executor.advance(MasterPassInputModel::shakeDuration);
    EXPECT_TRUE(input->holdsNothing()) << "after the error's shake";

    make(MasterPassInputModel::Mode::twice);
    typeEach("246810");
    executor.advance(320ms);
    typeEach("246811");
    executor.advance(640ms);
    EXPECT_TRUE(input->holdsNothing()) << "after a mismatch";

    typeEach("246810");
    input->clear();
    EXPECT_TRUE(input->holdsNothing()) << "cleared during the pause";
    executor.advance(320ms);
    EXPECT_EQ(input->step(), MasterPassInputModel::First) << "the pending step was dropped";
    EXPECT_EQ(input->filledCount(), 0);
    typeEach("246810");
    executor.advance(320ms);
    typeEach("24");
    input->clear();
    EXPECT_TRUE(input->holdsNothing()) << "cleared during the repeat";
}

TEST_F(MasterPassInputTest, TypingDuringThePauseIsLost) {
    make(MasterPassInputModel::Mode::twice);
    typeEach("112233");
    typeEach("44");
    executor.advance(320ms);
    EXPECT_EQ(input->filledCount(), 0);
}

} // namespace
} // namespace keyvane::views
