#pragma once

#include "shared/preferences/PreferencesFile.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>

namespace keyvane {

// The preferences of the group as one JSON file ("preferences.json", 0600) in the group
// directory. Writes re-read the file under its cross-process lock, so a change by the other
// deliverable is never dropped; a write that fails is not reported.
class UserDefaultsManager final : public UserDefaultsManagerProtocol {
public:
    // Without a directory, the group directory is looked up at each operation.
    explicit UserDefaultsManager(std::optional<std::filesystem::path> directory = std::nullopt);

    void setValue(const PreferenceValue& value, UserDefaultsKey key) override;
    std::optional<PreferenceValue> storedValue(UserDefaultsKey key) override;
    void removeValue(UserDefaultsKey key) override;

private:
    std::filesystem::path directory() const;
    void modify(const std::function<void(Preferences&)>& change);

    std::mutex lock_;
    std::optional<std::filesystem::path> directory_;
};

} // namespace keyvane
