#include "shared/preferences/UserDefaultsManager.h"

#include "shared/files/FileError.h"
#include "shared/files/SecureFile.h"
#include "shared/preferences/PreferencesFile.h"

#include <QtGlobal>

#include <nlohmann/json.hpp>

#include <cmath>

namespace keyvane {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {
constexpr const char* fileName = "preferences.json";
} // namespace

const char* storedKey(UserDefaultsKey key) {
    return key == UserDefaultsKey::onboardingStatus ? "onboardingStatus" : "isBioEnabled";
}

PreferenceState preferenceStateOf(UserDefaultsKey key, const std::optional<PreferenceValue>& value) {
    if (!value) {
        return PreferenceState::absent;
    }
    const bool typed = key == UserDefaultsKey::onboardingStatus ? std::holds_alternative<std::int64_t>(*value)
                                                                : std::holds_alternative<bool>(*value);
    return typed ? PreferenceState::stored : PreferenceState::unreadable;
}

std::optional<PreferencesFileContent> readPreferencesFile(std::string_view text) {
    const json document = json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return std::nullopt;
    }
    PreferencesFileContent content;
    for (const auto& [key, value] : document.items()) {
        if (value.is_boolean()) {
            content.values.emplace(key, value.get<bool>());
        } else if (value.is_number_unsigned() && std::in_range<std::int64_t>(value.get<std::uint64_t>())) {
            content.values.emplace(key, static_cast<std::int64_t>(value.get<std::uint64_t>()));
        } else if (value.is_number_integer() && !value.is_number_unsigned()) {
            content.values.emplace(key, value.get<std::int64_t>());
        } else if (value.is_number_float()) {
            content.values.emplace(key, value.get<double>());
        } else if (value.is_string()) {
            content.values.emplace(key, value.get<std::string>());
        } else {
            content.unusable.insert(key);
        }
    }
    return content;
}

std::optional<Preferences> parsePreferencesFile(std::string_view text) {
    auto content = readPreferencesFile(text);
    if (!content) {
        return std::nullopt;
    }
    return std::move(content->values);
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

// The file as read for one operation: its content, or why it cannot be read.
struct UserDefaultsManager::Reading {
    PreferencesFileContent content;
    std::optional<std::string> problem;
};

UserDefaultsManager::UserDefaultsManager(std::optional<fs::path> directory) : folder_(std::move(directory)) {}

void UserDefaultsManager::report(const std::string& problem) {
    if (problem == lastReported_) {
        return;
    }
    lastReported_ = problem;
    qWarning("preferences: %s", problem.c_str());
}

UserDefaultsManager::Reading UserDefaultsManager::read() {
    fs::path path;
    try {
        path = folder_.file(fileName);
        const auto text = readSecureFile(path);
        if (!text) {
            return {};
        }
        if (auto content = readPreferencesFile(*text)) {
            return {std::move(*content), std::nullopt};
        }
        return {{}, path.string() + ": not a JSON object of preferences; going on with defaults, the next write "
                                    "replaces it"};
    } catch (const FileError& error) {
        if (error.kind == FileError::Kind::symbolicLink) {
            return {{}, error.description() + "; not followed and left as it is: going on with defaults, "
                                              "preferences are not kept until it is removed"};
        }
        return {{}, error.description() + "; going on with defaults, the next write replaces it"};
    } catch (const std::exception& error) {
        return {{}, path.string() + ": " + error.what() + "; going on with defaults"};
    }
}

void UserDefaultsManager::modify(const std::function<void(Preferences&)>& change) {
    std::lock_guard guard(lock_);
    try {
        updateSecureFile(
            folder_.file(fileName),
            [&](const std::optional<std::string>& current) {
                // What cannot be read is replaced, a value of the wrong type under one of our
                // keys dropped; the rest is kept, the other deliverable's keys included.
                Preferences preferences = current ? parsePreferencesFile(*current).value_or(Preferences{})
                                                  : Preferences{};
                for (const auto key : {UserDefaultsKey::onboardingStatus, UserDefaultsKey::isBioEnabled}) {
                    const auto found = preferences.find(storedKey(key));
                    if (found != preferences.end() &&
                        preferenceStateOf(key, found->second) == PreferenceState::unreadable) {
                        preferences.erase(found);
                    }
                }
                change(preferences);
                return std::optional(serializePreferencesFile(preferences));
            },
            RefusedFile::replace);
    } catch (const FileError& error) {
        if (!error.landed()) {
            report(error.description() + (error.kind == FileError::Kind::symbolicLink
                                              ? "; not followed and left as it is: the preference is not kept"
                                              : "; the preference is not kept"));
        }
    } catch (const std::exception&) {
        // Preference writes report nothing to the caller, as the preferences domain does.
    }
}

void UserDefaultsManager::setValue(const PreferenceValue& value, UserDefaultsKey key) {
    modify([&](Preferences& preferences) { preferences[storedKey(key)] = value; });
}

void UserDefaultsManager::removeValue(UserDefaultsKey key) {
    modify([&](Preferences& preferences) { preferences.erase(storedKey(key)); });
}

std::pair<PreferenceState, std::optional<PreferenceValue>> UserDefaultsManager::lookup(UserDefaultsKey key) {
    std::lock_guard guard(lock_);
    const auto reading = read();
    if (reading.problem) {
        report(*reading.problem);
        return {PreferenceState::unreadable, std::nullopt};
    }
    const std::string name = storedKey(key);
    std::optional<PreferenceValue> value;
    if (const auto found = reading.content.values.find(name); found != reading.content.values.end()) {
        value = found->second;
    }
    const auto state =
        reading.content.unusable.count(name) != 0 ? PreferenceState::unreadable : preferenceStateOf(key, value);
    if (state == PreferenceState::unreadable) {
        report(folder_.file(fileName).string() + ": \"" + name +
               "\" holds a value of another type; going on with its default, the next write replaces it");
    }
    return {state, std::move(value)};
}

std::optional<PreferenceValue> UserDefaultsManager::storedValue(UserDefaultsKey key) { return lookup(key).second; }

PreferenceState UserDefaultsManager::state(UserDefaultsKey key) { return lookup(key).first; }

} // namespace keyvane
