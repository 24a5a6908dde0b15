#include "TemporaryFolder.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace keyvane::test_support {

TemporaryFolder::TemporaryFolder(const std::string& prefix) {
    const std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    path_ = name.data();
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace keyvane::test_support
