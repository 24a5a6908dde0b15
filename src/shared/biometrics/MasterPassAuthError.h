#pragma once

#include "shared/errors/CaseEnum.h"
#include "shared/localization/LocalizedStrings.h"

#include <QString>

#include <optional>
#include <ostream>
#include <string>

namespace keyvane {

namespace master_pass_auth_error {
// A wrong master password, with the attempts remaining before the cache is erased.
struct invalidPass {
    int remainingAttempts = 0;
    bool operator==(const invalidPass&) const = default;
};
// A failure shown by its text (a description, never the password).
struct text {
    std::string message;
    bool operator==(const text&) const = default;
};
// The two entries of a new master password differ.
struct mismatch {
    bool operator==(const mismatch&) const = default;
};
} // namespace master_pass_auth_error

// Why a master-password entry was refused; shown under the entry field. Equal when the case
// and its payload are equal. Using localizedMessage() needs keyvane_localization.
class MasterPassAuthError : public CaseEnum<master_pass_auth_error::invalidPass, master_pass_auth_error::text,
                                             master_pass_auth_error::mismatch> {
public:
    using CaseEnum::CaseEnum;
    using invalidPass = master_pass_auth_error::invalidPass;
    using text = master_pass_auth_error::text;
    using mismatch = master_pass_auth_error::mismatch;

    // The text under the field: the attempts left, the carried text, or nothing for a mismatch
    // (the double-entry view shows its own wording).
    std::optional<QString> localizedMessage() const {
        if (const auto* invalid = as<invalidPass>()) {
            return LocalizedStrings::counted("EnterGrandPass_Title_Error", invalid->remainingAttempts);
        }
        if (const auto* shown = as<text>()) {
            return QString::fromStdString(shown->message);
        }
        return std::nullopt;
    }

    friend std::ostream& operator<<(std::ostream& out, const MasterPassAuthError& error) {
        if (const auto* invalid = error.as<invalidPass>()) {
            return out << "invalidPass(" << invalid->remainingAttempts << ")";
        }
        if (const auto* shown = error.as<text>()) {
            return out << "text(" << shown->message << ")";
        }
        return out << "mismatch";
    }
};

} // namespace keyvane
