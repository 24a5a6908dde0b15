#include "shared/viewmodels/MasterPassInputModel.h"

#include "shared/localization/LocalizedStrings.h"

#include <QChar>

#include <algorithm>

namespace keyvane::views {

MasterPassInputModel::MasterPassInputModel(Mode mode, flowkeep::MainExecutor& executor, QObject* parent)
    : QObject(parent), mode_(mode), errorReset_(executor), stepTimer_(executor) {}

int MasterPassInputModel::filledCount() const {
    return autoFill_ ? length : std::min(length, input_.characterCount());
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

void MasterPassInputModel::type(const QString& text) {
    const int before = input_.size();
    // Code point by code point, straight into the entry: a digit outside the BMP is two units.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const char32_t codePoint = pair ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
        if (QChar::isNumber(codePoint)) {
            input_.append(QStringView(text).mid(i, pair ? 2 : 1));
        }
        i += pair ? 1 : 0;
    }
    if (input_.size() == before) {
        return;
    }
    emit changed();
    if (input_.characterCount() == length) {
        submitted();
    }
}

void MasterPassInputModel::erase() {
    if (input_.empty()) {
        return;
    }
    input_.removeLastCharacter();
    emit changed();
}

void MasterPassInputModel::submitted() {
    if (mode_ == Mode::single) {
        if (onSubmit_) {
            onSubmit_(input_.toSecretText());
        }
    } else if (step_ == First) {
        // A second wiped buffer; the entry stays as typed, so the dots stay filled.
        firstInput_.assign(input_);
        // The six dots stay filled for a moment before the repeat starts.
        stepTimer_.start(repeatPause, [this] {
            step_ = Second;
            clearInput();
            emit changed();
        });
    } else if (input_ == firstInput_) {
        if (onSubmit_) {
            onSubmit_(firstInput_.toSecretText());
        }
    } else {
        // Compared on every second entry, also one equal to an earlier failed one.
        setError(MasterPassAuthError::mismatch{});
        stepTimer_.start(shakeDuration, [this] {
            firstInput_.clear();
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
    input_.clear();
}

void MasterPassInputModel::clear() {
    errorReset_.stop();
    stepTimer_.stop();
    input_.clear();
    firstInput_.clear();
    isError_ = false;
    step_ = First;
    emit changed();
}

} // namespace keyvane::views
