#include "ForkedProcesses.h"
#include "ProcessMemory.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

using keyvane::test_support::findInWritableMemory;
using keyvane::test_support::MaskedText;
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

// The memory search must see a copy wherever the heap or the stack holds one, in either
// encoding, and nothing once it is wiped: a search that finds nothing proves nothing otherwise.
TEST(ProcessMemoryTest, FindsAHeldCopyInEitherEncodingAndNoneOnceWiped) {
    const MaskedText secret("kv-scan-7Q3Z9X1W5");
    EXPECT_TRUE(findInWritableMemory(secret.utf8(), secret.mask()).empty());
    EXPECT_TRUE(findInWritableMemory(secret.utf16(), secret.mask()).empty());

    std::string onHeap = secret.reveal();
    std::u16string wide;
    for (std::size_t i = 0; i < secret.size(); ++i) {
        wide.push_back(static_cast<char16_t>(secret.at(i)));
    }
    const auto heapHits = findInWritableMemory(secret.utf8(), secret.mask());
    ASSERT_EQ(heapHits.size(), 1U);
    EXPECT_EQ(heapHits[0].address, reinterpret_cast<std::uintptr_t>(onHeap.data()));
    EXPECT_NE(heapHits[0].mapping.find("rw"), std::string::npos);
    const auto wideHits = findInWritableMemory(secret.utf16(), secret.mask());
    ASSERT_EQ(wideHits.size(), 1U);
    EXPECT_EQ(wideHits[0].address, reinterpret_cast<std::uintptr_t>(wide.data()));

    keyvane::test_support::wipe(onHeap);
    for (auto& c : wide) {
        const_cast<volatile char16_t&>(c) = 0;
    }
    EXPECT_TRUE(findInWritableMemory(secret.utf8(), secret.mask()).empty());
    EXPECT_TRUE(findInWritableMemory(secret.utf16(), secret.mask()).empty());
}

} // namespace
