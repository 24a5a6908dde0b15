#include "ForkedProcesses.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

using keyvane::test_support::runInForkedProcesses;
using keyvane::test_support::TemporaryFolder;

// A child that fails in any way must show in the reports, or a test built on them could not fail.
TEST(ForkedProcessesTest, EachChildReportsInIndexOrderAndEveryKindOfFailureShows) {
    const auto reports = runInForkedProcesses(4, [](int index) -> std::string {
        switch (index) {
        case 1:
            throw std::runtime_error("boom");
        case 2:
            std::abort();
        case 3:
            ::_exit(7); // no report: the exit status tells
        default:
            return "child " + std::to_string(index);
        }
    });
    EXPECT_EQ(reports, (std::vector<std::string>{"child 0", "failed: boom", "failed: killed by signal 6",
                                                 "failed: exit status 7"}));
}

TEST(TemporaryFolderTest, IsPrivateAndRemovedWithItsContent) {
    std::filesystem::path kept;
    {
        TemporaryFolder folder("keyvane-support");
        kept = folder.path();
        EXPECT_EQ(std::filesystem::status(kept).permissions(), std::filesystem::perms::owner_all);
        EXPECT_EQ(kept.filename().string().rfind("keyvane-support-", 0), 0u);
        std::filesystem::create_directory(folder / "inner");
        std::ofstream(folder / "inner" / "file") << "x";
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

} // namespace
