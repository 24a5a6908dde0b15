#pragma once

#include <filesystem>
#include <string>

namespace keyvane::test_support {

// A fresh folder of this test's own under the system's temporary folder
// ("<prefix>-XXXXXX"), removed with everything in it when the object goes.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& prefix = "keyvane-test");
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace keyvane::test_support
