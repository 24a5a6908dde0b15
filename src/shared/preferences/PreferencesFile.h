#pragma once

#include "shared/preferences/UserDefaultsManagerProtocol.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace keyvane {

using Preferences = std::map<std::string, PreferenceValue>;

// What a preferences file holds: its typed values, and the keys whose value is of no
// preference type (null, an array, an object, an integer out of range), which are damaged
// rather than absent.
struct PreferencesFileContent {
    Preferences values;
    std::set<std::string> unusable;
};

// Nothing when the text is not a JSON object.
std::optional<PreferencesFileContent> readPreferencesFile(std::string_view text);

// The typed values only; nothing when the text is not a JSON object.
std::optional<Preferences> parsePreferencesFile(std::string_view text);
std::string serializePreferencesFile(const Preferences& preferences);

} // namespace keyvane
