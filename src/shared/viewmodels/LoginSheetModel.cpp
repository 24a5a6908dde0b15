#include "shared/viewmodels/LoginSheetModel.h"

#include "shared/localization/LocalizedStrings.h"
#include "shared/login/LoginPaneMachine.h"
#include "shared/viewmodels/OneLineText.h"

#include <QVariant>

#include <algorithm>
#include <variant>

namespace keyvane::views {

namespace {

using Display = LoginDisplayViewState;

QString describe(const TokenInfo& token) {
    return oneLineText(token.model) + QStringLiteral(" ") + oneLineText(token.serial);
}

} // namespace

const QUrl& LoginSheetModel::pinLockedHelpUrl() {
    static const QUrl url(QStringLiteral("https://keyvane.dev/help/locked-pin"));
    return url;
}

LoginSheetModel::LoginSheetModel(LoginStorePort& port, flowkeep::MainExecutor& executor,
                                 std::function<void(QString)> onSubmit, std::function<void()> onCancelRequest,
                                 QObject* parent)
    : AlertPresenter(parent), port_(port), onSubmit_(std::move(onSubmit)), onCancelRequest_(std::move(onCancelRequest)),
      countdown_(executor), masterPassInput_(MasterPassInputModel::Mode::single, executor), noticeTimer_(executor) {
    masterPassInput_.setOnSubmit([this](SecretText password) { port_.validateMasterPassword(std::move(password)); });
    masterPassInput_.setOnErrorWritten([this](std::optional<MasterPassAuthError> error) {
        if (error != slice_.login.masterPassAuthError) {
            port_.setMasterPassAuthError(std::move(error));
        }
    });
    slice_ = port_.slice();
    masterPassInput_.setInitialError(slice_.login.masterPassAuthError);
    if (const auto* touch = slice_.login.loginDisplayViewState.as<Display::waitForTouch>()) {
        countdown_.setInitialSeconds(touch->seconds);
    }
    subscription_ = port_.observe([this](const LoginSlice& next) { receive(next); });
}

LoginSheetModel::Pane LoginSheetModel::pane() const {
    return static_cast<Pane>(std::visit(Overloaded{
                                            [](const Display::waitForAnyToken&) { return WaitForAnyToken; },
                                            [](const Display::waitForSpecificToken&) { return WaitForSpecificToken; },
                                            [](const Display::tokenList&) { return TokenList; },
                                            [](const Display::enterPin&) { return EnterPin; },
                                            [](const Display::enterMasterPassword&) { return EnterMasterPassword; },
                                            [](const Display::waitForTouch&) { return WaitForTouch; },
                                        },
                                        slice_.login.loginDisplayViewState.value));
}

const TokenInfo* LoginSheetModel::paneToken() const {
    return LoginPaneMachine::token(slice_.login.loginDisplayViewState);
}

// A pane for another token is another pane: the view builds it afresh, so nothing typed for
// one token is ever shown for the next.
QString LoginSheetModel::paneKey() const {
    const auto* token = paneToken();
    return QString::number(pane()) + (token ? QStringLiteral(":") + QString::fromStdString(token->serial) : QString());
}

QString LoginSheetModel::tokenModel() const {
    const auto* token = paneToken();
    return token ? oneLineText(token->model) : QString();
}

QString LoginSheetModel::tokenSerial() const {
    const auto* token = paneToken();
    return token ? QString::fromStdString(token->serial) : QString();
}

QString LoginSheetModel::connectionMessage() const {
    const auto* token = paneToken();
    return token ? LocalizedStrings::format("EnterPinCode_ConnectionMessage", {describe(*token)}) : QString();
}

QString LoginSheetModel::awaitDescription() const {
    const auto* token = paneToken();
    return token ? LocalizedStrings::format("VarnelAwait_Description", {describe(*token)}) : QString();
}

QString LoginSheetModel::unsupportedCountText() const {
    return LocalizedStrings::format("%lld", {QString::number(unsupported_.count())});
}

void LoginSheetModel::appeared() {
    if (shown_) {
        return;
    }
    shown_ = true;
    port_.startMonitoring();
    paneEntered();
    // What the pane's entry set (the folded list) reaches the view.
    emit changed();
}

void LoginSheetModel::disappeared() {
    if (!shown_) {
        return;
    }
    shown_ = false;
    pin_.clear();
    masterPassInput_.clear();
    // The notice belongs to this visit of the sheet: the next one starts without it.
    noticeTimer_.stop();
    noticeWanted_ = noticeShown_ = noticeExpanded_ = false;
    countdown_.disappeared();
    port_.setPassAuth(LoginAuthStatus::unknown);
    port_.setPinExist(StoredPinState::notChecked);
    port_.stopMonitoring();
}

void LoginSheetModel::receive(const LoginSlice& next) {
    const LoginSlice previous = std::exchange(slice_, next);
    const bool samePane =
        LoginPaneMachine::isSamePane(previous.login.loginDisplayViewState, next.login.loginDisplayViewState);

    if (next.login.connectedTokens != previous.login.connectedTokens) {
        std::vector<TokenInfo> supported;
        std::vector<TokenInfo> unsupported;
        for (const auto& token : next.login.connectedTokens) {
            (token.isSupported ? supported : unsupported).push_back(token);
        }
        supported_.setTokens(std::move(supported));
        unsupported_.setTokens(std::move(unsupported));
    }
    masterPassInput_.setError(next.login.masterPassAuthError);
    masterPassInput_.setAutoFill(next.login.authStatus == LoginAuthStatus::passedByBiometry);
    // A touch request is new when the touch pane comes or its number of seconds changes; any
    // other change of the state leaves the count alone (one at 0 stays at 0).
    const auto* touch = next.login.loginDisplayViewState.as<Display::waitForTouch>();
    const auto* touchBefore = previous.login.loginDisplayViewState.as<Display::waitForTouch>();
    const bool newTouchRequest = touch != nullptr && (touchBefore == nullptr || touchBefore->seconds != touch->seconds);
    if (newTouchRequest) {
        countdown_.setInitialSeconds(touch->seconds);
    }

    if (!samePane) {
        // A PIN typed for one pane is never sent from another.
        pin_.clear();
    }
    if (shown_) {
        if (!samePane) {
            if (touchBefore != nullptr) {
                countdown_.disappeared();
            }
            paneEntered();
        } else {
            if (newTouchRequest) {
                countdown_.appeared();
            }
            if (next.login.verificationStatus != previous.login.verificationStatus) {
                verificationChanged();
            }
            if (next.login.authStatus != previous.login.authStatus && pane() == EnterMasterPassword &&
                next.login.authStatus == LoginAuthStatus::passedByMasterPassword) {
                // The master password has done its work.
                masterPassInput_.clear();
            }
            if (next.login.connectedTokens != previous.login.connectedTokens && pane() == WaitForSpecificToken) {
                updateNotice();
            }
        }
    }
    emit changed();
}

// Where a pane's view-local state starts. What the login sends on entering a pane follows from
// the state in the port (LoginSteps).
void LoginSheetModel::paneEntered() {
    switch (pane()) {
    case WaitForSpecificToken:
        updateNotice();
        break;
    case EnterMasterPassword:
        // Nothing typed for another pane counts here, nor a password that has done its work.
        masterPassInput_.clear();
        // A verdict already in the state counts as if it came now.
        verificationChanged();
        break;
    case WaitForTouch:
        countdown_.appeared();
        break;
    case TokenList:
        // Each new list starts with its unsupported section folded.
        unsupportedExpanded_ = false;
        break;
    case WaitForAnyToken:
    case EnterPin:
        break;
    }
}

// A verified login in a pane that unlocks a token is the host's to act on.
void LoginSheetModel::verificationChanged() {
    const auto current = pane();
    if ((current == EnterPin || current == EnterMasterPassword) &&
        slice_.login.verificationStatus.is<PinVerificationStatus::success>()) {
        submit();
    }
}

void LoginSheetModel::submit() {
    // The login is done: nothing typed for it is kept.
    pin_.clear();
    masterPassInput_.clear();
    const QString serial = tokenSerial();
    if (onSubmit_) {
        onSubmit_(serial);
    }
    emit submitted(serial);
}

// Explicit values, and a new step drops the one still pending: however quickly the tokens
// come and go, the notice ends shown and wide, or hidden and narrow, never the wrong way round.
void LoginSheetModel::updateNotice() {
    const auto* awaited = paneToken();
    const auto& connected = slice_.login.connectedTokens;
    if (awaited == nullptr || connected.contains(awaited->serial)) {
        return;
    }
    if (!connected.empty()) {
        if (!noticeWanted_) {
            noticeWanted_ = true;
            // The badge waits for the main loop: on a sheet's first opening the pane that draws
            // it is made first, so the badge pops in and then widens.
            noticeTimer_.start(std::chrono::milliseconds(0), [this] {
                noticeShown_ = true;
                emit changed();
                noticeTimer_.start(noticeStep, [this] {
                    noticeExpanded_ = true;
                    emit changed();
                });
            });
        }
    } else if (noticeWanted_) {
        noticeWanted_ = false;
        noticeExpanded_ = false;
        noticeTimer_.start(noticeStep, [this] {
            noticeShown_ = false;
            emit changed();
        });
    }
}

void LoginSheetModel::pinEdited(QObject* field) {
    if (field == nullptr) {
        return;
    }
    // The field's text is placeholders (one per unit of the PIN) with this edit's characters
    // among them, in one run: whatever the edit was (typing, a paste, an input method, a
    // deletion, typing over a selection), it replaced some placeholders at one place.
    QString text = field->property("text").toString();
    qsizetype placeholders = 0;
    qsizetype firstTyped = -1;
    qsizetype typedCount = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QChar(pinPlaceholder)) {
            ++placeholders;
        } else {
            if (firstTyped < 0) {
                firstTyped = i;
            }
            ++typedCount;
        }
    }
    if (typedCount == 0 && placeholders == pin_.size()) {
        return; // the field as this model wrote it
    }
    const QVariant cursor = field->property("cursorPosition");
    const int cursorPosition = cursor.isValid() ? cursor.toInt() : static_cast<int>(text.size());
    const int position = firstTyped >= 0 ? static_cast<int>(firstTyped) : cursorPosition;
    const int removed = std::max(0, pin_.size() - static_cast<int>(placeholders));
    QString typed;
    typed.reserve(typedCount);
    for (qsizetype i = firstTyped; typedCount > 0 && i < text.size(); ++i) {
        if (text.at(i) != QChar(pinPlaceholder)) {
            typed.append(text.at(i));
        }
    }
    pin_.replace(position, removed, typed);
    field->setProperty("text", QString(pin_.size(), QChar(pinPlaceholder)));
    field->setProperty("cursorPosition", std::clamp(position + static_cast<int>(typedCount), 0, pin_.size()));
    // The field has let go of its text, so `text` is the last holder of that buffer and
    // overwriting it wipes the field's own copy of this edit (should anything still share it,
    // fill() wipes a private copy and the field's stays as Qt keeps it).
    typed.fill(QChar(u'\0'));
    text.fill(QChar(u'\0'));
    emit changed();
}

