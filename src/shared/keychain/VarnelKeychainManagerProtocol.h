#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/utils/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace keyvane {

// The protection asked for when an item is created. Kept with the item; a later write of the
// same item keeps the protection it was created with.
enum class VNAccessibilityType { any, biometryOrPasscode };

// How a value type becomes an item's JSON text and back. A byte string is a JSON string of
// its standard Base64 (each solidus written "\/"); an integer is a JSON number.
template <class T>
struct KeychainCoding;

template <>
struct KeychainCoding<Bytes> {
    static std::optional<std::string> encode(const Bytes& value);
    static std::optional<Bytes> decode(const std::string& json);
};

template <>
struct KeychainCoding<std::int64_t> {
    static std::optional<std::string> encode(std::int64_t value);
    static std::optional<std::int64_t> decode(const std::string& json);
};

// Several item writes and deletions that take effect together or not at all.
class KeychainBatch {
public:
    struct Change {
        std::string key;
        std::optional<std::string> json; // nothing: delete the item
        VNAccessibilityType accessibility = VNAccessibilityType::any;
    };

    // False when the value cannot be encoded; the batch is then unusable for that value.
    template <class T>
    bool set(const T& value, const std::string& key, VNAccessibilityType accessibility) {
        auto json = KeychainCoding<T>::encode(value);
        if (!json) {
            return false;
        }
        changes.push_back({key, std::move(json), accessibility});
        return true;
    }
    void remove(const std::string& key) { changes.push_back({key, std::nullopt, VNAccessibilityType::any}); }

    std::vector<Change> changes;
};

// What a keychain write did.
enum class KeychainWrite {
    failed,           // nothing changed
    written,          // in place and durable
    landedNotDurable, // in place (every reader sees it), but whether it survives a crash is unknown
};

// Small values kept as items of one access group. Answers success as a Boolean and reads as
// an optional; the cause of a failure is not reported.
class VarnelKeychainManagerProtocol {
public:
    virtual ~VarnelKeychainManagerProtocol() = default;

    // The item's JSON text as stored; set creates or replaces it. Like every Boolean answer
    // of a write, true when the item now holds the value, durable or not (see write).
    virtual bool setEncoded(const std::string& json, const std::string& key, VNAccessibilityType accessibility) = 0;
    virtual std::optional<std::string> getEncoded(const std::string& key) = 0;
    // The same, for callers that must not take "cannot read" for "absent": nothing only when
    // the item is absent; an item file that is refused or damaged fails (FileError).
    virtual std::optional<std::string> readEncoded(const std::string& key) = 0;
    // True when items of the access group were deleted.
    virtual bool clear() = 0;
    // True when the item existed and was deleted.
    virtual bool deleteItem(const std::string& key) = 0;
    // Every change of the batch, in order, in one write, saying precisely what happened.
    // Deleting a missing item is no failure inside a batch.
    virtual KeychainWrite write(const KeychainBatch& batch) = 0;
    // The same; true when all of it took effect (in place, durable or not).
    bool apply(const KeychainBatch& batch) { return write(batch) != KeychainWrite::failed; }

    template <class T>
    bool set(const T& value, const std::string& key, VNAccessibilityType accessibility) {
        auto json = KeychainCoding<T>::encode(value);
        return json && setEncoded(*json, key, accessibility);
    }

    // Empty when the item is absent or does not hold a T.
    template <class T>
    std::optional<T> get(const std::string& key) {
        auto json = getEncoded(key);
        if (!json) {
            return std::nullopt;
        }
        return KeychainCoding<T>::decode(*json);
    }
};

inline const char* const keyvaneAccessGroup = "group.Keyvane.shared";

std::shared_ptr<VarnelKeychainManagerProtocol> makeLiveKeychainManager();

inline const DependencyKey<VarnelKeychainManagerProtocol> keychainManager{"keychainManager", makeLiveKeychainManager,
                                                                          makeLiveKeychainManager};

} // namespace keyvane
