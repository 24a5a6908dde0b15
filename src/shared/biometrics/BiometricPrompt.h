#pragma once

#include <functional>
#include <string>

namespace keyvane {

// What the user sees while a check waits for a finger: the sensor's own service shows
// nothing, so the program shows the reason and a cancel button. show and hide are called on
// the thread that runs the check (never the GUI thread); cancel may be called from any
// thread, also after the check has ended, when it does nothing.
class BiometricPromptProtocol {
public:
    virtual ~BiometricPromptProtocol() = default;
    virtual void show(const std::string& localizedReason, std::function<void()> cancel) = 0;
    virtual void hide() = 0;
};

} // namespace keyvane
