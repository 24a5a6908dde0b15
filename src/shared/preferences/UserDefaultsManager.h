#pragma once

#include "shared/files/GroupDirectory.h"
#include "shared/preferences/PreferencesFile.h"
#include "shared/preferences/UserDefaultsManagerProtocol.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace keyvane {

// The preferences of the group as one JSON file ("preferences.json", 0600) in the group
// directory. Writes re-read the file under its cross-process lock, so a change by the other
// deliverable is never dropped; a write that fails is not reported to the caller.
//
// A file that cannot be read (open to other users, not ours, unparsable) or a value of
// another type than its key's reads as nothing, with the problem logged with the file's path;
// the next write replaces the file, keeping what could be read. A symbolic link is never
// followed nor replaced: it is logged and left as it is, and writes do not happen.
class UserDefaultsManager final : public UserDefaultsManagerProtocol {
public:
    // Without a directory, the group directory is looked up at each operation.
    explicit UserDefaultsManager(std::optional<std::filesystem::path> directory = std::nullopt);

    void setValue(const PreferenceValue& value, UserDefaultsKey key) override;
    std::optional<PreferenceValue> storedValue(UserDefaultsKey key) override;
    void removeValue(UserDefaultsKey key) override;
    PreferenceState state(UserDefaultsKey key) override;

private:
    struct Reading;
    Reading read();
    // The key's state and its value as stored (of any type); a problem is logged.
    std::pair<PreferenceState, std::optional<PreferenceValue>> lookup(UserDefaultsKey key);
    void modify(const std::function<void(Preferences&)>& change);
    // Logs a problem once, until another one is seen; never holds a secret (preferences hold
    // none).
    void report(const std::string& problem);

    std::mutex lock_;
    GroupFolder folder_;
    std::string lastReported_;
};

} // namespace keyvane
