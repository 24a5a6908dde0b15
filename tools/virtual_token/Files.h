// What the module reads from and says to the outside: files it watches or reads whole, and
// complaints on stderr (the module has no other channel for a problem that is not a call's).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace virtual_token {

void complain(const std::string& message);

// Enough of a file's status to notice that it was rewritten or replaced.
struct FileStamp {
    bool exists = false;
    ino_t inode = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::filesystem::path& path);
std::optional<std::string> readFile(const std::filesystem::path& path);

}  // namespace virtual_token
