#include "shared/pkcs11/ModuleLocations.h"

#include <fstream>
#include <string>
#include <system_error>

// Both fixed when the build is configured (src/shared/pkcs11/CMakeLists.txt): a system path,
// and a path relative to the installed programs' folder.
#ifndef KEYVANE_DEFAULT_PKCS11_MODULE
#define KEYVANE_DEFAULT_PKCS11_MODULE ""
#endif
#ifndef KEYVANE_INSTALLED_VIRTUAL_TOKEN
#define KEYVANE_INSTALLED_VIRTUAL_TOKEN ""
#endif

namespace keyvane {

namespace {

// The "virtual-token" line of a build-tree file, resolved against the program's folder.
std::filesystem::path buildTreeVirtualToken(std::ifstream& file, const std::filesystem::path& programFolder) {
    static constexpr std::string_view key = "virtual-token=";
    std::string line;
    while (std::getline(file, line)) {
        if (line.starts_with(key) && line.size() > key.size()) {
            return (programFolder / line.substr(key.size())).lexically_normal();
        }
    }
    return {};
}

} // namespace

ModuleLocations ModuleLocations::forProgramIn(const std::filesystem::path& programFolder) {
    if (programFolder.empty()) {
        return {.defaultModule = KEYVANE_DEFAULT_PKCS11_MODULE, .virtualToken = {}};
    }
    if (std::ifstream file(programFolder / buildTreeFile); file.is_open()) {
        auto module = buildTreeVirtualToken(file, programFolder);
        return {.defaultModule = module, .virtualToken = module};
    }
    const std::filesystem::path installed = KEYVANE_INSTALLED_VIRTUAL_TOKEN;
    return {.defaultModule = KEYVANE_DEFAULT_PKCS11_MODULE,
            .virtualToken = installed.empty() ? installed : (programFolder / installed).lexically_normal()};
}

ModuleLocations ModuleLocations::ofThisProgram() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return forProgramIn(error ? std::filesystem::path() : program.parent_path());
}

} // namespace keyvane
