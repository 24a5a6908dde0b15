// How long the main window takes to show, and what it holds in memory once idle, beside a bare
// Qt Quick window started the same way. A timing program, not a test: it seeds a temporary
// group directory with 500 passkey records of 4 tokens, then starts itself several times as a
// child process, offscreen on the software backend, alternating the bare window and the
// program's window, and prints the medians.
//
// Usage: window_startup_benchmark [RUNS]
//        window_startup_benchmark --bare | --text | --window   (one child run; prints its figures)
//        window_startup_benchmark --seed DIR   (writes the records into DIR, for a child run
//                                               under a profiler)
#include "flowkeep/QtMainExecutor.h"
#include "keyvane/app/ProgramWindow.h"
#include "shared/preferences/UserDefaultsManager.h"
#include "shared/redux/OnboardingStatus.h"
#include "shared/storage/CredentialsStorage.h"
#include "shared/storage/ModelContainer.h"
#include "shared/storage/TokenStorage.h"

#include <QFont>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Once the window has shown what is measured, the process waits a second without input and
// reports its memory.
void reportIdleMemoryAndQuit() {
    QTimer::singleShot(1000, [] {
        std::printf("idle-rss-kb %ld\n", residentKilobytes());
        std::fflush(stdout);
        std::_Exit(0);
    });
}

void setUpApplication() {
    QGuiApplication::setApplicationName("Keyvane");
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
}

// The bare window: one rectangle; with a text, also one line in the program's font, which is
// what the fonts cost any window that draws a word (the rectangle alone never loads them).
int runBare(int argc, char** argv, bool withText) {
    QGuiApplication application(argc, argv);
    std::printf("application-us %lld\n", static_cast<long long>(now()));
    setUpApplication();
    QQmlApplicationEngine engine;
    engine.loadData(QByteArray("import QtQuick\nimport QtQuick.Controls.Basic\n"
                               "ApplicationWindow { width: 1000; height: 620; visible: true\n"
                               " Rectangle { anchors.fill: parent; color: \"#f6f6f8\" }\n") +
                    (withText ? " Text { x: 20; y: 20; text: \"Keyvane\"; font.pixelSize: 13 }\n" : "") + "}");
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
    if (window == nullptr) {
        return EXIT_FAILURE;
    }
    std::printf("window-made-us %lld\n", static_cast<long long>(now()));
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [] {
        static bool first = true;
        if (first) {
            first = false;
            std::printf("first-frame-us %lld\n", static_cast<long long>(now()));
            reportIdleMemoryAndQuit();
        }
    }, Qt::DirectConnection);
    return QGuiApplication::exec();
}

// The program's window, started as the entry starts it.
int runWindow(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    std::printf("application-us %lld\n", static_cast<long long>(now()));
    keyvane::app::ProgramWindow::setUpApplication();
    flowkeep::QtMainExecutor executor;
    keyvane::app::ProgramWindow program(executor);
    std::printf("views-installed-us %lld\n", static_cast<long long>(now()));
    program.start({});
    // The store with its middlewares and services, before any QML of the window is made.
    std::printf("store-ready-us %lld\n", static_cast<long long>(now()));
    auto* window = program.load();
    if (window == nullptr) {
        return EXIT_FAILURE;
    }
    // The window's items are made; what follows is their first drawing.
    std::printf("window-made-us %lld\n", static_cast<long long>(now()));
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&program] {
        static bool first = true;
        static bool listed = false;
        if (first) {
            first = false;
            std::printf("first-frame-us %lld\n", static_cast<long long>(now()));
        }
        // The frame that was drawn after the records reached the list.
        if (!listed && program.model().passkeys()->count() > 0) {
            listed = true;
            std::printf("list-frame-us %lld\n", static_cast<long long>(now()));
            reportIdleMemoryAndQuit();
        }
    }, Qt::DirectConnection);
    return QGuiApplication::exec();
}

void seedRecords(const std::filesystem::path& group) {
    auto container = std::make_shared<const keyvane::ModelContainer>(group / "records.sqlite");
    keyvane::TokenStorage tokens(container);
    keyvane::CredentialsStorage credentials(container);
    for (int t = 0; t < 4; ++t) {
        const std::string serial = "BENCH00" + std::to_string(t);
        tokens.syncToken(keyvane::TokenInfo{"Token " + std::to_string(t), "Varnel 3", serial, "1.0", 65536, 40000, true});
        std::vector<keyvane::PasskeyCredentials> passkeys;
        for (int i = 0; i < 125; ++i) {
            const auto id = static_cast<std::uint8_t>(i);
            passkeys.push_back(keyvane::PasskeyCredentials{keyvane::Bytes{static_cast<std::uint8_t>(t), id},
                                                          "site" + std::to_string(i) + ".example",
                                                          "user" + std::to_string(t * 125 + i), keyvane::Bytes{id}, serial});
        }
        credentials.updateCredentials(passkeys, serial);
    }
    keyvane::UserDefaultsManager(group).setValue(
        static_cast<std::int64_t>(keyvane::rawValue(keyvane::OnboardingStatus::completed)), keyvane::UserDefaultsKey::onboardingStatus);
}

