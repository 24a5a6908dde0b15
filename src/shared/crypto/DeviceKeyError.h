#pragma once

#include "shared/errors/Error.h"

#include <cstdint>
#include <string>

namespace keyvane {

namespace device_key_error {
// The key was made on a TPM that cannot be reached now (no TCTI configured, device gone,
// software TPM stopped). The key may work again once the TPM is back, so nothing is erased.
struct tpmUnavailable {
    std::string reason;
};
// The TPM answers but refuses the key: the TPM was cleared or is another one, or the key file
// is damaged. The key can never be used again.
struct keyLost {
    std::string reason;
};
// Any other refusal of a TPM command.
struct tpmFailure {
    std::string call;
    std::uint32_t responseCode = 0;
    std::string text;
};
} // namespace device_key_error

// Why a device key on a TPM could not be made or used. Never carries key material.
class DeviceKeyError final : public ErrorEnum<DeviceKeyError, device_key_error::tpmUnavailable,
                                              device_key_error::keyLost, device_key_error::tpmFailure> {
public:
    using ErrorEnum::ErrorEnum;
    using tpmUnavailable = device_key_error::tpmUnavailable;
    using keyLost = device_key_error::keyLost;
    using tpmFailure = device_key_error::tpmFailure;

    std::string description() const override {
        if (const auto* unavailable = as<tpmUnavailable>()) {
            return "DeviceKeyError.tpmUnavailable: the TPM that holds the device key cannot be reached (" +
                   unavailable->reason + ")";
        }
        if (const auto* lost = as<keyLost>()) {
            return "DeviceKeyError.keyLost: the TPM no longer accepts the device key (" + lost->reason + ")";
        }
        const auto& failure = *as<tpmFailure>();
        return "DeviceKeyError.tpmFailure in " + failure.call + ": " + failure.text;
    }
};

} // namespace keyvane
