#pragma once

#include "shared/errors/Error.h"

#include <string>

namespace keyvane {

// A file of ours in the group directory could not be used safely: a system call failed, or
// the file is not ours, is open to other users, or is a symbolic link.
class FileError final : public ErrorValue<FileError> {
public:
    // What happened, for callers that act differently on each.
    enum class Kind {
        // A system call failed; nothing was changed.
        failed,
        // The file is there but is not ours to use: owned by another user, open to other
        // users, or not a regular file.
        refused,
        // The path is a symbolic link; it is never followed.
        symbolicLink,
        // A write landed (the new content is in place and every reader sees it) but the
        // directory's fsync after the rename failed: whether it survives a crash is unknown.
        landedNotDurable,
    };

    FileError(std::string path, std::string reason, Kind kind = Kind::failed)
        : path(std::move(path)), reason(std::move(reason)), kind(kind) {}
    std::string description() const override {
        std::string text = "FileError: " + path + ": " + reason;
        if (kind == Kind::landedNotDurable) {
            text += " (the new content is in place; whether it survives a crash is unknown)";
        }
        return text;
    }
    // The write's new content is in place despite the error.
    bool landed() const { return kind == Kind::landedNotDurable; }

    std::string path;
    std::string reason;
    Kind kind;
};

} // namespace keyvane
