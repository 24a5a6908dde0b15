#pragma once

#include "shared/viewmodels/AlertButtons.h"
#include "shared/viewmodels/LoginStorePort.h"
#include "shared/viewmodels/MasterPassInputModel.h"
#include "shared/viewmodels/TokenListModel.h"
#include "shared/viewmodels/TouchCountdownModel.h"
#include "shared/viewmodels/TypedSecret.h"
#include "shared/viewmodels/ViewTimer.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantList>

#include <functional>
#include <optional>

namespace keyvane::views {

// Every decision of the login sheet: which pane shows for the state, what each pane reads,
// and which actions the user's acts send. The sheet's QML lays this out and nothing more.
//
// Monitoring runs while the sheet is shown: appeared() sends startMonitoring, disappeared()
// sets the login outcome and the cached-PIN knowledge back and sends stopMonitoring. What the
// login does by itself meanwhile (the cached-PIN check, the biometric check, the cached PIN
// after an unlock) follows from the state in the port (LoginSteps); the sheet reads the state,
// sends what the user did and tells its host of a verified login.
// The base is named in full so that the QML tools find it (they do not resolve names by scope).
class LoginSheetModel : public keyvane::views::AlertPresenter {
    Q_OBJECT
    Q_PROPERTY(Pane pane READ pane NOTIFY changed)
    Q_PROPERTY(QString paneKey READ paneKey NOTIFY changed)
    Q_PROPERTY(QString tokenModel READ tokenModel NOTIFY changed)
    Q_PROPERTY(QString tokenSerial READ tokenSerial NOTIFY changed)
    Q_PROPERTY(QString connectionMessage READ connectionMessage NOTIFY changed)
    Q_PROPERTY(QString awaitDescription READ awaitDescription NOTIFY changed)
    Q_PROPERTY(bool toolbarVisible READ toolbarVisible NOTIFY changed)
    Q_PROPERTY(bool switchToPinVisible READ switchToPinVisible NOTIFY changed)
    Q_PROPERTY(QString pinError READ pinError NOTIFY changed)
    Q_PROPERTY(bool loginInProgress READ loginInProgress NOTIFY changed)
    Q_PROPERTY(bool noticeShown READ noticeShown NOTIFY changed)
    Q_PROPERTY(bool noticeExpanded READ noticeExpanded NOTIFY changed)
    Q_PROPERTY(bool unsupportedExpanded READ unsupportedExpanded NOTIFY changed)
    Q_PROPERTY(QString unsupportedCountText READ unsupportedCountText NOTIFY changed)
    Q_PROPERTY(keyvane::views::TokenListModel* supportedTokens READ supportedTokens CONSTANT)
    Q_PROPERTY(keyvane::views::TokenListModel* unsupportedTokens READ unsupportedTokens CONSTANT)
    Q_PROPERTY(keyvane::views::TouchCountdownModel* countdown READ countdown CONSTANT)
    Q_PROPERTY(keyvane::views::MasterPassInputModel* masterPassInput READ masterPassInput CONSTANT)

public:
    enum Pane { WaitForAnyToken, WaitForSpecificToken, TokenList, EnterPin, EnterMasterPassword, WaitForTouch };
    Q_ENUM(Pane)

    // The help page about a locked PIN that the locked-PIN alert offers.
    static const QUrl& pinLockedHelpUrl();
    // How long the other-token notice waits between its two steps.
    static constexpr auto noticeStep = std::chrono::milliseconds(500);

    // onSubmit gets the serial of the token whose PIN was verified, from inside the store's
    // notification of the verdict (a host sends what follows a step later); onCancelRequest,
    // when given, is called by an alert button that cancels the host's request.
    LoginSheetModel(LoginStorePort& port, flowkeep::MainExecutor& executor, std::function<void(QString)> onSubmit,
                    std::function<void()> onCancelRequest = {}, QObject* parent = nullptr);

    Pane pane() const;
    QString paneKey() const;
    QString tokenModel() const;
    QString tokenSerial() const;
    QString connectionMessage() const;
    QString awaitDescription() const;
    bool toolbarVisible() const { return pane() != WaitForTouch; }
    bool switchToPinVisible() const { return pane() == EnterMasterPassword; }
    QString pinError() const { return slice_.login.verificationStatus.message(); }
    bool loginInProgress() const { return slice_.login.isLoginInProgress; }
    bool noticeShown() const { return noticeShown_; }
    bool noticeExpanded() const { return noticeExpanded_; }
    bool unsupportedExpanded() const { return unsupportedExpanded_; }
    QString unsupportedCountText() const;
    TokenListModel* supportedTokens() { return &supported_; }
    TokenListModel* unsupportedTokens() { return &unsupported_; }
    TouchCountdownModel* countdown() { return &countdown_; }
    MasterPassInputModel* masterPassInput() { return &masterPassInput_; }

    Q_INVOKABLE void appeared();
    // Also wipes whatever was typed: the PIN and the master-password entry.
    Q_INVOKABLE void disappeared();

    // The PIN is kept here, in one TypedSecret, from the first keystroke to the login; the
    // PIN field (a text input in password mode) never holds more of it than the characters of
    // one edit. Each edit of the field comes here: its new characters go into the PIN at the
    // field's cursor, what it removed goes from the PIN, and the field is set back to one
    // placeholder character per unit of the PIN (shown as password dots), cursor in place.
    static constexpr char16_t pinPlaceholder = u'\uE000';
    Q_INVOKABLE void pinEdited(QObject* field);
    // The PIN pane's Return and Continue: the PIN becomes the login's SecretText, its buffer
    // is wiped, the field is emptied and one login is sent. Refused (answers false, the PIN
    // and the field untouched) while a login is in flight or when no PIN pane shows.
    Q_INVOKABLE bool submitPin(QObject* field);
    // The PIN typed so far, in UTF-16 units (the field's length).
    int pinLength() const { return pin_.size(); }
    Q_INVOKABLE void switchToPin();
    Q_INVOKABLE void selectToken(const QString& serial);
    Q_INVOKABLE void toggleUnsupported();
    // An alert button, by its place in alertButtons: each closes the alert and does what its
    // kind says (cancel the host's request, close the sheet, open the help page).
    void pressAlertButton(int index) override;
    // The toolbar's Cancel and the touch pane's close button.
    Q_INVOKABLE void cancel();

signals:
    void submitted(const QString& serial);
    void dismissRequested();
    void openUrlRequested(const QUrl& url);

protected:
    const std::optional<AppAlert>& alert() const override { return slice_.alert; }

private:
    void receive(const LoginSlice& next);
    void paneEntered();
    void verificationChanged();
    void updateNotice();
    void submit();
    const TokenInfo* paneToken() const;

    LoginStorePort& port_;
    std::function<void(QString)> onSubmit_;
    std::function<void()> onCancelRequest_;
    LoginSlice slice_;
    bool shown_ = false;
    // Where the other-token notice is heading; the two flags follow it in two steps.
    bool noticeWanted_ = false;
    bool noticeShown_ = false;
    bool noticeExpanded_ = false;
    bool unsupportedExpanded_ = false;
    TokenListModel supported_;
    TokenListModel unsupported_;
    TouchCountdownModel countdown_;
    MasterPassInputModel masterPassInput_;
    // The PIN being typed; wiped when it is sent, when the pane changes, when the sheet goes.
    TypedSecret pin_;
    ViewTimer noticeTimer_;
    flowkeep::Subscription subscription_;
};

} // namespace keyvane::views
