#pragma once

#include "flowkeep/MainExecutor.h"

#include <QObject>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace keyvane::views {

// A yes-or-no question that work on a pool thread puts to the user through a dialog on the
// main thread. ask() blocks its (pool) thread until the dialog answers; closing the window
// answers no to the waiting question and to every later one, so no task waits forever.
class ConfirmationBridge : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool asking READ asking NOTIFY askingChanged)

public:
    explicit ConfirmationBridge(flowkeep::MainExecutor& executor, QObject* parent = nullptr);
    ~ConfirmationBridge() override;

    // From a pool thread. On the main thread it answers no at once: waiting there would
    // block the dialog that is to answer.
    bool ask();

    bool asking() const { return asking_; }
    // The dialog's buttons; closing the dialog is a refusal.
    Q_INVOKABLE void answer(bool agreed);
    // The window goes away.
    Q_INVOKABLE void close();

signals:
    void askingChanged();

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable answered;
        std::optional<bool> answer;
        bool waiting = false;
        bool closed = false;
    };

    void setAsking(bool asking);

    flowkeep::MainExecutor& executor_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool asking_ = false;
};

} // namespace keyvane::views
