#pragma once

#include "shared/preferences/UserDefaultsManagerProtocol.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace keyvane {

using Preferences = std::map<std::string, PreferenceValue>;

// A JSON object of typed values. Values of other JSON types are left out; nothing when the
// text is not a JSON object.
std::optional<Preferences> parsePreferencesFile(std::string_view text);
std::string serializePreferencesFile(const Preferences& preferences);

} // namespace keyvane
