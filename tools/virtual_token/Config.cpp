#include "Config.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace virtual_token {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// Numbers may be written in JSON or as "0x..." text, since vendor values read best in hex.
std::uint64_t unsignedOf(const json& value, const std::string& what) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    if (value.is_string()) {
        const auto text = value.get<std::string>();
        int base = 10;
        std::string_view digits = text;
        if (digits.starts_with("0x") || digits.starts_with("0X")) {
            base = 16;
            digits.remove_prefix(2);
        }
        std::uint64_t result = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), result, base);
        if (!digits.empty() && error == std::errc{} && end == digits.data() + digits.size()) {
            return result;
        }
    }
    throw ConfigError(what + ": expected an unsigned number");
}

bool boolOf(const json& value, const std::string& what) {
    if (!value.is_boolean()) {
        throw ConfigError(what + ": expected true or false");
    }
    return value.get<bool>();
}

std::string stringOf(const json& value, const std::string& what) {
    if (!value.is_string()) {
        throw ConfigError(what + ": expected text");
    }
    return value.get<std::string>();
}

std::string bytesFromHex(const std::string& hex, const std::string& what) {
    if (hex.size() % 2 != 0) {
        throw ConfigError(what + ": odd number of hex digits");
    }
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (error != std::errc{} || end != hex.data() + i + 2) {
            throw ConfigError(what + ": not hex");
        }
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

// A fixed-width text field of CK_TOKEN_INFO: "name" is text padded with blanks, "name_bytes" is
// the exact bytes in hex (for fields that are not valid UTF-8 or hold zero bytes).
std::optional<std::string> fieldOf(const json& slot, const std::string& name, std::size_t width,
                                   const std::string& where) {
    std::optional<std::string> text;
    if (slot.contains(name)) {
        text = stringOf(slot.at(name), where + "." + name);
    }
    if (slot.contains(name + "_bytes")) {
        if (text) {
            throw ConfigError(where + ": both " + name + " and " + name + "_bytes");
        }
        text = bytesFromHex(stringOf(slot.at(name + "_bytes"), where + "." + name + "_bytes"),
                            where + "." + name + "_bytes");
    }
    if (!text) {
        return std::nullopt;
    }
    if (text->size() > width) {
        throw ConfigError(where + "." + name + ": longer than " + std::to_string(width) + " bytes");
    }
    text->resize(width, ' ');
    return text;
}

CK_VERSION versionOf(const json& value, const std::string& what) {
    if (!value.is_array() || value.size() != 2) {
        throw ConfigError(what + ": expected [major, minor]");
    }
    CK_VERSION version{};
    const auto major = unsignedOf(value[0], what);
    const auto minor = unsignedOf(value[1], what);
    if (major > 255 || minor > 255) {
        throw ConfigError(what + ": each part must be at most 255");
    }
    version.major = static_cast<CK_BYTE>(major);
    version.minor = static_cast<CK_BYTE>(minor);
    return version;
}

CK_ULONG memoryOf(const json& slot, const char* name, const std::string& where) {
    if (!slot.contains(name) || slot.at(name).is_null()) {
        return CK_UNAVAILABLE_INFORMATION;
    }
    return unsignedOf(slot.at(name), where + "." + name);
}

TouchConfig touchOf(const json& value, const std::string& where) {
    if (!value.is_object()) {
        throw ConfigError(where + ": expected an object");
    }
    TouchConfig touch;
    for (const auto& [key, item] : value.items()) {
        const auto what = where + "." + key;
        if (key == "mode") {
            touch.mode = unsignedOf(item, what);
        } else if (key == "user_present_time_limit") {
            touch.userPresentTimeLimit = unsignedOf(item, what);
        } else if (key == "user_action_timeout") {
            touch.userActionTimeout = unsignedOf(item, what);
        } else if (key == "delay_ms") {
            touch.delayMs = static_cast<unsigned>(unsignedOf(item, what));
        } else if (key == "outcome") {
            const auto outcome = stringOf(item, what);
            if (outcome != "confirm" && outcome != "reject") {
                throw ConfigError(what + ": expected \"confirm\" or \"reject\"");
            }
            touch.reject = outcome == "reject";
        } else if (key == "settings_object") {
            touch.settingsObject = boolOf(item, what);
        } else {
            throw ConfigError(what + ": unknown key");
        }
    }
    return touch;
}

SlotConfig slotOf(const json& value, std::size_t index) {
    const auto where = "slots[" + std::to_string(index) + "]";
    if (!value.is_object()) {
        throw ConfigError(where + ": expected an object");
    }
    static const std::vector<std::string> known = {
        "slot", "backing_label", "present", "serial", "serial_bytes", "label", "label_bytes",
        "manufacturer", "manufacturer_bytes", "model", "model_bytes", "hardware_version",
        "firmware_version", "token_class", "total_memory", "free_memory", "vendor_record",
        "vendor_flags", "model_name", "pin_retries", "touch", "hide_mechanisms", "ecdsa_sha256"};
    for (const auto& [key, item] : value.items()) {
        if (std::find(known.begin(), known.end(), key) == known.end()) {
            throw ConfigError(where + "." + key + ": unknown key");
        }
    }
    SlotConfig slot;
    if (!value.contains("slot") || !value.contains("backing_label")) {
        throw ConfigError(where + ": \"slot\" and \"backing_label\" are required");
    }
    slot.slot = unsignedOf(value.at("slot"), where + ".slot");
    slot.backingLabel = stringOf(value.at("backing_label"), where + ".backing_label");
    if (value.contains("present")) {
        slot.present = boolOf(value.at("present"), where + ".present");
    }
    slot.serialField = fieldOf(value, "serial", 16, where);
    slot.labelField = fieldOf(value, "label", 32, where);
    slot.manufacturerField = fieldOf(value, "manufacturer", 32, where);
    slot.modelField = fieldOf(value, "model", 16, where);
    if (value.contains("hardware_version")) {
        slot.hardwareVersion = versionOf(value.at("hardware_version"), where + ".hardware_version");
    }
    if (value.contains("firmware_version")) {
        slot.firmwareVersion = versionOf(value.at("firmware_version"), where + ".firmware_version");
    }
    if (value.contains("token_class")) {
        slot.tokenClass = unsignedOf(value.at("token_class"), where + ".token_class");
    }
    slot.totalMemory = memoryOf(value, "total_memory", where);
    slot.freeMemory = memoryOf(value, "free_memory", where);
    if (value.contains("vendor_record")) {
        slot.vendorRecord = boolOf(value.at("vendor_record"), where + ".vendor_record");
    }
    if (value.contains("vendor_flags")) {
        slot.vendorFlags = unsignedOf(value.at("vendor_flags"), where + ".vendor_flags");
    }
    if (value.contains("model_name") && !value.at("model_name").is_null()) {
        slot.modelName = stringOf(value.at("model_name"), where + ".model_name");
    }
    if (value.contains("pin_retries")) {
        slot.pinRetries = unsignedOf(value.at("pin_retries"), where + ".pin_retries");
        if (slot.pinRetries == 0) {
            throw ConfigError(where + ".pin_retries: must be at least 1");
        }
    }
    if (value.contains("touch") && !value.at("touch").is_null()) {
        slot.touch = touchOf(value.at("touch"), where + ".touch");
    }
    if (value.contains("hide_mechanisms")) {
        const auto& list = value.at("hide_mechanisms");
        if (!list.is_array()) {
            throw ConfigError(where + ".hide_mechanisms: expected a list");
        }
        for (const auto& item : list) {
            slot.hiddenMechanisms.push_back(unsignedOf(item, where + ".hide_mechanisms"));
        }
    }
    if (value.contains("ecdsa_sha256")) {
        slot.ecdsaSha256 = boolOf(value.at("ecdsa_sha256"), where + ".ecdsa_sha256");
    }
    return slot;
}

std::vector<FaultRule> faultsOf(const json& list, const std::string& where) {
    if (!list.is_array()) {
        throw ConfigError(where + ": expected a list");
    }
    std::vector<FaultRule> faults;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto& item = list[i];
        const auto at = where + "[" + std::to_string(i) + "]";
        const bool acts = item.is_object() && (item.contains("rv") || item.contains("delay_ms") || item.contains("logout"));
        if (!item.is_object() || !item.contains("function") || !acts) {
            throw ConfigError(at + ": expected {\"function\", at least one of \"rv\", \"delay_ms\", \"logout\", "
                                   "optional \"call\", \"times\", \"id\"}");
        }
        for (const auto& [key, ignored] : item.items()) {
            if (key != "function" && key != "rv" && key != "delay_ms" && key != "logout" && key != "call" &&
                key != "times" && key != "id") {
                throw ConfigError(at + "." + key + ": unknown key");
            }
        }
        FaultRule fault;
        fault.function = stringOf(item.at("function"), at + ".function");
        if (item.contains("rv")) {
            fault.rv = unsignedOf(item.at("rv"), at + ".rv");
        }
        if (item.contains("delay_ms")) {
            fault.delayMs = static_cast<unsigned>(unsignedOf(item.at("delay_ms"), at + ".delay_ms"));
        }
        if (item.contains("logout")) {
            fault.logout = boolOf(item.at("logout"), at + ".logout");
        }
        if (item.contains("call")) {
            fault.call = unsignedOf(item.at("call"), at + ".call");
            if (fault.call == 0) {
                throw ConfigError(at + ".call: counts from 1");
            }
        }
        if (item.contains("times")) {
            fault.times = unsignedOf(item.at("times"), at + ".times");
        }
        fault.key = item.dump();
        faults.push_back(std::move(fault));
    }
    return faults;
}

