#include "keyvane/viewmodels/WindowLayersModel.h"

namespace keyvane::app {

WindowLayersModel::WindowLayersModel(AppStore& store, flowkeep::MainExecutor& executor, MainWindowModel& window,
                                     UrlOpener& opener, BuildInfo build,
                                     AboutConfiguration configuration, QObject* parent)
    : QObject(parent), executor_(executor), window_(window), opener_(opener), build_(std::move(build)),
      configuration_(std::move(configuration)), onboardingPort_(store) {
    makeOnboarding();
    makeAbout();
    // The window's own requests (the login sheet's help page) go to the same opener as the
    // About sheet's links: the program has one way of handing addresses to the system.
    connect(&window_, &MainWindowModel::openUrlRequested, this, [this](const QUrl& url) { opener_.open(url); });
    subscription_ = store.observe([this](const AppState& state) {
        const bool shown = state.navigationState.onboardingState.isOnboardingShown;
        if (shown && !onboardingShown_) {
            makeOnboarding();
        }
        onboardingShown_ = shown;
    });
    // Connected before the window's views, so a new sheet's model is there when they look.
    connect(&window_, &MainWindowModel::changed, this, [this] {
        if (window_.aboutShown() && !aboutShown_) {
            makeAbout();
        }
        aboutShown_ = window_.aboutShown();
    });
}

WindowLayersModel::~WindowLayersModel() = default;

void WindowLayersModel::makeOnboarding() {
    retiredOnboarding_ = std::move(onboarding_);
    onboarding_ = std::make_unique<OnboardingViewModel>(onboardingPort_, executor_);
    emit changed();
}

void WindowLayersModel::makeAbout() {
    retiredAbout_ = std::move(about_);
    about_ = std::make_unique<AboutViewModel>(build_, configuration_, opener_);
    connect(about_.get(), &AboutViewModel::closeRequested, &window_, &MainWindowModel::closeAbout);
    emit changed();
}

} // namespace keyvane::app
