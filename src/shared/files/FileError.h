#pragma once

#include "shared/errors/Error.h"

#include <string>

namespace keyvane {

// A file of ours in the group directory could not be used safely: a system call failed, or
// the file is not ours, is open to other users, or is a symbolic link.
class FileError final : public ErrorValue<FileError> {
public:
    FileError(std::string path, std::string reason) : path(std::move(path)), reason(std::move(reason)) {}
    std::string description() const override { return "FileError: " + path + ": " + reason; }

    std::string path;
    std::string reason;
};

} // namespace keyvane
