#pragma once

#include "flowkeep/MainExecutor.h"
#include "shared/biometrics/BiometricPrompt.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace keyvane::views {

// What the fingerprint check shows while it waits for a finger: the reason and a cancel. The
// check calls show and hide on the pool thread that runs it; both are posted to the main
// executor, so the view reads the model on the main thread only. Cancel calls the running
// check's own cancel (safe from any thread) and hides the prompt at once; a cancel after the
// check has ended finds nothing to cancel.
//
// Each check is known by the thread that runs it: a hide ends the check of its own thread,
// so two checks that overlap never hide each other's prompt.
class BiometricPromptModel : public QObject, public BiometricPromptProtocol {
    Q_OBJECT
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(QString reason READ reason NOTIFY changed)

public:
    explicit BiometricPromptModel(flowkeep::MainExecutor& executor, QObject* parent = nullptr);
    ~BiometricPromptModel() override;

    void show(const std::string& localizedReason, std::function<void()> cancel) override;
    void hide() override;

    bool shown() const { return !checks_.empty(); }
    // The reason of the check on screen (the latest one to start).
    QString reason() const { return checks_.empty() ? QString() : checks_.back().reason; }

    // The view's Cancel and Escape.
    Q_INVOKABLE void cancel();

signals:
    void changed();

private:
    struct Check {
        std::thread::id thread;
        QString reason;
        std::function<void()> cancel;
    };

    // Runs the step on the main thread while this model lives.
    void onMain(std::function<void()> step);

    flowkeep::MainExecutor::Reference executor_;
    // Read on the main thread only; the posted steps check it there.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::vector<Check> checks_;
};

} // namespace keyvane::views
