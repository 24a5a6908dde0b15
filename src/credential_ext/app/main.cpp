// keyvane-credential-ext: one credential request per process. Reads the request (JSON) from
// standard input, runs the extension's controller with its window, writes the one answer
// (JSON, one line) to standard output and exits 0 once it is written.
#include "credential_ext/app/ExtensionHost.h"
#include "credential_ext/host/HostExtensionContext.h"
#include "credential_ext/host/HostRequest.h"
#include "credential_ext/views/ExtensionViews.h"
#include "flowkeep/QtMainExecutor.h"
#include "shared/dependencies/DependencyRegistry.h"
#include "shared/files/FileError.h"
#include "shared/files/GroupDirectory.h"
#include "shared/identities/CredentialIdentityStoreProtocol.h"
#include "shared/utils/TerminationSignals.h"
#include "shared/views/Views.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QSocketNotifier>
#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace keyvane::ext;

// One answer per process, whoever gives it: the request's context, or the handlers below while
// Qt ends the program. The lock lets an answer being written finish before the process ends.
std::mutex answerMutex;
bool answerWritten = false;

void writeAnswer(const std::string& line) {
    std::lock_guard lock(answerMutex);
    if (answerWritten) {
        return;
    }
    answerWritten = true;
    if (!writeAll(STDOUT_FILENO, line)) {
        std::fprintf(stderr, "keyvane-credential-ext: the answer could not be written\n");
    }
}

// Every way out of the program that has answered goes through _Exit, so exit() means that
// something ended it early: Qt's X11 platform calls exit(1) when the display goes away (the X
// server ends, the user logs out) with the window open. The caller still gets its answer.
void answerAtExit() { writeAnswer(writeHostAnswer(ASExtensionErrorCode::failed)); }

QtMessageHandler qtMessageHandler = nullptr;

// Qt ends the program on a fatal error (among others, when there is no display to show the
// window on): the caller gets its answer before that, rather than none.
void answerBeforeFatalError(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        writeAnswer(writeHostAnswer(ASExtensionErrorCode::failed));
    }
    if (qtMessageHandler != nullptr) {
        qtMessageHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

// Standard input until one whole JSON object has arrived, not until its end: the caller may
// keep the pipe open for the answer. Reading also stops past the size limit, where the request
// is refused.
std::string readRequest() {
    std::string input;
    HostRequestFrame frame;
    char buffer[65536];
    while (!frame.isComplete()) {
        const auto count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        input.append(buffer, static_cast<std::size_t>(count));
        frame.take(std::string_view(buffer, static_cast<std::size_t>(count)));
    }
    return input;
}

// keyvane makes the group folder before it can turn the extension on: without one the
// extension is off, and the answer leaves the folder as it was, not there.
bool isExtensionTurnedOn() {
    try {
        struct stat info {};
        if (::lstat(keyvane::groupDirectoryLocation().c_str(), &info) != 0 && errno == ENOENT) {
            return false;
        }
    } catch (const keyvane::FileError&) {
        return false;
    }
    return keyvane::Dependencies::get(keyvane::autofillExtensionHelper)->isEnabled();
}

// A request answered without a window: the answer is written, the program ends.
[[noreturn]] void answerAndExit(keyvane::ext::ASExtensionErrorCode code, const char* reason) {
    if (reason != nullptr) {
        std::fprintf(stderr, "keyvane-credential-ext: %s\n", reason);
    }
    writeAnswer(writeHostAnswer(code));
    std::_Exit(EXIT_SUCCESS);
}

// The main executor and the host are made once and never destroyed: pool work that outlives
// the event loop meets neither destroyed (the process leaves through _Exit).
int run(QCoreApplication& application, QQmlEngine* engine, const HostRequest& request) {
    auto* executor = new flowkeep::QtMainExecutor;
    if (engine != nullptr) {
        // The fingerprint prompt comes before the store: the middlewares take the biometric
        // check, with its prompt, when they are made.
        keyvane::views::installBiometricPrompt(*engine, *executor);
    }
    auto* host = new ExtensionHost(*executor, engine, writeAnswer);
    QObject::connect(host, &ExtensionHost::answered, &application, &QCoreApplication::quit, Qt::QueuedConnection);

    // SIGTERM and SIGINT before an answer are the user's cancellation, like closing the window.
    const int signalPipe = keyvane::watchTerminationSignals();
    if (signalPipe >= 0) {
        auto* notifier = new QSocketNotifier(signalPipe, QSocketNotifier::Read, &application);
        QObject::connect(notifier, &QSocketNotifier::activated, host, [host] { host->cancelByUser(); });
    }

    host->start(request);
    if (!host->isAnswered()) {
        QCoreApplication::exec();
    }
    // The loop ended without an answer only if something went badly wrong: the caller still
    // gets one.
    host->context().cancelRequest(ASExtensionErrorCode::failed);
    std::fflush(stdout);
    std::_Exit(EXIT_SUCCESS);
}

} // namespace

int main(int argc, char** argv) {
    // A caller that went away before the answer makes the write fail with EPIPE, which is
    // reported; left at its default, SIGPIPE would kill the program instead.
    std::signal(SIGPIPE, SIG_IGN);
    qtMessageHandler = qInstallMessageHandler(answerBeforeFatalError);
    std::atexit(answerAtExit);
    // The request is read and checked before anything else: a bad one touches no file of the
    // group folder and needs no display.
    const auto reading = readHostRequest(readRequest());
    if (const auto* bad = std::get_if<BadHostRequest>(&reading)) {
        answerAndExit(ASExtensionErrorCode::failed, bad->reason.c_str());
    }
    const auto& request = std::get<HostRequest>(reading);

    // A system calls no extension that is turned off.
    if (!isExtensionTurnedOn()) {
        answerAndExit(ASExtensionErrorCode::failed, "the extension is not turned on (Keyvane, Synchronise)");
    }

    if (std::holds_alternative<WithoutUserInteractionHostRequest>(request)) {
        // No window: the controller answers at once.
        QCoreApplication application(argc, argv);
        return run(application, nullptr, request);
    }

    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName("Keyvane");
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    // Closing the window answers the request; the loop ends on the answer, not on the window.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    auto* engine = new QQmlApplicationEngine;
    views::installExtensionViews(*engine);
    return run(application, engine, request);
}
