#pragma once

#include <QString>
#include <QtGlobal>

#include <mutex>
#include <string>
#include <vector>

namespace keyvane::testing {

// Every message logged (any level, any thread) while it lives.
class LogCapture {
public:
    LogCapture() {
        clear();
        previous_ = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const {
        std::lock_guard guard(mutex());
        std::string all;
        for (const auto& line : lines()) {
            all += line + "\n";
        }
        return all;
    }
    void clear() {
        std::lock_guard guard(mutex());
        lines().clear();
    }

private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> instance;
        return instance;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) {
        std::lock_guard guard(mutex());
        lines().push_back(message.toStdString());
    }
    QtMessageHandler previous_ = nullptr;
};

} // namespace keyvane::testing
