#include "keyvane/viewmodels/OnboardingViewModel.h"

#include "shared/localization/LocalizedStrings.h"

#include <array>

namespace keyvane::app {

namespace {

// The texts of each step, by its place in the onboarding's order.
struct StepTexts {
    const char* title;
    const char* description; // none at the last step
    const char* primaryButton;
};

constexpr std::array<StepTexts, 5> stepTexts = {{
    {"AppName", "Onboarding_AppFunc_Desription", "Onboarding_AppFunc_Button_Label"},
    {"Onboarding_PayAttention_Title", "Onboarding_PayAttention_Description", "Onboarding_ContinueButton_Label"},
    {"Onboarding_GrandPassword_Title", "Onboarding_GrandPassword_Description", "Onboarding_TurnOnButton_Label"},
    {"Onboarding_FastAuth_Title", "Onboarding_FastAuth_Description", "Onboarding_TurnOnButton_Label"},
    {"Onboarding_ReadyToGo_Title", nullptr, "Onboarding_ReadyToGo_Button_Label"},
}};

} // namespace

OnboardingViewModel::OnboardingViewModel(OnboardingPort& port, flowkeep::MainExecutor& executor, QObject* parent)
    : QObject(parent), port_(port), executor_(executor), firstLaunchTimer_(executor), closingTimer_(executor), afterSetUp_(executor) {
    openMasterPasswordEntry();
    slice_ = port_.slice();
    if (slice_.status == OnboardingStatus::enableExtension) {
        startFirstLaunchSequence();
    }
    subscription_ = port_.observe([this](const OnboardingSlice& next) { receive(next); });
}

void OnboardingViewModel::receive(const OnboardingSlice& next) {
    const OnboardingSlice previous = slice_;
    slice_ = next;
    // The request's answer: a new step, or an alert (its arrival or, should one have been up
    // already, its closing).
    if (next.status != previous.status || next.alertShown != previous.alertShown) {
        requestInFlight_ = false;
    }
    if (next.status == OnboardingStatus::enableExtension && previous.status != OnboardingStatus::enableExtension) {
        startFirstLaunchSequence();
    }
    if (showMasterPassInput_ && next.status) {
        if (previous.masterPasswordState == MasterPasswordState::disabled &&
            next.masterPasswordState == MasterPasswordState::enabled) {
            // Sent as a step of its own, never inside the store's notification of this change.
            afterSetUp_.start(std::chrono::milliseconds(0), [this, status = statusAfterMasterPassword(*next.status)] {
                port_.updateOnboardingStatus(status);
            });
            showMasterPassInput_ = false;
            // The password is set: the entry keeps nothing of it.
            masterPasswordInput_->clear();
        } else if (next.alertShown && !previous.alertShown) {
            // The set-up failed: a fresh entry, since the one submitted holds six digits
            // and would take no more.
            openMasterPasswordSheet();
        }
    }
    emit changed();
}

OnboardingStatus OnboardingViewModel::statusAfterMasterPassword(OnboardingStatus status) const {
    switch (status) {
    case OnboardingStatus::enableExtension:
    case OnboardingStatus::payAttention:
        return OnboardingStatus::masterPassword;
    case OnboardingStatus::masterPassword:
        // Without a sensor there is nothing to turn on: the biometric step is left out.
        return hasBiometry() ? OnboardingStatus::biometry : OnboardingStatus::completed;
    case OnboardingStatus::biometry:
    case OnboardingStatus::completed:
        break;
    }
    return OnboardingStatus::completed;
}

void OnboardingViewModel::startFirstLaunchSequence() {
    firstLaunchTimer_.start(firstLaunchDelay, [this] {
        isFirstLaunch_ = true;
        isAnimatingFirstLaunch_ = true;
        emit changed();
        firstLaunchTimer_.start(firstLaunchHold, [this] {
            isAnimatingFirstLaunch_ = false;
            emit changed();
        });
    });
}

OnboardingViewModel::Step OnboardingViewModel::step() const {
    return slice_.status ? static_cast<Step>(rawValue(*slice_.status)) : None;
}

QString OnboardingViewModel::header() const {
    switch (step()) {
    case EnableExtension:
    case Completed:
        return QStringLiteral("app-logo");
    case PayAttention:
        return QStringLiteral("attention");
    case MasterPassword:
        return QStringLiteral("master-password");
    case Biometry:
        switch (slice_.biometryType) {
        case BiometryType::touchID:
            return QStringLiteral("fingerprint");
        case BiometryType::faceID:
            return QStringLiteral("face");
        case BiometryType::none:
        case BiometryType::opticID:
            break;
        }
        return QStringLiteral("key");
    case None:
        break;
    }
    return {};
}

bool OnboardingViewModel::textBlockShown() const {
    switch (step()) {
    case EnableExtension:
        return isFirstLaunch_ && !isAnimatingFirstLaunch_;
    case None:
        return false;
    default:
        return true;
    }
}

QString OnboardingViewModel::title() const {
    return step() == None ? QString() : LocalizedStrings::text(stepTexts[step()].title);
}

QString OnboardingViewModel::description() const {
    return step() == None || stepTexts[step()].description == nullptr
               ? QString()
               : LocalizedStrings::text(stepTexts[step()].description);
}

QString OnboardingViewModel::primaryLabel() const {
    return step() == None ? QString() : LocalizedStrings::text(stepTexts[step()].primaryButton);
}

bool OnboardingViewModel::primaryEnabled() const {
    if (requestInFlight_ || isBeginButtonTapped_ || step() == None) {
        return false;
    }
    // Without a sensor the request could only fail; "not now" goes on.
    return step() != Biometry || hasBiometry();
}

QString OnboardingViewModel::secondaryLabel() const {
    return step() == MasterPassword || step() == Biometry ? LocalizedStrings::text("Onboarding_NotNowButton_Label")
                                                          : QString();
}

bool OnboardingViewModel::largeButtons() const {
    return step() == EnableExtension || step() == PayAttention || step() == Completed;
}

void OnboardingViewModel::pressPrimary() {
    if (!primaryEnabled()) {
        return;
    }
    switch (*slice_.status) {
    case OnboardingStatus::enableExtension:
        requestInFlight_ = true;
        emit changed();
        port_.enableExtension();
        break;
    case OnboardingStatus::payAttention:
        port_.updateOnboardingStatus(OnboardingStatus::masterPassword);
        break;
    case OnboardingStatus::masterPassword:
        openMasterPasswordSheet();
        break;
    case OnboardingStatus::biometry:
        requestInFlight_ = true;
        emit changed();
        port_.enableBiometry();
        break;
    case OnboardingStatus::completed:
        // Set, never toggled: a second press finds the flag set and the button off, so the
        // closing sequence runs once and hideOnboarding is sent once.
        isBeginButtonTapped_ = true;
        emit changed();
        closingTimer_.start(closingDelay, [this] {
            isOnboardingEnded_ = true;
            emit changed();
            port_.hideOnboarding();
        });
        break;
    }
}

void OnboardingViewModel::pressSecondary() {
    if (!slice_.status || secondaryLabel().isEmpty()) {
        return;
    }
    showMasterPassInput_ = false;
    masterPasswordInput_->clear();
    emit changed();
    port_.updateOnboardingStatus(*slice_.status < OnboardingStatus::masterPassword ? OnboardingStatus::masterPassword
                                                                                   : OnboardingStatus::completed);
}

void OnboardingViewModel::openMasterPasswordEntry() {
    // The view still reads the previous entry until it hears of the change: it is kept, empty.
    if (masterPasswordInput_) {
        masterPasswordInput_->clear();
    }
    retiredInput_ = std::move(masterPasswordInput_);
    masterPasswordInput_ = std::make_unique<views::MasterPassInputModel>(views::MasterPassInputModel::Mode::twice, executor_);
    masterPasswordInput_->setOnSubmit([this](SecretText password) { port_.setupMasterPassword(std::move(password)); });
}

void OnboardingViewModel::openMasterPasswordSheet() {
    openMasterPasswordEntry();
    showMasterPassInput_ = true;
    emit changed();
}

void OnboardingViewModel::closeMasterPasswordSheet() {
    if (!showMasterPassInput_) {
        return;
    }
    showMasterPassInput_ = false;
    masterPasswordInput_->clear();
    emit changed();
}

} // namespace keyvane::app
