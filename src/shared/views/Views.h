#pragma once

class QQmlEngine;
class QWindow;

namespace flowkeep {
class MainExecutor;
}

namespace keyvane::views {

class BiometricPromptModel;

// Makes the shared views (QML module Keyvane.Views) available to an engine.
void installViews(QQmlEngine& engine);

// The fingerprint prompt of a program: makes the prompt, gives it to the live biometric check
// (fprintd, registered as laContextWrapper) and opens its window above the program's windows
// while a check waits for a finger. Both programs call it once, after installViews and before
// their store is built (the middlewares take the check when they are made). The prompt lives
// until the process ends: a check may still run on a pool thread when the program leaves.
BiometricPromptModel& installBiometricPrompt(QQmlEngine& engine, flowkeep::MainExecutor& executor);

// The prompt's window over a given prompt (installBiometricPrompt's own part, for tests):
// owned by the engine, shown while the prompt is. installBiometricPrompt makes it when a check
// first shows the prompt, not before.
QWindow* createBiometricPromptWindow(QQmlEngine& engine, BiometricPromptModel& prompt);

} // namespace keyvane::views
