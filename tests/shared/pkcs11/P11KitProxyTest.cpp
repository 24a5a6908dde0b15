// p11-kit's proxy module as Keyvane's module: the way a Linux user reaches every token that
// p11-kit knows of. The proxy loads the modules registered in its configuration folders; here
// the virtual token and SoftHSM2, registered under a temporary configuration.
#include "shared/passkeys/PasskeyManager.h"
#include "shared/pkcs11/Pkcs11Manager.h"
#include "shared/pkcs11/TokenLoginManager.h"

#include "VirtualTokenFixture.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace keyvane {
namespace {

using namespace std::chrono_literals;
using testing::VirtualTokenFixture;
using testing::VirtualTokenSettings;

constexpr auto patience = 10s; // an upper bound for a condition wait, never a sleep

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

// Points the proxy at a configuration of the test's own: an empty system configuration and one
// module file per module. p11-kit reads a user's own configuration (~/.config/pkcs11, or under
// XDG_CONFIG_HOME) only for processes that do not run as root, and the system's folders hold
// whatever the machine registered; its hook for test configurations replaces both. It must run
// before the proxy's C_Initialize, in the one copy of the library that Keyvane will load.
void registerModules(const std::filesystem::path& directory, const std::map<std::string, std::string>& modules) {
    const auto moduleFolder = directory / "modules";
    std::filesystem::create_directories(moduleFolder);
    writeFile(directory / "pkcs11.conf", "user-config: none\n");
    for (const auto& [name, path] : modules) {
        writeFile(moduleFolder / (name + ".module"), "module: " + path + "\n");
    }
    void* proxy = dlopen(KEYVANE_P11KIT_PROXY, RTLD_NOW | RTLD_LOCAL); // kept: never unloaded
    ASSERT_NE(proxy, nullptr) << dlerror();
    using Override = void (*)(const char*, const char*, const char*, const char*, const char*);
    const auto override = reinterpret_cast<Override>(dlsym(proxy, "p11_kit_override_system_files"));
    ASSERT_NE(override, nullptr);
    // p11-kit keeps the pointers, not copies: the texts live as long as the process.
    static std::vector<std::string> paths;
    paths = {(directory / "pkcs11.conf").string(), (directory / "none").string(), moduleFolder.string()};
    override(paths[0].c_str(), paths[1].c_str(), paths[1].c_str(), paths[2].c_str(), paths[1].c_str());
}

TEST(P11KitProxyTest, TokensOfEveryRegisteredModuleAreListedAndLoggedInThroughTheProxy) {
    VirtualTokenSettings supported;
    VirtualTokenSettings withoutEcKeys;
    withoutEcKeys.slot = 2;
    withoutEcKeys.serial = "77";
    withoutEcKeys.hiddenMechanisms = {CKM_EC_KEY_PAIR_GEN};
    VirtualTokenFixture fixture({supported, withoutEcKeys});
    registerModules(fixture.directory() / "p11-kit",
                    {{"keyvane-virtual-token", VirtualTokenFixture::modulePath().string()},
                     {"softhsm2", KEYVANE_SOFTHSM2_MODULE}});

    auto manager = std::make_shared<Pkcs11Manager>(Pkcs11Library::load(KEYVANE_P11KIT_PROXY), 10ms);
    const auto stream = manager->startMonitoring();
    // The virtual token's two slots, and through SoftHSM2 itself the two tokens behind them;
    // SoftHSM2's empty slot for a new token has no serial to be known by and is left out.
    std::map<std::string, std::shared_ptr<Pkcs11TokenProtocol>> tokens;
    while (tokens.size() < 4) {
        const auto event = stream.next(patience);
        ASSERT_TRUE(event) << "monitoring ended after " << tokens.size() << " tokens";
        ASSERT_NE(event->as<Pkcs11TokenEvent::added>(), nullptr);
        tokens[event->serial()] = manager->getToken(event->serial());
        ASSERT_NE(tokens[event->serial()], nullptr);
    }
    // Through the proxy there is no vendor function: every token is read through standard calls.
    ASSERT_EQ(tokens.count("0313210061"), 1U);
    EXPECT_TRUE(tokens["0313210061"]->isSupported());
    EXPECT_EQ(tokens["0313210061"]->model(), "Test token");
    ASSERT_EQ(tokens.count("0000000119"), 1U);
    EXPECT_FALSE(tokens["0000000119"]->isSupported()); // cannot make passkeys: shown, never used
    std::size_t softHsmTokens = 0;
    for (const auto& [serial, token] : tokens) {
        softHsmTokens += token->model() == "SoftHSM v2" ? 1 : 0;
    }
    EXPECT_EQ(softHsmTokens, 2U);

    TokenLoginManager login(manager);
    EXPECT_NO_THROW(login.login("0313210061", "12345678"));
    try {
        login.login("0313210061", "0000");
        ADD_FAILURE() << "a wrong PIN was accepted";
    } catch (const TokenLoginManagerError& error) {
        EXPECT_TRUE(error.is<TokenLoginManagerError::incorrectPin>()) << error.description();
    }
    login.login("0313210061", "12345678");
    PasskeyManager passkeys(manager);
    EXPECT_TRUE(passkeys.getCredentials("0313210061").empty());

    manager->stopMonitoring();
    manager.reset(); // finalises the proxy, and so its modules, before the fixture's folder goes
}

} // namespace
} // namespace keyvane
