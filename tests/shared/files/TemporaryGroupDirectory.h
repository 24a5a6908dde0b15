#pragma once

#include "TemporaryFolder.h"
#include "shared/dependencies/DependencyRegistry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace keyvane::test_support {

// A fresh group directory for one test: KEYVANE_GROUP_DIR points at it while the object
// lives, and the registry forgets every value built for the previous one.
class TemporaryGroupDirectory {
public:
    TemporaryGroupDirectory() : path_(folder_ / "group") {
        if (const char* previous = std::getenv("KEYVANE_GROUP_DIR")) {
            previous_ = previous;
        }
        ::setenv("KEYVANE_GROUP_DIR", path_.c_str(), 1);
        Dependencies::resetForTesting();
    }
    ~TemporaryGroupDirectory() {
        Dependencies::resetForTesting();
        if (previous_) {
            ::setenv("KEYVANE_GROUP_DIR", previous_->c_str(), 1);
        } else {
            ::unsetenv("KEYVANE_GROUP_DIR");
        }
    }
    TemporaryGroupDirectory(const TemporaryGroupDirectory&) = delete;
    TemporaryGroupDirectory& operator=(const TemporaryGroupDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

    static std::string readAll(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    TemporaryFolder folder_{"keyvane-group"};
    std::filesystem::path path_;
    std::optional<std::string> previous_;
};

} // namespace keyvane::test_support
