#include "Files.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace virtual_token {

void complain(const std::string& message) {
    std::fprintf(stderr, "keyvane-virtual-token: %s\n", message.c_str());
}

FileStamp stampOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    return {true, status.st_ino,
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
            static_cast<std::int64_t>(status.st_size)};
}

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace virtual_token
