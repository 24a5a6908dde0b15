#pragma once

#include "shared/errors/Error.h"

#include <QLoggingCategory>
#include <QString>

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// The log of the errors that reach the user ("keyvane.errors"): what went wrong, whole, where
// the screen shows only a localised sentence.
Q_DECLARE_LOGGING_CATEGORY(userErrorLog)

namespace keyvane {

// An alert to show: built from an error (or for a situation), with the keys of its title and
// message and its buttons. Views present it until a button is pressed.
class AppAlert {
public:
    enum Kind {
        unknownError,
        credsNotFound,
        credsAlreadyExists,
        masterPasswordBlocked,
        bioNotAvailable,
        pinNotCached,
        connectionLost,
        pinLocked,
        pinChanged,
        userDeniedExtensionRequest,
        touchTimeExpired,
    };

    // One button of an alert. What pressing it does, besides dismissing the alert, belongs to
    // the view that presents it.
    class Action {
    public:
        enum Kind { cancelRequest, done, cancel, choose, openInstruction };

        constexpr Action(Kind kind) : kind_(kind) {} // NOLINT: a case without payload converts
        static constexpr Action makeCancelRequest(bool hasDoneLabel) { return Action(cancelRequest, hasDoneLabel); }

        Kind kind() const { return kind_; }
        // Only meaningful for cancelRequest: labelled as "done" rather than "cancel".
        bool hasDoneLabel() const { return hasDoneLabel_; }

        // Both cancelRequest buttons share one identifier; done's is "ok".
        std::string id() const;
        const char* labelKey() const;
        QString label() const;

        bool operator==(const Action&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const Action& action);

    private:
        constexpr Action(Kind kind, bool hasDoneLabel) : kind_(kind), hasDoneLabel_(hasDoneLabel) {}
        Kind kind_;
        bool hasDoneLabel_ = false;
    };

    constexpr AppAlert(Kind kind) : kind_(kind) {} // NOLINT: a case converts to the alert
    // The alert for an error; one that no rule recognises gives unknownError. Never fails.
    explicit AppAlert(const AnyError& error);
    // The alert for an error that reaches the user: the alert shows only its localised
    // sentences, so what went wrong (the error's description, which never holds a secret) is
    // written to the log here, whole.
    static AppAlert reported(const AnyError& error);

    Kind kind() const { return kind_; }
    const char* titleKey() const;
    const char* messageKey() const;
    // The localised texts, each looked up once and then kept.
    const QString& title() const;
    const QString& message() const;
    std::vector<Action> actions() const;

    bool operator==(const AppAlert&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const AppAlert& alert);

private:
    Kind kind_;
};

} // namespace keyvane

template <>
struct std::hash<keyvane::AppAlert> {
    std::size_t operator()(const keyvane::AppAlert& alert) const noexcept {
        return static_cast<std::size_t>(alert.kind());
    }
};
