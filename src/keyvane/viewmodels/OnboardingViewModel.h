#pragma once

#include "shared/viewmodels/MasterPassInputModel.h"
#include "keyvane/viewmodels/OnboardingPort.h"
#include "shared/viewmodels/ViewTimer.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

namespace keyvane::app {

// Every decision of the onboarding layer: which step shows (the store's onboarding status is
// the state machine; this model only draws it and sends the step's actions), the logo's
// first-start animation, the master-password sheet with its two-step entry, and the closing
// sequence. The view holds layout and animation only.
class OnboardingViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(Step step READ step NOTIFY changed)
    Q_PROPERTY(QString header READ header NOTIFY changed)
    Q_PROPERTY(bool logoEnlarged READ logoEnlarged NOTIFY changed)
    Q_PROPERTY(bool textBlockShown READ textBlockShown NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString description READ description NOTIFY changed)
    Q_PROPERTY(QString primaryLabel READ primaryLabel NOTIFY changed)
    Q_PROPERTY(bool primaryEnabled READ primaryEnabled NOTIFY changed)
    Q_PROPERTY(QString secondaryLabel READ secondaryLabel NOTIFY changed)
    Q_PROPERTY(bool hintShown READ hintShown NOTIFY changed)
    Q_PROPERTY(bool largeButtons READ largeButtons NOTIFY changed)
    Q_PROPERTY(bool beginPressed READ beginPressed NOTIFY changed)
    Q_PROPERTY(bool ended READ ended NOTIFY changed)
    Q_PROPERTY(bool masterPasswordSheetShown READ masterPasswordSheetShown NOTIFY changed)
    Q_PROPERTY(keyvane::views::MasterPassInputModel* masterPasswordInput READ masterPasswordInput NOTIFY changed)

public:
    // The onboarding statuses in their order, and None before the first-launch decision.
    enum Step { EnableExtension, PayAttention, MasterPassword, Biometry, Completed, None };
    Q_ENUM(Step)

    // The logo grows this long after it comes on screen at the first step, stays enlarged for
    // the hold, then shrinks back and the step's text comes in.
    static constexpr auto firstLaunchDelay = std::chrono::milliseconds(320);
    static constexpr auto firstLaunchHold = std::chrono::milliseconds(640);
    // From the final button to the end of the onboarding (the step's fade-out).
    static constexpr auto closingDelay = std::chrono::milliseconds(240);

    OnboardingViewModel(OnboardingPort& port, flowkeep::MainExecutor& executor, QObject* parent = nullptr);

    Step step() const;
    // The picture above the step: "logo", "attention", "masterPassword", or the biometric
    // sensor's "touchid", "faceid" or "key".
    QString header() const;
    bool logoEnlarged() const { return isAnimatingFirstLaunch_; }
    bool textBlockShown() const;
    QString title() const;
    // Empty when the step has none (or its text is empty).
    QString description() const;
    QString primaryLabel() const;
    bool primaryEnabled() const;
    // Empty when the step has no not-now button.
    QString secondaryLabel() const;
    bool hintShown() const { return step() == Completed; }
    bool largeButtons() const;
    bool beginPressed() const { return isBeginButtonTapped_; }
    bool ended() const { return isOnboardingEnded_; }
    bool masterPasswordSheetShown() const { return showMasterPassInput_; }
    views::MasterPassInputModel* masterPasswordInput() { return masterPasswordInput_.get(); }

    // The step's main button and its not-now button.
    Q_INVOKABLE void pressPrimary();
    Q_INVOKABLE void pressSecondary();
    // The master-password sheet closed without a password: the step stays, and what was typed
    // is wiped.
    Q_INVOKABLE void closeMasterPasswordSheet();

signals:
    void changed();

private:
    void receive(const OnboardingSlice& next);
    void startFirstLaunchSequence();
    void openMasterPasswordSheet();
    // A fresh two-step entry: nothing typed into an earlier one is left.
    void openMasterPasswordEntry();
    // The step after a master password was set at the given one.
    OnboardingStatus statusAfterMasterPassword(OnboardingStatus status) const;
    bool hasBiometry() const { return slice_.biometryType != BiometryType::none; }

    OnboardingPort& port_;
    flowkeep::MainExecutor& executor_;
    OnboardingSlice slice_;
    bool showMasterPassInput_ = false;
    bool isBeginButtonTapped_ = false;
    bool isOnboardingEnded_ = false;
    bool isFirstLaunch_ = false;
    bool isAnimatingFirstLaunch_ = false;
    // A request to the system (turning the extension or biometric unlock on) is under way:
    // its answer moves the status or raises an alert; a second press meanwhile would ask again.
    bool requestInFlight_ = false;
    // Made anew for each opening of the sheet (and after a failed set-up); never null. Emptied
    // (its digits wiped) when the sheet closes, when the password is set, and when it retires.
    std::unique_ptr<views::MasterPassInputModel> masterPasswordInput_;
    std::unique_ptr<views::MasterPassInputModel> retiredInput_;
    views::ViewTimer firstLaunchTimer_;
    views::ViewTimer closingTimer_;
    views::ViewTimer afterSetUp_;
    flowkeep::Subscription subscription_;
};

} // namespace keyvane::app
