#include "shared/viewmodels/MasterPassInputModel.h"

#include "shared/localization/LocalizedStrings.h"

#include <QChar>

#include <algorithm>

namespace keyvane::views {

namespace {

// Characters counted as the user sees them: one per code point, which is what a digit is.
int characterCount(const std::string& utf8) {
    return static_cast<int>(std::count_if(utf8.begin(), utf8.end(), [](char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }));
}

} // namespace

MasterPassInputModel::MasterPassInputModel(Mode mode, flowkeep::MainExecutor& executor, QObject* parent)
    : QObject(parent), mode_(mode), errorReset_(executor), stepTimer_(executor) {}

int MasterPassInputModel::filledCount() const {
    return autoFill_ ? length : std::min(length, characterCount(input_.reveal()));
}

QString MasterPassInputModel::title() const {
    if (error_) {
        if (auto message = error_->localizedMessage()) {
            return *message;
        }
    }
    return step_ == First ? LocalizedStrings::enterCodePassViewTitleEnter()
                          : LocalizedStrings::enterCodePassViewTitleRepeat();
}

void MasterPassInputModel::setAutoFill(bool autoFill) {
    if (autoFill_ != autoFill) {
        autoFill_ = autoFill;
        emit changed();
    }
}

void MasterPassInputModel::setError(const std::optional<MasterPassAuthError>& error) {
    if (error_ == error) {
        return;
    }
    const bool arrived = !error_ && error;
    error_ = error;
    if (arrived) {
        isError_ = true;
        emit shake();
        errorReset_.start(shakeDuration, [this] {
            clearInput();
            isError_ = false;
            emit changed();
        });
    }
    emit changed();
}

void MasterPassInputModel::reset() {
    errorReset_.stop();
    stepTimer_.stop();
    clearInput();
    firstInput_ = SecretText();
    step_ = First;
    isError_ = false;
    emit changed();
}

void MasterPassInputModel::type(const QString& text) {
    std::string digits = input_.reveal();
    for (const auto codePoint : text.toUcs4()) {
        if (QChar::isNumber(codePoint)) {
            const auto character = static_cast<char32_t>(codePoint);
            digits += QString::fromUcs4(&character, 1).toStdString();
        }
    }
    if (digits == input_.reveal()) {
        return;
    }
    input_ = SecretText(std::move(digits));
    emit changed();
    if (characterCount(input_.reveal()) == length) {
        submitted();
    }
}

void MasterPassInputModel::erase() {
    std::string digits = input_.reveal();
    if (digits.empty()) {
        return;
    }
    // Drop the last code point with its continuation bytes.
    auto end = digits.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(digits[end]) & 0xC0) == 0x80) {
        --end;
    }
    digits.resize(end);
    input_ = SecretText(std::move(digits));
    emit changed();
}

void MasterPassInputModel::submitted() {
    SecretText entry = input_;
    if (mode_ == Mode::single) {
        if (onSubmit_) {
            onSubmit_(std::move(entry));
        }
    } else if (step_ == First) {
        firstInput_ = std::move(entry);
        // The six dots stay filled for a moment before the repeat starts.
        stepTimer_.start(repeatPause, [this] {
            step_ = Second;
            clearInput();
            emit changed();
        });
    } else if (entry == firstInput_) {
        if (onSubmit_) {
            onSubmit_(firstInput_);
        }
    } else {
        // Compared on every second entry, also one equal to an earlier failed one.
        setError(MasterPassAuthError::mismatch{});
        stepTimer_.start(shakeDuration, [this] {
            firstInput_ = SecretText();
            step_ = First;
            clearInput();
            emit changed();
        });
        return;
    }
    // The submission clears the error, so the next failure shakes again.
    if (error_) {
        error_.reset();
        emit changed();
    }
    if (onErrorWritten_) {
        onErrorWritten_(std::nullopt);
    }
}

void MasterPassInputModel::clearInput() {
    input_ = SecretText();
}

} // namespace keyvane::views
