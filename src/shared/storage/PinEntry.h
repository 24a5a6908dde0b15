#pragma once

#include "shared/utils/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace keyvane {

// A token's PIN as the PIN cache sealed it. serial is unique: storing an entry for a serial
// that has one replaces it.
struct PinEntry {
    std::optional<std::int64_t> persistentId;
    std::string serial;
    Bytes encryptedPin;

    PinEntry() = default;
    PinEntry(std::string serial, Bytes encryptedPin) : serial(std::move(serial)), encryptedPin(std::move(encryptedPin)) {}

    bool operator==(const PinEntry& other) const {
        return persistentId && other.persistentId && *persistentId == *other.persistentId;
    }
};

} // namespace keyvane
