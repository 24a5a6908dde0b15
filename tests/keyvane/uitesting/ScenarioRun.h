#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace keyvane::uitests {

// One item of the screen as the program's probe wrote it.
struct ScreenItem {
    QString objectName;
    QString accessibleName;
    QString text;
    bool visible = false;
    double opacity = 0;
    bool activeFocus = false;
    double width = 0;
    QStringList path; // objectNames of the named ancestors, outermost first

    bool within(const QString& ancestor) const { return path.contains(ancestor); }
};

// The screen at one probe frame.
struct Screen {
    qint64 frame = 0;
    std::vector<ScreenItem> items;

    // Visible, fully drawn items.
    std::vector<ScreenItem> shown() const;
    bool shows(const QString& objectName) const;
    const ScreenItem* find(const QString& objectName) const; // the first shown item of that name
    std::vector<ScreenItem> shownWithPrefix(const QString& prefix) const;
    std::string summary() const; // for failure messages
};

// The keyvane program started as a user-interface test starts it: the "UI-Testing" argument,
// UI_TEST_CASE, offscreen on the software backend, its probe writing into a folder of the
// run's. TMPDIR is the caller's folder, so a test sees what the run leaves there.
class ScenarioRun {
public:
    // testCase: nothing leaves UI_TEST_CASE unset. extra: variables added to the environment.
    ScenarioRun(const std::optional<QString>& testCase, const std::filesystem::path& work,
                const QProcessEnvironment& extra = {}, QStringList arguments = {"UI-Testing"});
    ~ScenarioRun();

    // Waits (polling the probe, at most `seconds`) until `expected` holds for the screen, and
    // then for two more frames, so an item fading in is drawn in full. Nothing when the time
    // runs out or the program ends first.
    std::optional<Screen> waitFor(const std::function<bool(const Screen&)>& expected, int seconds = 40);
    const Screen& lastScreen() const { return last_; }
    std::filesystem::path picture() const; // the probe's latest screen.png

    // Asks the program to quit (SIGTERM) and answers its exit status (-1 if it did not end).
    int stop();
    // Waits for the program to end by itself; its exit status, -1 when it did not.
    int waitForExit(int seconds = 30);
    QString errorOutput();

private:
    std::optional<Screen> read() const;

    std::filesystem::path probe_;
    QProcess process_;
    QString errors_;
    Screen last_;
};

} // namespace keyvane::uitests
