#pragma once

#include "shared/dependencies/DependencyRegistry.h"
#include "shared/storage/NotImplemented.h"
#include "shared/storage/PinEntry.h"
#include "shared/utils/Bytes.h"

#include <optional>
#include <string>

namespace keyvane {

// The sealed PINs of the PIN cache, one per token serial. It only stores and returns the
// sealed bytes. Every operation fails only with PinCodeStorageError.
class PinCodeStorageProtocol {
public:
    virtual ~PinCodeStorageProtocol() = default;
    // Replaces an earlier entry of the serial; serialNumber is the full serial number of the
    // token the PIN belongs to.
    virtual void savePin(const std::string& serial, const Bytes& encryptedPin, const std::string& serialNumber) = 0;
    virtual std::optional<PinEntry> getPin(const std::string& serial) = 0;
    virtual void deletePin(const std::string& serial) = 0;
    virtual void clean() = 0;
    virtual bool hasPins() = 0;
};

inline const DependencyKey<PinCodeStorageProtocol> pinCodeStorage{
    "pinCodeStorage", detail::notImplemented<PinCodeStorageProtocol>("PinCodeStorage.liveValue не реализован"),
    detail::notImplemented<PinCodeStorageProtocol>("PinCodeStorage.liveValue не реализован")};

} // namespace keyvane
