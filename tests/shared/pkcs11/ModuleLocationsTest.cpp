#include "shared/pkcs11/ModuleLocations.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

namespace keyvane {
namespace {

using test_support::TemporaryFolder;

// The path of `module` inside the tree at `prefix`, or nothing when it lies outside.
std::optional<std::filesystem::path> insideTree(const std::filesystem::path& module, const std::filesystem::path& prefix) {
    const auto relative = module.lexically_relative(prefix);
    if (relative.empty() || *relative.begin() == "..") {
        return std::nullopt;
    }
    return relative;
}

TEST(ModuleLocationsTest, AnInstalledProgramFindsTheVirtualTokenInItsOwnTree) {
    // No build-tree file beside the program: the installed layout, wherever the tree is.
    TemporaryFolder folder;
    std::filesystem::create_directories(folder / "usr/bin");
    std::filesystem::create_directories(folder / "opt/keyvane/bin");
    const auto system = ModuleLocations::forProgramIn(folder / "usr/bin");
    const auto moved = ModuleLocations::forProgramIn(folder / "opt/keyvane/bin");

    EXPECT_EQ(system.defaultModule, KEYVANE_TEST_DEFAULT_MODULE);
    EXPECT_EQ(moved.defaultModule, KEYVANE_TEST_DEFAULT_MODULE);
    EXPECT_EQ(system.virtualToken.filename(), "libkeyvane-virtual-token.so");
    EXPECT_EQ(system.virtualToken, system.virtualToken.lexically_normal());
    const auto inSystemTree = insideTree(system.virtualToken, folder / "usr");
    ASSERT_TRUE(inSystemTree) << system.virtualToken;
    EXPECT_EQ(insideTree(moved.virtualToken, folder / "opt/keyvane"), inSystemTree) << moved.virtualToken;
}

TEST(ModuleLocationsTest, AProgramOfTheBuildFolderUsesTheVirtualTokenItsFileNames) {
    TemporaryFolder folder;
    const auto program = folder / "build/src/keyvane";
    std::filesystem::create_directories(program);
    const struct {
        const char* contents;
        std::filesystem::path expected;
    } cases[] = {
        {"virtual-token=/build/tools/libkeyvane-virtual-token.so\n", "/build/tools/libkeyvane-virtual-token.so"},
        {"# written by CMake\n\nvirtual-token=../../tools/libvt.so\n", folder / "build/tools/libvt.so"},
        // A file that names no module: nothing is loaded, never the system's tokens by accident.
        {"virtual-token=\n", {}},
        {"module=/build/tools/libvt.so\n", {}},
        {"", {}},
    };
    for (const auto& testCase : cases) {
        std::ofstream(program / ModuleLocations::buildTreeFile, std::ios::trunc) << testCase.contents;
        const auto locations = ModuleLocations::forProgramIn(program);
        EXPECT_EQ(locations.virtualToken, testCase.expected) << testCase.contents;
        EXPECT_EQ(locations.defaultModule, testCase.expected) << testCase.contents;
    }
}

TEST(ModuleLocationsTest, AProgramWhoseFolderIsUnknownHasNoVirtualToken) {
    // Never a path relative to the working folder.
    const auto locations = ModuleLocations::forProgramIn({});
    EXPECT_TRUE(locations.virtualToken.empty());
    EXPECT_EQ(locations.defaultModule, KEYVANE_TEST_DEFAULT_MODULE);
}

} // namespace
} // namespace keyvane
