#pragma once

#include "shared/localization/LocalizedStrings.h"

#include <QString>

#include <optional>
#include <ostream>
#include <string>
#include <variant>

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
class MasterPassAuthError {
public:
    using invalidPass = master_pass_auth_error::invalidPass;
    using text = master_pass_auth_error::text;
    using mismatch = master_pass_auth_error::mismatch;
    using Case = std::variant<invalidPass, text, mismatch>;

    template <class C>
        requires std::is_constructible_v<Case, C&&>
    MasterPassAuthError(C&& value) : value(std::forward<C>(value)) {} // NOLINT: cases convert implicitly

    template <class C>
    bool is() const {
        return std::holds_alternative<C>(value);
    }
    template <class C>
    const C* as() const {
        return std::get_if<C>(&value);
    }

    bool operator==(const MasterPassAuthError&) const = default;

    // The text under the field: the attempts left, the carried text, or nothing for a mismatch
    // (the double-entry view shows its own wording).
    std::optional<QString> localizedMessage() const {
        if (const auto* invalid = as<invalidPass>()) {
            return LocalizedStrings::format("EnterGrandPass_Title_Error", {QString::number(invalid->remainingAttempts)});
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

    Case value;
};

} // namespace keyvane
