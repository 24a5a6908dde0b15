#pragma once

#include "shared/errors/Error.h"

#include <string>

namespace keyvane {

namespace auth_result {
struct invalidMasterPassword {
    int remainingAttemptsCount = 0;
    bool operator==(const invalidMasterPassword&) const = default;
};
struct success {
    bool operator==(const success&) const = default;
};
struct masterPasswordBlocked {
    bool operator==(const masterPasswordBlocked&) const = default;
};
} // namespace auth_result

// The answer of a master-password check. Also an error value: a blocked master password is
// reported through handleError.
class AuthResult final : public ErrorEnum<AuthResult, auth_result::invalidMasterPassword, auth_result::success,
                                          auth_result::masterPasswordBlocked> {
public:
    using ErrorEnum::ErrorEnum;
    using invalidMasterPassword = auth_result::invalidMasterPassword;
    using success = auth_result::success;
    using masterPasswordBlocked = auth_result::masterPasswordBlocked;

    bool operator==(const AuthResult& other) const { return value == other.value; }

    std::string description() const override {
        if (const auto* invalid = as<invalidMasterPassword>()) {
            return "AuthResult.invalidMasterPassword(" + std::to_string(invalid->remainingAttemptsCount) + " left)";
        }
        return is<success>() ? "AuthResult.success" : "AuthResult.masterPasswordBlocked";
    }
};

} // namespace keyvane
