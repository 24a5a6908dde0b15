#pragma once

#include "flowkeep/Store.h"
#include "flowkeep/VirtualClockExecutor.h"
#include "keyvane/viewmodels/StoreSettingsPort.h"
#include "keyvane/state/AppReducer.h"
#include "shared/viewmodels/StoreLoginPort.h"

#include <memory>
#include <string>
#include <vector>

namespace keyvane::views::testing {

using app::AppAction;
using app::AppState;
using AppStore = flowkeep::Store<AppState, AppAction>;

// Keeps every action that reaches the store's middlewares.
class ActionRecorder final : public flowkeep::Middleware<AppAction> {
public:
    std::optional<flowkeep::ActionStream<AppAction>> process(const AppAction& action) override {
        actions.push_back(action);
        return std::nullopt;
    }
    std::vector<AppAction> actions;
};

inline TokenInfo token(std::string serial, bool supported = true) {
    return TokenInfo{"Label " + serial, "Varnel 3", std::move(serial), "1.0.2.3", 64000, 1000, supported};
}

// A store with the program's reducer and a recorder in place of the middlewares, and the
// ports the view models use over it. drive() changes the state as a middleware would, without
// counting the driving action as one the views sent.
class StoreFixture {
public:
    explicit StoreFixture(AppState initial = {})
        : store(std::move(initial), app::AppReducer{}, {recorder}, executor), port(store), settingsPort(store) {}

    void drive(AppAction action) {
        const auto before = recorder->actions.size();
        store.send(std::move(action));
        recorder->actions.erase(recorder->actions.begin() + static_cast<std::ptrdiff_t>(before));
        executor.runUntilIdle();
    }

    // A token list as the monitoring run that is going on now gathers it (the reducer drops
    // lists of any other run).
    void driveTokenEvents(std::vector<TokenMonitoringEvent> events) {
        drive(AppAction::receiveTokenEvents{std::move(events), store.state().loginViewState.tokenMonitoringRun});
    }

    // The actions sent since the last call, as printed (secrets show redacted).
    std::vector<std::string> sent() {
        executor.runUntilIdle();
        std::vector<std::string> printed;
        for (const auto& action : recorder->actions) {
            printed.push_back(action.description());
        }
        recorder->actions.clear();
        return printed;
    }

    flowkeep::VirtualClockExecutor executor;
    std::shared_ptr<ActionRecorder> recorder = std::make_shared<ActionRecorder>();
    AppStore store;
    StoreLoginPort<AppState, AppAction> port;
    app::StoreSettingsPort settingsPort;
};

} // namespace keyvane::views::testing
