#pragma once

#include <cstdint>
#include <string>

namespace keyvane {

// Hardware and firmware versions of a token, as its token information reports them.
struct Pkcs11TokenVersion {
    std::uint8_t hardwareMajor = 0;
    std::uint8_t hardwareMinor = 0;
    std::uint8_t firmwareMajor = 0;
    std::uint8_t firmwareMinor = 0;

    // "60.1.30.2": hardware major, minor, firmware major, minor; what TokenInfo.version holds.
    std::string versionString() const {
        return std::to_string(hardwareMajor) + "." + std::to_string(hardwareMinor) + "." +
               std::to_string(firmwareMajor) + "." + std::to_string(firmwareMinor);
    }

    bool operator==(const Pkcs11TokenVersion&) const = default;
};

} // namespace keyvane
