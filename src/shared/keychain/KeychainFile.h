#pragma once

#include "shared/keychain/VarnelKeychainManagerProtocol.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace keyvane {

// The items of one access group as they are kept in the group directory.
struct KeychainItem {
    std::string data; // the value's JSON text
    VNAccessibilityType accessibility = VNAccessibilityType::any;
};

using KeychainItems = std::map<std::string, KeychainItem>;

// Nothing when the text is not a well-formed item file (it is then never overwritten, so a
// damaged file loses no item by accident).
std::optional<KeychainItems> parseKeychainFile(std::string_view text);
std::string serializeKeychainFile(const KeychainItems& items);

} // namespace keyvane