bool LoginSheetModel::submitPin(QObject* field) {
    if (field == nullptr || pane() != EnterPin || slice_.login.isLoginInProgress) {
        return false;
    }
    SecretText pin = pin_.toSecretText();
    pin_.clear();
    field->setProperty("text", QString());
    port_.performLoginOnToken(paneToken()->serial, std::move(pin));
    return true;
}

void LoginSheetModel::switchToPin() {
    if (const auto* entry = slice_.login.loginDisplayViewState.as<Display::enterMasterPassword>()) {
        port_.switchToPinView(entry->token);
    }
}

void LoginSheetModel::selectToken(const QString& serial) {
    for (const auto& token : supported_.tokens()) {
        if (QString::fromStdString(token.serial) == serial) {
            port_.selectConnectedToken(token);
            return;
        }
    }
}

void LoginSheetModel::toggleUnsupported() {
    unsupportedExpanded_ = !unsupportedExpanded_;
    emit changed();
}

void LoginSheetModel::pressAlertButton(int index) {
    if (!slice_.alert) {
        return;
    }
    const auto actions = slice_.alert->actions();
    if (index < 0 || index >= static_cast<int>(actions.size())) {
        return;
    }
    const auto action = actions[static_cast<std::size_t>(index)];
    port_.hideAlert();
    switch (action.kind()) {
    case AppAlert::Action::cancelRequest:
        if (onCancelRequest_) {
            onCancelRequest_();
        }
        break;
    case AppAlert::Action::done:
        break;
    case AppAlert::Action::cancel:
    case AppAlert::Action::choose:
        emit dismissRequested();
        break;
    case AppAlert::Action::openInstruction:
        emit openUrlRequested(pinLockedHelpUrl());
        break;
    }
}

void LoginSheetModel::cancel() {
    emit dismissRequested();
}

} // namespace keyvane::views
