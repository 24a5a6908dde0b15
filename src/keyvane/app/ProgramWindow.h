#pragma once

#include "flowkeep/MainExecutor.h"
#include "keyvane/app/DesktopUrlOpener.h"
#include "keyvane/app/KeyvaneApp.h"
#include "keyvane/viewmodels/MainWindowModel.h"
#include "keyvane/viewmodels/WindowLayersModel.h"

#include <QQmlApplicationEngine>

#include <memory>
#include <string>
#include <vector>

class QQuickWindow;

namespace keyvane::views {
class ConfirmationBridge;
}

namespace keyvane::app {

// The program as its entry starts it once the application object exists: the views and the
// fingerprint prompt, the confirmation that turns the extension on, the store (KeyvaneApp),
// the window's view models, and the window (qml/Main.qml). The entry and the start-up
// benchmark both start the program through it, so what is measured is what starts.
//
// Lives until the process leaves (through _Exit): pool tasks may still hold the services.
class ProgramWindow {
public:
    // The application's name, desktop entry, icon and font; before anything is built.
    static void setUpApplication();

    // The views, the fingerprint prompt and the extension's confirmation: what the store's
    // middlewares take when they are made.
    explicit ProgramWindow(flowkeep::MainExecutor& executor);
    ~ProgramWindow();

    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    // The store and the window's view models. Throws what KeyvaneApp throws
    // (TestNotImplemented, the object store's Error).
    void start(const std::vector<std::string>& arguments);
    // Builds the window once started; null when it cannot be built (the engine has said why).
    QQuickWindow* load();

    KeyvaneApp& app() { return *app_; }
    MainWindowModel& model() { return *model_; }

private:
    flowkeep::MainExecutor& executor_;
    QQmlApplicationEngine engine_;
    // Never destroyed: a pool task may still wait for its answer when the program leaves.
    views::ConfirmationBridge* confirmation_;
    std::unique_ptr<KeyvaneApp> app_;
    std::unique_ptr<MainWindowModel> model_;
    // Every address the window opens (the login sheet's help, the About sheet's links and
    // support line) goes to the desktop through this one opener.
    DesktopUrlOpener desktop_;
    std::unique_ptr<WindowLayersModel> layers_;
};

} // namespace keyvane::app
