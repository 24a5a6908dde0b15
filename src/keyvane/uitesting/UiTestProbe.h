#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QQuickWindow;

namespace keyvane::app {

// Lets a user-interface test read the program's screen from outside: while the program runs
// under the test mode with KEYVANE_UI_TEST_PROBE naming a folder, it writes there, a few times
// a second, screen.png (the window as drawn) and then tree.json (every item that has an
// objectName, an accessible name or a text, with its type, text, effective visibility and
// opacity, enabled, focus, place in the window, and the objectNames of its named ancestors,
// plus a frame number). Both are replaced atomically, so a reader never sees half a file. The
// test polls tree.json until the screen it expects is there; the program never waits for it.
class UiTestProbe : public QObject {
public:
    static constexpr const char* folderVariable = "KEYVANE_UI_TEST_PROBE";

    UiTestProbe(QQuickWindow& window, QString folder, QObject* parent = nullptr);

    // Writes the two files now (also called on each tick).
    void write();

private:
    QQuickWindow& window_;
    QString folder_;
    QTimer timer_;
    qint64 frame_ = 0;
};

} // namespace keyvane::app
