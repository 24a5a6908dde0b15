#pragma once

#include "keyvane/viewmodels/AboutViewModel.h"
#include "keyvane/state/AppStore.h"
#include "keyvane/viewmodels/MainWindowModel.h"
#include "keyvane/viewmodels/OnboardingPort.h"
#include "keyvane/viewmodels/OnboardingViewModel.h"

#include <QObject>

#include <memory>

namespace keyvane::app {

// What the main window shows above its content besides its own sheets: the onboarding layer
// while the state shows it, and the About sheet while the window has it open. Each view model
// is made anew for each showing, so nothing of an earlier one is left; the previous one lives
// until then, so the views never read a model that is gone, and neither is ever null.
// The opener takes every address the window hands to the system: the About sheet's links and
// the window's own requests (the login sheet's help page).
class WindowLayersModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(keyvane::app::OnboardingViewModel* onboarding READ onboarding NOTIFY changed)
    Q_PROPERTY(keyvane::app::AboutViewModel* about READ about NOTIFY changed)

public:
    WindowLayersModel(AppStore& store, flowkeep::MainExecutor& executor, MainWindowModel& window,
                      UrlOpener& opener, BuildInfo build, AboutConfiguration configuration,
                      QObject* parent = nullptr);
    ~WindowLayersModel() override;

    OnboardingViewModel* onboarding() { return onboarding_.get(); }
    AboutViewModel* about() { return about_.get(); }

signals:
    void changed();

private:
    void makeOnboarding();
    void makeAbout();

    flowkeep::MainExecutor& executor_;
    MainWindowModel& window_;
    UrlOpener& opener_;
    BuildInfo build_;
    AboutConfiguration configuration_;
    StoreOnboardingPort<AppState, AppAction> onboardingPort_;
    std::unique_ptr<OnboardingViewModel> onboarding_;
    std::unique_ptr<OnboardingViewModel> retiredOnboarding_;
    std::unique_ptr<AboutViewModel> about_;
    std::unique_ptr<AboutViewModel> retiredAbout_;
    bool onboardingShown_ = false;
    bool aboutShown_ = false;
    flowkeep::Subscription subscription_;
};

} // namespace keyvane::app
