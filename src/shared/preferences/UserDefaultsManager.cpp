#include "shared/preferences/UserDefaultsManager.h"

#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"
#include "shared/preferences/PreferencesFile.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace keyvane {

namespace fs = std::filesystem;
using nlohmann::json;

const char* storedKey(UserDefaultsKey key) {
    return key == UserDefaultsKey::onboardingStatus ? "onboardingStatus" : "isBioEnabled";
}

std::optional<Preferences> parsePreferencesFile(std::string_view text) {
    const json document = json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return std::nullopt;
    }
    Preferences preferences;
    for (const auto& [key, value] : document.items()) {
        if (value.is_boolean()) {
            preferences.emplace(key, value.get<bool>());
        } else if (value.is_number_unsigned()) {
            const auto number = value.get<std::uint64_t>();
            if (std::in_range<std::int64_t>(number)) {
                preferences.emplace(key, static_cast<std::int64_t>(number));
            }
        } else if (value.is_number_integer()) {
            preferences.emplace(key, value.get<std::int64_t>());
        } else if (value.is_number_float()) {
            preferences.emplace(key, value.get<double>());
        } else if (value.is_string()) {
            preferences.emplace(key, value.get<std::string>());
        }
    }
    return preferences;
}

std::string serializePreferencesFile(const Preferences& preferences) {
    json document = json::object();
    for (const auto& entry : preferences) {
        const std::string& key = entry.first; // captured below: not a structured binding
        const auto& value = entry.second;
        std::visit(
            [&](const auto& typed) {
                using T = std::decay_t<decltype(typed)>;
                if constexpr (std::is_same_v<T, double>) {
                    // JSON has no NaN or infinity; such a value is not kept.
                    if (std::isfinite(typed)) {
                        document[key] = typed;
                    }
                } else {
                    document[key] = typed;
                }
            },
            value);
    }
    return document.dump(2) + "\n";
}

std::shared_ptr<UserDefaultsManagerProtocol> makeLiveUserDefaultsManager() {
    try {
        groupDirectory();
    } catch (const std::exception&) {
        detail::dependencyFatal("Failed to initialize UserDefaultsManager");
    }
    return std::make_shared<UserDefaultsManager>();
}

UserDefaultsManager::UserDefaultsManager(std::optional<fs::path> directory) : directory_(std::move(directory)) {}

fs::path UserDefaultsManager::directory() const { return directory_ ? *directory_ : groupDirectory(); }

void UserDefaultsManager::modify(const std::function<void(Preferences&)>& change) {
    std::lock_guard guard(lock_);
    try {
        const fs::path folder = directory();
        FileLock fileLock(folder / "preferences.lock");
        const fs::path path = folder / "preferences.json";
        Preferences preferences;
        if (const auto text = readSecureFile(path)) {
            // A damaged file holds nothing that can be read; it is replaced.
            preferences = parsePreferencesFile(*text).value_or(Preferences{});
        }
        change(preferences);
        writeSecureFile(path, serializePreferencesFile(preferences));
    } catch (const std::exception&) {
        // Preference writes report nothing, as the preferences domain does.
    }
}

void UserDefaultsManager::setValue(const PreferenceValue& value, UserDefaultsKey key) {
    modify([&](Preferences& preferences) { preferences[storedKey(key)] = value; });
}

void UserDefaultsManager::removeValue(UserDefaultsKey key) {
    modify([&](Preferences& preferences) { preferences.erase(storedKey(key)); });
}

std::optional<PreferenceValue> UserDefaultsManager::storedValue(UserDefaultsKey key) {
    std::lock_guard guard(lock_);
    try {
        const auto text = readSecureFile(directory() / "preferences.json");
        if (!text) {
            return std::nullopt;
        }
        const auto preferences = parsePreferencesFile(*text);
        if (!preferences) {
            return std::nullopt;
        }
        const auto found = preferences->find(storedKey(key));
        if (found == preferences->end()) {
            return std::nullopt;
        }
        return found->second;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace keyvane
