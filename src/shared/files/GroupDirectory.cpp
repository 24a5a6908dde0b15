#include "shared/files/GroupDirectory.h"

#include "shared/files/FileError.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace keyvane {

namespace fs = std::filesystem;

fs::path ensurePrivateDirectory(const fs::path& directory) {
    std::error_code error;
    if (directory.has_parent_path()) {
        fs::create_directories(directory.parent_path(), error);
        if (error) {
            throw FileError(directory.parent_path().string(), error.message());
        }
    }
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        throw FileError(directory.string(), std::strerror(errno));
    }
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0) {
        throw FileError(directory.string(), std::strerror(errno));
    }
    if (S_ISLNK(info.st_mode)) {
        throw FileError(directory.string(), "is a symbolic link; refused", FileError::Kind::symbolicLink);
    }
    if (!S_ISDIR(info.st_mode)) {
        throw FileError(directory.string(), "not a directory", FileError::Kind::refused);
    }
    if (info.st_uid != ::geteuid()) {
        throw FileError(directory.string(), "owned by another user", FileError::Kind::refused);
    }
    if ((info.st_mode & 0077) != 0 && ::chmod(directory.c_str(), 0700) != 0) {
        throw FileError(directory.string(), std::string("cannot restrict to its owner: ") + std::strerror(errno));
    }
    return directory;
}

fs::path groupDirectory() { return ensurePrivateDirectory(groupDirectoryLocation()); }

fs::path groupDirectoryLocation() {
    if (const char* configured = std::getenv("KEYVANE_GROUP_DIR"); configured != nullptr && *configured != '\0') {
        return fs::path(configured);
    }
    fs::path dataHome;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        dataHome = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        dataHome = fs::path(home) / ".local" / "share";
    } else {
        throw FileError("$HOME", "neither KEYVANE_GROUP_DIR, XDG_DATA_HOME nor HOME is set");
    }
    return dataHome / "keyvane" / "group.Keyvane.shared";
}

} // namespace keyvane
