// The extension host's time from process start to its first frame, beside a bare Qt Quick
// window started the same way: each run is a new process (this program again, in a child
// mode) on the offscreen platform and the software renderer, timed from the spawn until the
// child reports its first frame on standard output.
//
// Usage: extension_start_benchmark [RUNS]
#include "credential_ext/app/ExtensionHost.h"
#include "credential_ext/host/HostRequest.h"
#include "credential_ext/views/ExtensionViews.h"
#include "flowkeep/QtMainExecutor.h"
#include "shared/views/Views.h"

#include <QFont>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

void reportFirstFrame(QQuickWindow* window) {
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [] {
        std::printf("frame\n");
        std::fflush(stdout);
        std::_Exit(0);
    });
}

// As keyvane-credential-ext starts for a registration, up to its window.
int runHost(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    auto* engine = new QQmlApplicationEngine;
    keyvane::ext::views::installExtensionViews(*engine);
    auto* executor = new flowkeep::QtMainExecutor;
    keyvane::views::installBiometricPrompt(*engine, *executor);
    auto* host = new keyvane::ext::ExtensionHost(*executor, engine, [](const std::string&) {});
    const auto request = keyvane::ext::readHostRequest(
        R"({"request":"registration","relyingPartyId":"example.com","userName":"alice","userHandle":"AQID",)"
        R"("clientDataHash":"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8"})");
    host->start(std::get<keyvane::ext::HostRequest>(request));
    reportFirstFrame(qobject_cast<QQuickWindow*>(host->window()));
    return QGuiApplication::exec();
}

// A bare window of the same size with one text, loaded the same way.
int runBare(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    QQmlApplicationEngine engine;
    engine.loadData("import QtQuick\nWindow { width: 352; height: 384; visible: true; title: \"Keyvane\"\n"
                    " Text { anchors.centerIn: parent; text: \"alice@example.com\" } }");
    reportFirstFrame(qobject_cast<QQuickWindow*>(engine.rootObjects().value(0)));
    return QGuiApplication::exec();
}

double spawnAndTime(const char* self, const char* mode) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    char* arguments[] = {const_cast<char*>(self), const_cast<char*>(mode), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, self, &actions, nullptr, arguments, environ) != 0) {
        std::exit(1);
    }
    ::close(pipeEnds[1]);
    char buffer[16];
    const auto count = ::read(pipeEnds[0], buffer, sizeof buffer);
    const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    if (count <= 0) {
        std::fprintf(stderr, "%s: the child drew no frame\n", mode);
        std::exit(1);
    }
    return elapsed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--host") == 0) {
        return runHost(argc, argv);
    }
    if (argc == 2 && std::strcmp(argv[1], "--bare") == 0) {
        return runBare(argc, argv);
    }
    const int runs = argc == 2 ? std::max(1, std::atoi(argv[1])) : 15;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_QUICK_BACKEND", "software", 1);
    // The host reads the group folder at launch: a folder of the run's own.
    char folder[] = "/tmp/keyvane-start-benchmark-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    setenv("KEYVANE_GROUP_DIR", folder, 1);
    setenv("XDG_RUNTIME_DIR", folder, 1);
    std::printf("%-6s %10s %10s %10s   (ms from spawn to first frame, %d runs each)\n", "", "median", "min", "max", runs);
    for (const char* mode : {"--bare", "--host"}) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            times.push_back(spawnAndTime("/proc/self/exe", mode));
        }
        std::sort(times.begin(), times.end());
        std::printf("%-6s %10.1f %10.1f %10.1f\n", mode + 2, times[times.size() / 2], times.front(), times.back());
    }
    std::system((std::string("rm -rf ") + folder).c_str());
    return 0;
}
