#pragma once

#include <QByteArray>
#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <utility>

namespace keyvane::views::testing {

// A warning of the QML engine (a binding loop, a read from null or of an unknown property, a
// failed assignment) is a fault of the view, even though the scene goes on drawing. What runs
// a scene installs this once, before the first scene: every such warning still prints as
// before and is then handed to `fault`, which fails the run.
inline bool isQmlWarning(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtWarningMsg && type != QtCriticalMsg) {
        return false;
    }
    const QByteArray category = context.category != nullptr ? QByteArray(context.category) : QByteArray();
    const QByteArray file = context.file != nullptr ? QByteArray(context.file) : QByteArray();
    return category == "qml" || category == "js" || category.startsWith("qt.qml") || file.endsWith(".qml") ||
           message.contains(QStringLiteral(".qml:"));
}

inline void failOnQmlWarnings(std::function<void(const QString&)> fault) {
    static std::function<void(const QString&)> report;
    static QtMessageHandler previous = nullptr;
    report = std::move(fault);
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (previous != nullptr) {
            previous(type, context, message);
        }
        if (report && isQmlWarning(type, context, message)) {
            report(message);
        }
    });
}

} // namespace keyvane::views::testing
