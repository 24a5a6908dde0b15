#pragma once

#include "shared/errors/Error.h"

#include <cstddef>
#include <functional>
#include <string>

namespace keyvane {

namespace extension_error {
struct credsNotFound {
    bool operator==(const credsNotFound&) const = default;
};
struct connectionLost {
    bool operator==(const connectionLost&) const = default;
};
struct bioNotAvailable {
    bool operator==(const bioNotAvailable&) const = default;
};
struct pinNotCached {
    bool operator==(const pinNotCached&) const = default;
};
struct credsAlreadyExists {
    bool operator==(const credsAlreadyExists&) const = default;
};
struct userDeniedExtensionRequest {
    bool operator==(const userDeniedExtensionRequest&) const = default;
};
} // namespace extension_error

// The failures of the AutoFill side. The main program raises only userDeniedExtensionRequest;
// the extension raises the others. Each maps to the alert of the same name.
class ExtensionError final
    : public ErrorEnum<ExtensionError, extension_error::credsNotFound, extension_error::connectionLost,
                       extension_error::bioNotAvailable, extension_error::pinNotCached,
                       extension_error::credsAlreadyExists, extension_error::userDeniedExtensionRequest> {
public:
    using ErrorEnum::ErrorEnum;
    using credsNotFound = extension_error::credsNotFound;
    using connectionLost = extension_error::connectionLost;
    using bioNotAvailable = extension_error::bioNotAvailable;
    using pinNotCached = extension_error::pinNotCached;
    using credsAlreadyExists = extension_error::credsAlreadyExists;
    using userDeniedExtensionRequest = extension_error::userDeniedExtensionRequest;

    bool operator==(const ExtensionError& other) const { return value == other.value; }

    std::string description() const override {
        static constexpr const char* names[] = {"credsNotFound",      "connectionLost",     "bioNotAvailable",
                                                "pinNotCached",       "credsAlreadyExists", "userDeniedExtensionRequest"};
        return std::string("ExtensionError.") + names[value.index()];
    }
};

} // namespace keyvane

template <>
struct std::hash<keyvane::ExtensionError> {
    std::size_t operator()(const keyvane::ExtensionError& error) const noexcept { return error.value.index(); }
};
