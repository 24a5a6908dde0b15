#pragma once

#include "shared/biometrics/MasterPassAuthError.h"
#include "shared/redux/SecretText.h"
#include "shared/viewmodels/TypedSecret.h"
#include "shared/viewmodels/ViewTimer.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace keyvane::views {

// The master-password entry: a row of dots for a six-digit password and a title under it.
// The typed digits live here in one TypedSecret, never in a text property: the view's hidden
// field hands over each keystroke and is emptied at once. Once six digits are typed the
// password is handed on as SecretText. The digits stay (so the dots stay filled, and a digit
// erased and typed again submits again) until the entry is emptied: by the shake after an
// error, by the restart after a mismatch, by clear(), which each host calls once the password
// has done its work or its sheet closes, and by the destructor. Each of these wipes them.
//
// Single mode checks one entry against the host (the host reports a wrong password through
// setError). Double mode asks for the password twice and hands it on only when both match.
class MasterPassInputModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(int passLen READ passLen CONSTANT)
    Q_PROPERTY(int filledCount READ filledCount NOTIFY changed)
    Q_PROPERTY(bool isError READ isError NOTIFY changed)
    Q_PROPERTY(Step step READ step NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(bool autoFill READ autoFill WRITE setAutoFill NOTIFY changed)

public:
    enum class Mode { single, twice };
    enum Step { First, Second };
    Q_ENUM(Step)

    static constexpr int length = 6;
    static constexpr auto shakeDuration = std::chrono::milliseconds(640);
    static constexpr auto repeatPause = std::chrono::milliseconds(320);

    MasterPassInputModel(Mode mode, flowkeep::MainExecutor& executor, QObject* parent = nullptr);

    int passLen() const { return length; }
    int filledCount() const;
    bool isError() const { return isError_; }
    Step step() const { return step_; }
    QString title() const;
    bool autoFill() const { return autoFill_; }
    void setAutoFill(bool autoFill);

    // Receives the confirmed password.
    void setOnSubmit(std::function<void(SecretText)> onSubmit) { onSubmit_ = std::move(onSubmit); }
    // Receives the error the field writes: none after each submission.
    void setOnErrorWritten(std::function<void(std::optional<MasterPassAuthError>)> onErrorWritten) {
        onErrorWritten_ = std::move(onErrorWritten);
    }

    // The host's error (single mode). A first error shakes the dots and empties the entry.
    void setError(const std::optional<MasterPassAuthError>& error);
    const std::optional<MasterPassAuthError>& error() const { return error_; }
    // The error found when the entry is made: shown as the title, without a shake.
    void setInitialError(const std::optional<MasterPassAuthError>& error) { error_ = error; }

    // Keystrokes from the field: numeric characters are kept, the rest dropped.
    Q_INVOKABLE void type(const QString& text);
    Q_INVOKABLE void erase();
    // Wipes what was typed (both entries of a double one), back to the first step with no
    // shake or step pending: a new entry, as in a pane that shows anew. The error stays: it is
    // the host's, shown as the title.
    void clear();
    // Whether anything typed is still held.
    bool holdsNothing() const { return input_.empty() && firstInput_.empty(); }

signals:
    void changed();
    // The dot row shakes: left, right, left and back.
    void shake();

private:
    void submitted();
    void clearInput();

    Mode mode_;
    TypedSecret input_;
    TypedSecret firstInput_; // the first of a double entry, until the repeat is compared
    Step step_ = First;
    bool isError_ = false;
    bool autoFill_ = false;
    std::optional<MasterPassAuthError> error_;
    std::function<void(SecretText)> onSubmit_;
    std::function<void(std::optional<MasterPassAuthError>)> onErrorWritten_;
    ViewTimer errorReset_;
    ViewTimer stepTimer_;
};

} // namespace keyvane::views
