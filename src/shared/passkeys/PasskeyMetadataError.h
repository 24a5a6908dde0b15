#pragma once

#include "shared/errors/Error.h"

#include <cstdint>
#include <string>

namespace keyvane {

namespace passkey_metadata_error {
// The value is too short, the record does not decode, or (when writing) the record cannot be
// written in a form that reads back. No underlying cause is kept.
struct generalError {
    std::string func;
    SourceLine line = 0;
    bool operator==(const generalError&) const = default;
};
struct wrongVersion {
    bool operator==(const wrongVersion&) const = default;
};
} // namespace passkey_metadata_error

// The error of reading and writing a passkey metadata value.
class PasskeyMetadataError final
    : public ErrorEnum<PasskeyMetadataError, passkey_metadata_error::generalError, passkey_metadata_error::wrongVersion> {
public:
    using ErrorEnum::ErrorEnum;
    using generalError = passkey_metadata_error::generalError;
    using wrongVersion = passkey_metadata_error::wrongVersion;

    bool operator==(const PasskeyMetadataError& other) const { return value == other.value; }

    std::string description() const override {
        if (const auto* general = as<generalError>()) {
            return "PasskeyMetadataError.generalError in " + general->func + " (line " +
                   std::to_string(general->line) + ")";
        }
        return "PasskeyMetadataError.wrongVersion";
    }
};

} // namespace keyvane
