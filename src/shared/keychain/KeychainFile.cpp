#include "shared/keychain/KeychainFile.h"

#include <nlohmann/json.hpp>

namespace keyvane {

using nlohmann::json;

namespace {
constexpr int fileFormat = 1;

const char* accessibilityName(VNAccessibilityType type) {
    return type == VNAccessibilityType::any ? "any" : "biometryOrPasscode";
}
} // namespace

std::optional<KeychainItems> parseKeychainFile(std::string_view text) {
    const json document = json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return std::nullopt;
    }
    const auto format = document.find("format");
    if (format == document.end() || !format->is_number_integer() || format->get<std::int64_t>() != fileFormat) {
        return std::nullopt;
    }
    const auto items = document.find("items");
    if (items == document.end() || !items->is_object()) {
        return std::nullopt;
    }
    KeychainItems result;
    for (const auto& [key, value] : items->items()) {
        if (!value.is_object()) {
            return std::nullopt;
        }
        const auto data = value.find("data");
        const auto accessibility = value.find("accessibility");
        if (data == value.end() || !data->is_string() || accessibility == value.end() || !accessibility->is_string()) {
            return std::nullopt;
        }
        KeychainItem item;
        item.data = data->get<std::string>();
        const auto& name = accessibility->get_ref<const std::string&>();
        if (name == "any") {
            item.accessibility = VNAccessibilityType::any;
        } else if (name == "biometryOrPasscode") {
            item.accessibility = VNAccessibilityType::biometryOrPasscode;
        } else {
            return std::nullopt;
        }
        result.emplace(key, std::move(item));
    }
    return result;
}

std::string serializeKeychainFile(const KeychainItems& items) {
    json document = json::object();
    document["format"] = fileFormat;
    json& out = document["items"] = json::object();
    for (const auto& [key, item] : items) {
        out[key] = json{{"data", item.data}, {"accessibility", accessibilityName(item.accessibility)}};
    }
    return document.dump();
}

} // namespace keyvane
