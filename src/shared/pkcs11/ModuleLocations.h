#pragma once

#include <filesystem>

namespace keyvane {

// Where a program of ours finds the PKCS#11 modules it loads without being told which
// (KEYVANE_PKCS11_MODULE comes first: Pkcs11Library::configuredModulePath). Both come from the
// folder of the running program, never from a path of the build folder, so an installed tree
// works wherever it was installed:
// - an installed program: the virtual token in the library folder of the same tree (the path
//   from the programs' folder to it is fixed when the build is configured, relative), and the
//   system module fixed then (p11-kit's proxy) as the default;
// - a program in the build folder: CMake writes buildTreeFile beside it, naming the virtual
//   token built with it, which is then also the default, so the build's programs run on the
//   demo and test tokens as they are. That file is never installed.
struct ModuleLocations {
    // The module loaded when KEYVANE_PKCS11_MODULE is not set.
    std::filesystem::path defaultModule;
    // The virtual token shipped with the program (the user-interface test mode's token);
    // empty when the program's folder is unknown or its build-tree file names none.
    std::filesystem::path virtualToken;

    // Lines "name=value"; the one name read is "virtual-token", an absolute path or one
    // relative to the program's folder.
    static constexpr const char* buildTreeFile = "keyvane-build-tree.conf";

    // The locations of a program whose executable lies in `programFolder` (empty: unknown).
    static ModuleLocations forProgramIn(const std::filesystem::path& programFolder);
    // Those of this process: the folder of its executable, symbolic links resolved.
    static ModuleLocations ofThisProgram();
};

} // namespace keyvane
