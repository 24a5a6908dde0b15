#include "shared/keychain/VarnelKeychainManager.h"

#include "shared/files/FileError.h"
#include "shared/files/GroupDirectory.h"
#include "shared/files/SecureFile.h"
#include "shared/utils/Base64.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace keyvane {

namespace fs = std::filesystem;
using nlohmann::json;

std::optional<std::string> KeychainCoding<Bytes>::encode(const Bytes& value) {
    std::string text = "\"";
    for (const char c : base64Encode(value)) {
        if (c == '/') {
            text += "\\/";
        } else {
            text += c;
        }
    }
    text += '"';
    return text;
}

std::optional<Bytes> KeychainCoding<Bytes>::decode(const std::string& text) {
    const json value = json::parse(text, nullptr, false);
    if (value.is_discarded() || !value.is_string()) {
        return std::nullopt;
    }
    return base64Decode(value.get_ref<const std::string&>());
}

std::optional<std::string> KeychainCoding<std::int64_t>::encode(std::int64_t value) { return std::to_string(value); }

std::optional<std::int64_t> KeychainCoding<std::int64_t>::decode(const std::string& text) {
    const json value = json::parse(text, nullptr, false);
    if (value.is_discarded()) {
        return std::nullopt;
    }
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    return std::nullopt;
}

std::shared_ptr<VarnelKeychainManagerProtocol> makeLiveKeychainManager() {
    return std::make_shared<VarnelKeychainManager>(keyvaneAccessGroup);
}

VarnelKeychainManager::VarnelKeychainManager(std::string containerId, std::optional<fs::path> directory)
    : containerId_(std::move(containerId)), directory_(std::move(directory)) {}

fs::path VarnelKeychainManager::directory() const { return directory_ ? *directory_ : groupDirectory(); }

namespace {
// The access group names the file; anything that could leave the directory is replaced.
std::string fileStem(const std::string& containerId) {
    std::string stem = "keychain-";
    for (const char c : containerId) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        stem += plain ? c : '_';
    }
    return stem;
}
} // namespace

fs::path VarnelKeychainManager::itemsPath() const { return directory() / (fileStem(containerId_) + ".json"); }

KeychainWrite VarnelKeychainManager::modify(const std::function<bool(KeychainItems&)>& change) {
    try {
        const fs::path path = itemsPath();
        const auto update = updateSecureFile(path, [&](const std::optional<std::string>& text) -> std::optional<std::string> {
            KeychainItems items;
            if (text) {
                auto parsed = parseKeychainFile(*text);
                if (!parsed) {
                    throw FileError(path.string(), "not a well-formed item file", FileError::Kind::refused);
                }
                items = std::move(*parsed);
            }
            if (!change(items)) {
                return std::nullopt;
            }
            return serializeKeychainFile(items);
        });
        return update == FileUpdate::written ? KeychainWrite::written : KeychainWrite::failed;
    } catch (const FileError& error) {
        return error.landed() ? KeychainWrite::landedNotDurable : KeychainWrite::failed;
    } catch (const std::exception&) {
        return KeychainWrite::failed;
    }
}

bool VarnelKeychainManager::setEncoded(const std::string& json, const std::string& key,
                                       VNAccessibilityType accessibility) {
    std::lock_guard guard(lock_);
    return modify([&](KeychainItems& items) {
        if (auto existing = items.find(key); existing != items.end()) {
            existing->second.data = json; // the protection stays as created
        } else {
            items.emplace(key, KeychainItem{json, accessibility});
        }
        return true;
    }) != KeychainWrite::failed;
}

std::optional<std::string> VarnelKeychainManager::getEncoded(const std::string& key) {
    try {
        return readEncoded(key);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::string> VarnelKeychainManager::readEncoded(const std::string& key) {
    std::lock_guard guard(lock_);
    const fs::path path = itemsPath();
    FileLock fileLock(lockPathFor(path));
    const auto text = readSecureFile(path);
    if (!text) {
        return std::nullopt;
    }
    const auto items = parseKeychainFile(*text);
    if (!items) {
        throw FileError(path.string(), "not a well-formed item file", FileError::Kind::refused);
    }
    const auto item = items->find(key);
    if (item == items->end()) {
        return std::nullopt;
    }
    return item->second.data;
}

bool VarnelKeychainManager::deleteItem(const std::string& key) {
    std::lock_guard guard(lock_);
    return modify([&](KeychainItems& items) { return items.erase(key) > 0; }) != KeychainWrite::failed;
}

bool VarnelKeychainManager::clear() {
    std::lock_guard guard(lock_);
    try {
        const fs::path path = itemsPath();
        FileLock fileLock(lockPathFor(path));
        const auto text = readSecureFile(path);
        if (!text) {
            return false;
        }
        const auto items = parseKeychainFile(*text);
        // A damaged file holds nothing readable: clearing it is what the caller asked for.
        if (items && items->empty()) {
            return false;
        }
        return removeSecureFile(path);
    } catch (const FileError& error) {
        return error.landed();
    } catch (const std::exception&) {
        return false;
    }
}

KeychainWrite VarnelKeychainManager::write(const KeychainBatch& batch) {
    std::lock_guard guard(lock_);
    return modify([&](KeychainItems& items) {
        for (const auto& change : batch.changes) {
            if (!change.json) {
                items.erase(change.key);
            } else if (auto existing = items.find(change.key); existing != items.end()) {
                existing->second.data = *change.json;
            } else {
                items.emplace(change.key, KeychainItem{*change.json, change.accessibility});
            }
        }
        return true;
    });
}

} // namespace keyvane
