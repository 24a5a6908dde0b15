#pragma once

#include "shared/errors/Error.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace keyvane {

namespace pkcs11_error {
// A wrong PIN. The attempts left are known only where the token tells them (the vendor
// record, or the standard final-try and locked flags); otherwise absent.
struct incorrectPin {
    std::optional<std::uint64_t> attemptsLeft;
    bool operator==(const incorrectPin&) const = default;
};
// Any other failure of the layer: the operation, its line, a description for failures that
// are our own checks, and the library's return value when a library call failed.
struct internalError {
    std::string func;
    SourceLine line = 0;
    std::optional<std::string> desc;
    std::optional<std::uint64_t> rv;
    bool operator==(const internalError&) const = default;
};
// What an internalError tells beyond its operation: the library's return value when a call
// failed, a description when one of our own checks did.
struct internalErrorDetails {
    std::optional<std::uint64_t> rv = std::nullopt;
    std::optional<std::string> desc = std::nullopt;
};
struct pinLocked {
    bool operator==(const pinLocked&) const = default;
};
struct touchTimeExpired {
    bool operator==(const touchTimeExpired&) const = default;
};
} // namespace pkcs11_error

// The error of every operation of the PKCS#11 layer.
class Pkcs11Error final : public ErrorEnum<Pkcs11Error, pkcs11_error::incorrectPin, pkcs11_error::internalError,
                                           pkcs11_error::pinLocked, pkcs11_error::touchTimeExpired> {
public:
    using ErrorEnum::ErrorEnum;
    using incorrectPin = pkcs11_error::incorrectPin;
    using internalError = pkcs11_error::internalError;
    using pinLocked = pkcs11_error::pinLocked;
    using touchTimeExpired = pkcs11_error::touchTimeExpired;

    using Details = pkcs11_error::internalErrorDetails;
    // Every internalError of the layer is built here, with the line of the code that raises it.
    static Pkcs11Error internal(std::string func, Details details = {}, int line = __builtin_LINE()) {
        return internalError{std::move(func), static_cast<std::uint64_t>(line), std::move(details.desc), details.rv};
    }

    bool operator==(const Pkcs11Error& other) const { return value == other.value; }

    std::string description() const override {
        if (const auto* wrong = as<incorrectPin>()) {
            return wrong->attemptsLeft ? "Pkcs11Error.incorrectPin(" + std::to_string(*wrong->attemptsLeft) + " left)"
                                       : "Pkcs11Error.incorrectPin";
        }
        if (const auto* internal = as<internalError>()) {
            std::string text = "Pkcs11Error.internalError in " + internal->func + " (line " +
                               std::to_string(internal->line) + ")";
            if (internal->desc) {
                text += ": " + *internal->desc;
            }
            if (internal->rv) {
                char rv[32];
                std::snprintf(rv, sizeof rv, ", rv 0x%08llx", static_cast<unsigned long long>(*internal->rv));
                text += rv;
            }
            return text;
        }
        return is<pinLocked>() ? "Pkcs11Error.pinLocked" : "Pkcs11Error.touchTimeExpired";
    }
};

} // namespace keyvane
