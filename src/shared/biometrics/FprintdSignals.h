#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace keyvane {

// Receives fprintd's signals for one check, on the thread it was moved to, and hands them on:
// the result of each ended scan, and the service leaving the bus.
class FprintdSignals final : public QObject {
    Q_OBJECT
public:
    FprintdSignals(std::function<void(const QString&)> scanEnded, std::function<void()> vanished)
        : scanEnded_(std::move(scanEnded)), vanished_(std::move(vanished)) {}

public Q_SLOTS:
    void verifyStatus(const QString& result, bool done) {
        // Results that are not done ("verify-retry-scan"...) ask for another touch within the
        // same scan.
        if (done) {
            scanEnded_(result);
        }
    }
    void nameOwnerChanged(const QString&, const QString&, const QString& newOwner) {
        if (newOwner.isEmpty()) {
            vanished_();
        }
    }

private:
    std::function<void(const QString&)> scanEnded_;
    std::function<void()> vanished_;
};

} // namespace keyvane
