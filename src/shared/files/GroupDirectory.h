#pragma once

#include <filesystem>

namespace keyvane {

// The folder that both deliverables share: KEYVANE_GROUP_DIR when set, else
// $XDG_DATA_HOME/keyvane/group.Keyvane.shared (XDG_DATA_HOME defaulting to ~/.local/share).
// Created with mode 0700 when missing; an existing folder must be a real directory owned by
// this user, and is narrowed to 0700 when it is open to others. Fails with FileError.
std::filesystem::path groupDirectory();

// The same checks and creation for a given folder.
std::filesystem::path ensurePrivateDirectory(const std::filesystem::path& directory);

} // namespace keyvane
