#pragma once

#include "shared/dependencies/DependencyRegistry.h"

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace keyvane {

// The preferences of the shared group and their stored keys.
enum class UserDefaultsKey { onboardingStatus, isBioEnabled };

const char* storedKey(UserDefaultsKey key);

// A stored preference keeps its type: a Boolean is read back only as a Boolean, an integer
// only as an integer.
using PreferenceValue = std::variant<bool, std::int64_t, double, std::string>;

// What the preferences hold under a key. Absent and unreadable differ: nothing stored is a
// first start, while a file that cannot be read (refused, a symbolic link, unparsable) or a
// value of another type than the key's ("onboardingStatus" an integer, "isBioEnabled" a
// Boolean) is damage, read as the default and never taken for a first start.
enum class PreferenceState { absent, stored, unreadable };

// The state of a key from what was read under it.
PreferenceState preferenceStateOf(UserDefaultsKey key, const std::optional<PreferenceValue>& value);

class UserDefaultsManagerProtocol {
public:
    virtual ~UserDefaultsManagerProtocol() = default;
    virtual void setValue(const PreferenceValue& value, UserDefaultsKey key) = 0;
    // Nothing when the key is absent.
    virtual std::optional<PreferenceValue> storedValue(UserDefaultsKey key) = 0;
    virtual void removeValue(UserDefaultsKey key) = 0;
    virtual PreferenceState state(UserDefaultsKey key) = 0;

    void set(bool value, UserDefaultsKey key) { setValue(PreferenceValue(value), key); }
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    void set(T value, UserDefaultsKey key) {
        setValue(PreferenceValue(static_cast<std::int64_t>(value)), key);
    }
    void set(const std::string& value, UserDefaultsKey key) { setValue(PreferenceValue(value), key); }

    // Nothing when the key is absent or holds another type (or an integer out of T's range).
    template <class T>
    std::optional<T> value(UserDefaultsKey key) {
        const auto stored = storedValue(key);
        if (!stored) {
            return std::nullopt;
        }
        if constexpr (std::same_as<T, bool> || std::same_as<T, double> || std::same_as<T, std::string>) {
            if (const auto* typed = std::get_if<T>(&*stored)) {
                return *typed;
            }
            return std::nullopt;
        } else {
            static_assert(std::integral<T>, "preferences hold Booleans, integers, numbers and texts");
            const auto* integer = std::get_if<std::int64_t>(&*stored);
            if (integer == nullptr || !std::in_range<T>(*integer)) {
                return std::nullopt;
            }
            return static_cast<T>(*integer);
        }
    }
};

std::shared_ptr<UserDefaultsManagerProtocol> makeLiveUserDefaultsManager();

inline const DependencyKey<UserDefaultsManagerProtocol> userDefaultsManager{
    "userDefaultsManager", makeLiveUserDefaultsManager, makeLiveUserDefaultsManager};

} // namespace keyvane