fs::path besideConfig(const fs::path& config, const json& value, const std::string& what) {
    const fs::path path = stringOf(value, what);
    return path.is_absolute() ? path : config.parent_path() / path;
}

json parse(const std::string& text, const std::string& what) {
    try {
        return json::parse(text);
    } catch (const json::exception& error) {
        throw ConfigError(what + ": " + error.what());
    }
}

}  // namespace

Config readConfig(const fs::path& path) {
    std::ifstream file(path);
    if (!file) {
        throw ConfigError("cannot read " + path.string());
    }
    std::stringstream text;
    text << file.rdbuf();
    const auto root = parse(text.str(), path.string());
    if (!root.is_object()) {
        throw ConfigError(path.string() + ": expected a JSON object");
    }
    Config config;
    config.path = fs::absolute(path);
    for (const auto& [key, value] : root.items()) {
        if (key == "backend") {
            config.backend = stringOf(value, key);
        } else if (key == "control") {
            config.control = besideConfig(config.path, value, key);
        } else if (key == "state") {
            config.state = besideConfig(config.path, value, key);
        } else if (key == "log") {
            config.log = besideConfig(config.path, value, key);
        } else if (key == "faults") {
            config.faults = faultsOf(value, key);
        } else if (key == "slots") {
            if (!value.is_array()) {
                throw ConfigError("slots: expected a list");
            }
            for (std::size_t i = 0; i < value.size(); ++i) {
                config.slots.push_back(slotOf(value[i], i));
            }
        } else {
            throw ConfigError(key + ": unknown key");
        }
    }
    for (std::size_t i = 0; i < config.slots.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (config.slots[i].slot == config.slots[j].slot) {
                throw ConfigError("slots: slot " + std::to_string(config.slots[i].slot) + " appears twice");
            }
        }
    }
    return config;
}

