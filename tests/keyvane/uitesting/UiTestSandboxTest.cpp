#include "keyvane/uitesting/UiTestSandbox.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace keyvane::app {
namespace {

namespace fs = std::filesystem;

const char* const redirected[] = {"KEYVANE_GROUP_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                  "KEYVANE_VIRTUAL_TOKEN_CONFIG", "SOFTHSM2_CONF"};
const char* const chosen[] = {"KEYVANE_TPM_TCTI", "KEYVANE_PKCS11_MODULE", "DBUS_SYSTEM_BUS_ADDRESS"};

// Puts the variables the sandbox sets back as they were, so other tests never see its folder.
class EnvironmentGuard {
public:
    EnvironmentGuard() {
        for (const char* name : redirected) {
            remember(name);
        }
        for (const char* name : chosen) {
            remember(name);
        }
        remember("TMPDIR");
    }
    ~EnvironmentGuard() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

private:
    void remember(const char* name) {
        const char* value = std::getenv(name);
        saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

bool inside(const fs::path& path, const fs::path& folder) {
    const auto relative = path.lexically_normal().lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

TEST(UiTestSandboxTest, PointsEveryStoreAndTheTokenIntoTheRunsFolderAndRemovesIt) {
    EnvironmentGuard guard;
    test_support::TemporaryFolder temporary("keyvane-sandbox-test");
    ::setenv("TMPDIR", temporary.path().c_str(), 1);
    // The user's own choices, which the run must not follow.
    ::setenv("KEYVANE_GROUP_DIR", "/home/someone/.local/share/keyvane/group.Keyvane.shared", 1);
    ::setenv("KEYVANE_PKCS11_MODULE", "/usr/lib/x86_64-linux-gnu/p11-kit-proxy.so", 1);
    ::setenv("KEYVANE_TPM_TCTI", "device:/dev/tpmrm0", 1);

    fs::path root;
    {
        UiTestSandbox sandbox("/opt/keyvane/libkeyvane-virtual-token.so");
        root = sandbox.root();
        EXPECT_TRUE(inside(root, temporary.path())) << root;
        for (const char* name : redirected) {
            ASSERT_NE(std::getenv(name), nullptr) << name;
            EXPECT_TRUE(inside(std::getenv(name), root)) << name << "=" << std::getenv(name);
        }
        EXPECT_STREQ(std::getenv("KEYVANE_PKCS11_MODULE"), "/opt/keyvane/libkeyvane-virtual-token.so");
        EXPECT_STREQ(std::getenv("KEYVANE_TPM_TCTI"), "none");
        const std::string bus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        ASSERT_TRUE(bus.starts_with("unix:path=")) << bus;
        EXPECT_TRUE(inside(bus.substr(10), root)) << bus;
        EXPECT_FALSE(fs::exists(bus.substr(10)));
        EXPECT_TRUE(fs::is_directory(std::getenv("KEYVANE_GROUP_DIR")));
        EXPECT_TRUE(fs::is_regular_file(std::getenv("KEYVANE_VIRTUAL_TOKEN_CONFIG")));
        EXPECT_TRUE(fs::is_regular_file(std::getenv("SOFTHSM2_CONF")));
        EXPECT_EQ(fs::status(root).permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);

        sandbox.remove();
        EXPECT_FALSE(fs::exists(root));
        sandbox.remove();
    }
    EXPECT_FALSE(fs::exists(root));
}

} // namespace
} // namespace keyvane::app
