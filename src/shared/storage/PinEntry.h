#pragma once

#include "shared/utils/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace keyvane {

// A token's PIN as the PIN cache sealed it. serial is unique: storing an entry for a serial
// that has one replaces it. serialNumber is the full serial number of the token it was saved
// for (absent in entries saved before it was kept): the serial shown keeps only 32 bits of
// it, so it tells apart two tokens that share one serial.
struct PinEntry {
    std::optional<std::int64_t> persistentId;
    std::string serial;
    Bytes encryptedPin;
    std::optional<std::string> serialNumber;

    PinEntry() = default;
    PinEntry(std::string serial, Bytes encryptedPin, std::optional<std::string> serialNumber = std::nullopt)
        : serial(std::move(serial)), encryptedPin(std::move(encryptedPin)), serialNumber(std::move(serialNumber)) {}

    bool operator==(const PinEntry& other) const {
        return persistentId && other.persistentId && *persistentId == *other.persistentId;
    }
};

} // namespace keyvane