Control parseControl(const std::string& text) {
    const auto root = parse(text, "control");
    if (!root.is_object()) {
        throw ConfigError("control: expected a JSON object");
    }
    Control control;
    if (root.contains("faults")) {
        control.faults = faultsOf(root.at("faults"), "control.faults");
    }
    if (root.contains("slots")) {
        const auto& slots = root.at("slots");
        if (!slots.is_object()) {
            throw ConfigError("control.slots: expected an object keyed by slot id");
        }
        for (const auto& [key, value] : slots.items()) {
            const auto where = "control.slots." + key;
            ControlSlot slot;
            if (!value.is_object()) {
                throw ConfigError(where + ": expected an object");
            }
            for (const auto& [name, ignored] : value.items()) {
                if (name != "present" && name != "events" && name != "touch_outcome" && name != "touch_delay_ms" &&
                    name != "free_memory") {
                    throw ConfigError(where + "." + name + ": unknown key");
                }
            }
            if (value.contains("present")) {
                slot.present = boolOf(value.at("present"), where + ".present");
            }
            if (value.contains("events")) {
                slot.events = unsignedOf(value.at("events"), where + ".events");
            }
            if (value.contains("touch_outcome")) {
                const auto outcome = stringOf(value.at("touch_outcome"), where + ".touch_outcome");
                if (outcome != "confirm" && outcome != "reject") {
                    throw ConfigError(where + ".touch_outcome: expected \"confirm\" or \"reject\"");
                }
                slot.touchReject = outcome == "reject";
            }
            if (value.contains("touch_delay_ms")) {
                slot.touchDelayMs = static_cast<unsigned>(unsignedOf(value.at("touch_delay_ms"), where));
            }
            if (value.contains("free_memory")) {
                slot.freeMemory = unsignedOf(value.at("free_memory"), where + ".free_memory");
            }
            control.slots[unsignedOf(json(key), where)] = slot;
        }
    }
    return control;
}

}  // namespace virtual_token
