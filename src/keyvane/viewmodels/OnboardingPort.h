#pragma once

#include "flowkeep/Subscription.h"
#include "shared/biometrics/BiometryType.h"
#include "shared/redux/MasterPasswordState.h"
#include "shared/redux/OnboardingStatus.h"
#include "shared/redux/SecretText.h"
#include "shared/viewmodels/StoreBridge.h"

#include <functional>
#include <optional>
#include <utility>

namespace keyvane::app {

// What the onboarding reads of the main program's state.
struct OnboardingSlice {
    std::optional<OnboardingStatus> status; // none until the first-launch decision
    BiometryType biometryType = BiometryType::none;
    MasterPasswordState masterPasswordState = MasterPasswordState::disabled;
    bool alertShown = false; // a failure the core recorded, which ends a request in flight
    bool operator==(const OnboardingSlice&) const = default;
};

// The onboarding's side of the store: the slice it reads and the actions it sends.
class OnboardingPort {
public:
    virtual ~OnboardingPort() = default;

    virtual OnboardingSlice slice() const = 0;
    // Called at once with the slice, then at each change of it.
    virtual flowkeep::Subscription observe(std::function<void(const OnboardingSlice&)> onChange) = 0;

    virtual void enableExtension() = 0;              // asks the user, during onboarding
    virtual void updateOnboardingStatus(OnboardingStatus status) = 0;
    virtual void enableBiometry() = 0;               // turns biometric unlock on, during onboarding
    virtual void setupMasterPassword(SecretText password) = 0;
    virtual void hideOnboarding() = 0;
};

// The port over the main program's store. State needs `navigationState.onboardingState`,
// `navigationState.alert`, `biometryType` and `masterPasswordState`; Action the cases named
// by the operations.
template <class State, class Action>
class StoreOnboardingPort final : public OnboardingPort {
public:
    explicit StoreOnboardingPort(flowkeep::Store<State, Action>& store) : bridge_(store) {}

    static OnboardingSlice select(const State& state) {
        return OnboardingSlice{state.navigationState.onboardingState.onboardingStatus, state.biometryType,
                               state.masterPasswordState, state.navigationState.alert.has_value()};
    }

    OnboardingSlice slice() const override { return select(bridge_.state()); }
    flowkeep::Subscription observe(std::function<void(const OnboardingSlice&)> onChange) override {
        return bridge_.template select<OnboardingSlice>(&StoreOnboardingPort::select, std::move(onChange));
    }

    void enableExtension() override { bridge_.send(typename Action::enableExtension{true}); }
    void updateOnboardingStatus(OnboardingStatus status) override {
        bridge_.send(typename Action::updateOnboardingStatus{status});
    }
    void enableBiometry() override { bridge_.send(typename Action::setBiometry{true, true}); }
    void setupMasterPassword(SecretText password) override {
        bridge_.send(typename Action::setupMasterPassword{std::move(password)});
    }
    void hideOnboarding() override { bridge_.send(typename Action::hideOnboarding{}); }

private:
    views::StoreBridge<State, Action> bridge_;
};

} // namespace keyvane::app
