#pragma once

#include "flowkeep/MainExecutor.h"
#include "flowkeep/Store.h"
#include "flowkeep/Subscription.h"
#include "shared/login/LoginAction.h"
#include "shared/login/LoginState.h"
#include "shared/login/LoginSteps.h"

#include <concepts>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

namespace keyvane {

// Carries out LoginSteps over a store while the login window is on screen (from appeared() to
// disappeared()): each change of the state is weighed against the one before, and what the
// rules decide is sent a step later on the store's main executor, never inside the store's
// notification. The pause after a biometric pass runs on that executor's clock; a new pass
// restarts it and the window going away drops it. Destroying the runner drops whatever it has
// not sent yet. Main thread only, like the store; the store must outlive the runner.
template <class State, class Action>
    requires std::derived_from<State, LoginState> && CarriesLoginCases<Action>
class LoginStepRunner {
public:
    explicit LoginStepRunner(flowkeep::Store<State, Action>& store) : store_(store) {
        subscription_ = store_.observe([this](const State& state) { changed(state); });
    }
    ~LoginStepRunner() { stopPause(); }
    LoginStepRunner(const LoginStepRunner&) = delete;
    LoginStepRunner& operator=(const LoginStepRunner&) = delete;

    void appeared() {
        if (shown_) {
            return;
        }
        shown_ = true;
        const State& state = store_.state();
        seen_ = state.loginViewState;
        carryOut(LoginSteps::entered(state.loginViewState, state.masterPasswordState));
    }
    void disappeared() {
        shown_ = false;
        stopPause();
    }

private:
    void changed(const State& state) {
        if (!shown_) {
            return;
        }
        const LoginViewState before = std::exchange(seen_, state.loginViewState);
        carryOut(LoginSteps::changed(before, state.loginViewState, state.masterPasswordState));
    }

    void carryOut(LoginSteps::Plan plan) {
        if (!plan.next.empty()) {
            store_.executor().post([this, alive = std::weak_ptr<bool>(alive_), next = std::move(plan.next)] {
                if (alive.expired()) {
                    return;
                }
                for (const auto& step : next) {
                    take(step);
                }
            });
        }
        if (plan.afterBiometryPause) {
            stopPause();
            pause_ = store_.executor().postAfter(LoginSteps::biometryPause,
                                                 [this, step = std::move(*plan.afterBiometryPause)] {
                                                     pause_.reset();
                                                     take(step);
                                                 });
        }
    }

    void take(const LoginSteps::Step& step) {
        std::visit(Overloaded{
                       [this](const LoginAction& action) { send(action); },
                       [this](const LoginSteps::UseCachedPin& use) {
                           if (auto action = LoginSteps::cachedPinOrPinPane(store_.state().loginViewState, use.token)) {
                               send(*action);
                           }
                       },
                   },
                   step);
    }

    void send(const LoginAction& action) {
        std::visit([this](const auto& shared) { store_.send(Action(shared)); }, action.value);
    }

    void stopPause() {
        if (pause_) {
            store_.executor().cancel(*pause_);
            pause_.reset();
        }
    }

    flowkeep::Store<State, Action>& store_;
    bool shown_ = false;
    // The login window's state as last weighed.
    LoginViewState seen_;
    std::optional<flowkeep::MainExecutor::TimerId> pause_;
    // Steps posted but not yet run check it: they run only while the runner exists.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    flowkeep::Subscription subscription_;
};

} // namespace keyvane
