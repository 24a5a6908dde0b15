#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace keyvane {

// The folder that both deliverables share: KEYVANE_GROUP_DIR when set, else
// $XDG_DATA_HOME/keyvane/group.Keyvane.shared (XDG_DATA_HOME defaulting to ~/.local/share).
// Created with mode 0700 when missing; an existing folder must be a real directory owned by
// this user, and is narrowed to 0700 when it is open to others. Fails with FileError.
std::filesystem::path groupDirectory();

// Where the group directory is, neither created nor checked: for a reader that must leave no
// trace when there is none yet. Fails with FileError when no location can be found.
std::filesystem::path groupDirectoryLocation();

// The same checks and creation for a given folder.
std::filesystem::path ensurePrivateDirectory(const std::filesystem::path& directory);

// Where a store keeps its files: the folder it was given (a test's, or a caller's that knows
// better), else the group directory, looked up at each use so that a store built before
// KEYVANE_GROUP_DIR changes follows it. A given folder is used as it is.
class GroupFolder {
public:
    explicit GroupFolder(std::optional<std::filesystem::path> chosen = std::nullopt) : chosen_(std::move(chosen)) {}

    // Fails with FileError when the group directory cannot be used.
    std::filesystem::path path() const { return chosen_ ? *chosen_ : groupDirectory(); }
    std::filesystem::path file(std::string_view name) const { return path() / name; }

private:
    std::optional<std::filesystem::path> chosen_;
};

} // namespace keyvane
