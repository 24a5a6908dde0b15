#include "ScenarioRun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <sstream>

namespace keyvane::uitests {

std::vector<ScreenItem> Screen::shown() const {
    std::vector<ScreenItem> out;
    for (const auto& item : items) {
        if (item.visible && item.opacity >= 0.999) {
            out.push_back(item);
        }
    }
    return out;
}

const ScreenItem* Screen::find(const QString& objectName) const {
    for (const auto& item : items) {
        if (item.objectName == objectName && item.visible && item.opacity >= 0.999) {
            return &item;
        }
    }
    return nullptr;
}

bool Screen::shows(const QString& objectName) const { return find(objectName) != nullptr; }

std::vector<ScreenItem> Screen::shownWithPrefix(const QString& prefix) const {
    std::vector<ScreenItem> out;
    for (const auto& item : shown()) {
        if (item.objectName.startsWith(prefix)) {
            out.push_back(item);
        }
    }
    return out;
}

std::string Screen::summary() const {
    std::ostringstream out;
    out << "frame " << frame << ", shown:";
    for (const auto& item : shown()) {
        if (!item.objectName.isEmpty()) {
            out << "\n  " << item.path.join('/').toStdString() << "/" << item.objectName.toStdString();
            if (!item.accessibleName.isEmpty()) {
                out << " [" << item.accessibleName.toStdString() << "]";
            }
        }
    }
    return out.str();
}

ScenarioRun::ScenarioRun(const std::optional<QString>& testCase, const std::filesystem::path& work,
                         const QProcessEnvironment& extra, QStringList arguments)
    : probe_(work / "probe") {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_QUICK_BACKEND", "software");
    environment.insert("TMPDIR", QString::fromStdString(work.string()));
    environment.insert("KEYVANE_UI_TEST_PROBE", QString::fromStdString(probe_.string()));
    environment.remove("UI_TEST_CASE");
    if (testCase) {
        environment.insert("UI_TEST_CASE", *testCase);
    }
    for (const auto& key : extra.keys()) {
        environment.insert(key, extra.value(key));
    }
    process_.setProcessEnvironment(environment);
    process_.setProgram(QStringLiteral(KEYVANE_PROGRAM));
    process_.setArguments(arguments);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    process_.waitForStarted(10000);
}

ScenarioRun::~ScenarioRun() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(10000);
    }
}

std::optional<Screen> ScenarioRun::read() const {
    QFile file(QString::fromStdString((probe_ / "tree.json").string()));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const auto root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.isEmpty()) {
        return std::nullopt;
    }
    Screen screen;
    screen.frame = root.value("frame").toInteger();
    for (const auto& value : root.value("items").toArray()) {
        const auto item = value.toObject();
        QStringList path;
        for (const auto& name : item.value("path").toArray()) {
            path.append(name.toString());
        }
        screen.items.push_back(ScreenItem{
            .objectName = item.value("objectName").toString(),
            .accessibleName = item.value("accessibleName").toString(),
            .text = item.value("text").toString(),
            .visible = item.value("visible").toBool(),
            .opacity = item.value("opacity").toDouble(),
            .activeFocus = item.value("activeFocus").toBool(),
            .width = item.value("width").toDouble(),
            .path = path,
        });
    }
    return screen;
}

std::optional<Screen> ScenarioRun::waitFor(const std::function<bool(const Screen&)>& expected, int seconds) {
    constexpr int stepMs = 100;
    std::optional<qint64> metAt;
    for (int waited = 0; waited < seconds * 1000; waited += stepMs) {
        if (auto screen = read()) {
            last_ = *screen;
            if (!expected(*screen)) {
                metAt.reset();
            } else if (!metAt) {
                metAt = screen->frame;
            } else if (screen->frame >= *metAt + 2) {
                return screen;
            }
        }
        // The wait itself: returns early when the program ends.
        if (process_.waitForFinished(stepMs)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::filesystem::path ScenarioRun::picture() const { return probe_ / "screen.png"; }

int ScenarioRun::stop() {
    if (process_.state() != QProcess::NotRunning) {
        ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    }
    return waitForExit();
}

int ScenarioRun::waitForExit(int seconds) {
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(seconds * 1000)) {
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QString ScenarioRun::errorOutput() {
    errors_ += QString::fromLocal8Bit(process_.readAllStandardError());
    return errors_;
}

} // namespace keyvane::uitests
