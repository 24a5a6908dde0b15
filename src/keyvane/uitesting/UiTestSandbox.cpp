#include "keyvane/uitesting/UiTestSandbox.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace keyvane::app {
namespace {

void setVariable(const char* name, const std::filesystem::path& value) {
    if (::setenv(name, value.c_str(), 1) != 0) {
        throw std::system_error(errno, std::generic_category(), std::string("setenv ") + name);
    }
}

void writeFile(const std::filesystem::path& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::filesystem::path makeRunFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "keyvane-ui-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    return pattern;
}

} // namespace

UiTestSandbox::UiTestSandbox(const std::filesystem::path& virtualTokenModule) : root_(makeRunFolder()) {
    try {
        for (const char* folder : {"group", "config", "data", "cache", "token", "token/tokens"}) {
            std::filesystem::create_directory(root_ / folder);
            std::filesystem::permissions(root_ / folder, std::filesystem::perms::owner_all);
        }
        const auto token = root_ / "token";
        writeFile(token / "softhsm2.conf",
                  "directories.tokendir = " + (token / "tokens").string() + "\nobjectstore.backend = file\nlog.level = ERROR\n");
        writeFile(token / "virtual-token.json", "{\"slots\": []}\n");

        setVariable("KEYVANE_GROUP_DIR", root_ / "group");
        setVariable("XDG_CONFIG_HOME", root_ / "config");
        setVariable("XDG_DATA_HOME", root_ / "data");
        setVariable("XDG_CACHE_HOME", root_ / "cache");
        setVariable("KEYVANE_TPM_TCTI", "none");
        setVariable("KEYVANE_PKCS11_MODULE", virtualTokenModule);
        setVariable("KEYVANE_VIRTUAL_TOKEN_CONFIG", token / "virtual-token.json");
        setVariable("SOFTHSM2_CONF", token / "softhsm2.conf");
        // No system bus: the fingerprint reader of the machine never answers a scenario, so a
        // screen never depends on whether one is there.
        setVariable("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (root_ / "no-system-bus").string());
    } catch (...) {
        remove();
        throw;
    }
}

UiTestSandbox::~UiTestSandbox() { remove(); }

void UiTestSandbox::remove() noexcept {
    if (removed_) {
        return;
    }
    removed_ = true;
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

} // namespace keyvane::app
