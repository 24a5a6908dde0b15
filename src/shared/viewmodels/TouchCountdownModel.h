#pragma once

#include "shared/viewmodels/ViewTimer.h"

#include <QObject>
#include <QString>

#include <cstdint>

namespace keyvane::views {

// The countdown while a token waits for a touch: the seconds left, lowered once a second on
// the main executor from when the view appears until 0 or until it disappears.
class TouchCountdownModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(qint64 seconds READ seconds NOTIFY secondsChanged)
    Q_PROPERTY(QString footnote READ footnote NOTIFY secondsChanged)
    Q_PROPERTY(bool running READ running NOTIFY secondsChanged)
    Q_PROPERTY(double fraction READ fraction NOTIFY secondsChanged)

public:
    explicit TouchCountdownModel(flowkeep::MainExecutor& executor, QObject* parent = nullptr);

    qint64 seconds() const { return static_cast<qint64>(seconds_); }
    QString footnote() const;
    bool running() const { return timer_.isPending(); }
    // The part of the initial count still left, for the ring around the symbol.
    double fraction() const { return initial_ == 0 ? 0.0 : static_cast<double>(seconds_) / static_cast<double>(initial_); }

    // The seconds of a new touch request: the count starts again from them, and a count still
    // running stops (appeared() runs the new one). The host calls it for a new request only,
    // so a count that reached 0 stays there whatever else changes.
    void setInitialSeconds(std::uint64_t seconds);

    Q_INVOKABLE void appeared();
    Q_INVOKABLE void disappeared();

signals:
    void secondsChanged();

private:
    void scheduleTick();

    std::uint64_t seconds_ = 0;
    std::uint64_t initial_ = 0;
    ViewTimer timer_;
};

} // namespace keyvane::views