// One child run: the figures it printed, with times as milliseconds since its start.
std::map<std::string, double> runChild(const std::string& program, const char* mode) {
    const auto started = now();
    std::FILE* child = ::popen((program + " " + mode).c_str(), "r");
    std::map<std::string, double> figures;
    if (child == nullptr) {
        return figures;
    }
    char name[64];
    long long value = 0;
    while (std::fscanf(child, "%63s %lld", name, &value) == 2) {
        const std::string key = name;
        figures[key] = key.ends_with("-us") ? static_cast<double>(value - started) / 1000.0 : static_cast<double>(value);
    }
    ::pclose(child);
    return figures;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--seed" && argc > 2) {
        std::filesystem::create_directories(argv[2]);
        seedRecords(argv[2]);
        return 0;
    }
    // A child run reads the records of the group directory it is given: never the user's own.
    if ((mode == "--bare" || mode == "--text" || mode == "--window") && std::getenv("KEYVANE_GROUP_DIR") == nullptr) {
        std::fprintf(stderr, "window_startup_benchmark: child runs need KEYVANE_GROUP_DIR\n");
        return 2;
    }
    if (mode == "--bare" || mode == "--text") {
        return runBare(argc, argv, mode == "--text");
    }
    if (mode == "--window") {
        return runWindow(argc, argv);
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const auto group = std::filesystem::temp_directory_path() / ("keyvane-window-benchmark-" + std::to_string(::getpid()));
    std::filesystem::create_directories(group);
    seedRecords(group);
    ::setenv("KEYVANE_GROUP_DIR", group.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("QT_QUICK_BACKEND", "software", 1);
    const std::string program = std::filesystem::canonical("/proc/self/exe").string();

    std::map<std::string, std::vector<double>> bare;
    std::map<std::string, std::vector<double>> text;
    std::map<std::string, std::vector<double>> window;
    for (int run = 0; run < runs; ++run) {
        for (const auto& [key, value] : runChild(program, "--bare")) {
            bare[key].push_back(value);
        }
        for (const auto& [key, value] : runChild(program, "--text")) {
            text[key].push_back(value);
        }
        for (const auto& [key, value] : runChild(program, "--window")) {
            window[key].push_back(value);
        }
    }
    std::filesystem::remove_all(group);

    const double bareFrame = median(bare["first-frame-us"]);
    const double bareMemory = median(bare["idle-rss-kb"]);
    std::printf("medians of %d runs each, offscreen, software backend, 500 passkeys of 4 tokens\n", runs);
    std::printf("bare window:  first frame %.1f ms, idle memory %.1f MB\n", bareFrame, bareMemory / 1024.0);
    std::printf("bare window steps (ms since start): application %.1f, window made %.1f\n",
                median(bare["application-us"]), median(bare["window-made-us"]));
    std::printf("with a text:  first frame %.1f ms (%.2f x), idle memory %.1f MB (%.2f x)\n",
                median(text["first-frame-us"]), median(text["first-frame-us"]) / bareFrame,
                median(text["idle-rss-kb"]) / 1024.0, median(text["idle-rss-kb"]) / bareMemory);
    std::printf("main window:  first frame %.1f ms (%.2f x; %.2f x the one with a text), frame with the list %.1f ms, "
                "idle memory %.1f MB (%.2f x; %.2f x)\n",
                median(window["first-frame-us"]), median(window["first-frame-us"]) / bareFrame,
                median(window["first-frame-us"]) / median(text["first-frame-us"]), median(window["list-frame-us"]),
                median(window["idle-rss-kb"]) / 1024.0, median(window["idle-rss-kb"]) / bareMemory,
                median(window["idle-rss-kb"]) / median(text["idle-rss-kb"]));
    std::printf("main window steps (ms since start): application %.1f, views installed %.1f, store ready %.1f, "
                "window made %.1f\n",
                median(window["application-us"]), median(window["views-installed-us"]), median(window["store-ready-us"]),
                median(window["window-made-us"]));
    return 0;
}
