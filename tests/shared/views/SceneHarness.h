#pragma once

#include "shared/views/Views.h"

#include <QImage>
#include <QObject>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSet>
#include <QTest>
#include <QVariantMap>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace keyvane::views::testing {

// One shared view in an offscreen window, inside a Loader as its hosts show it, so that
// making the loader inactive is the view disappearing.
class SceneHarness {
public:
    // appearance: 0 follows the system, 1 light, 2 dark (the views' Theme.Appearance).
    // Without animation a view shows the end of each change at once (Theme.animated).
    // A view of another module names it in `module` (its types registered by its host's
    // install function beforehand; registration holds for the whole process).
    SceneHarness(const QString& viewType, const QVariantMap& properties, QSize size, int appearance = 0,
                 bool animated = true, const QString& module = {})
        : SceneHarness(module, {}, viewType, properties, size, appearance, animated) {}
    // A view of another QML module: its import line and what makes it known to an engine.
    SceneHarness(const QString& import, const std::function<void(QQmlEngine&)>& install, const QString& viewType,
                 const QVariantMap& properties, QSize size, int appearance = 0, bool animated = true) {
        installViews(engine_);
        if (install) {
            install(engine_);
        }
        window_.resize(size);
        QQmlComponent component(&engine_);
        QString propertyList;
        for (auto it = properties.begin(); it != properties.end(); ++it) {
            propertyList += QStringLiteral("required property var %1\n").arg(it.key());
        }
        QString assignments;
        for (auto it = properties.begin(); it != properties.end(); ++it) {
            assignments += QStringLiteral("%1: host.%1; ").arg(it.key());
        }
        const QString extraImport = import.isEmpty() ? QString() : QStringLiteral("import %1\n").arg(import);
        component.setData((QStringLiteral("import QtQuick\nimport Keyvane.Views\n") + extraImport + QStringLiteral(
                                         "FocusScope { id: host\n anchors.fill: parent\n %1"
                                         " property alias active: loader.active\n"
                                         " Binding { target: Theme; property: \"appearance\"; value: %4 }\n"
                                         " Binding { target: Theme; property: \"animated\"; value: %5 }\n"
                                         " Loader { id: loader; objectName: \"harnessLoader\"; anchors.fill: parent; focus: true; active: false;"
                                         " sourceComponent: Component { %2 { %3 } } } }"))
                              .arg(propertyList, viewType, assignments, QString::number(appearance),
                                   animated ? QStringLiteral("true") : QStringLiteral("false"))
                              .toUtf8(),
                          QUrl(QStringLiteral("qrc:/harness.qml")));
        if (!component.isReady()) {
            throw std::runtime_error(component.errorString().toStdString());
        }
        root_.reset(qobject_cast<QQuickItem*>(component.createWithInitialProperties(properties)));
        if (!root_) {
            throw std::runtime_error(component.errorString().toStdString());
        }
        root_->setParentItem(window_.contentItem());
        root_->setFocus(true);
        // The view is made once the theme's pins hold, so one that animates as it appears
        // already sees them.
        setActive(true);
        window_.show();
        window_.requestActivate();
        // Keyboard focus needs an active window; the offscreen platform activates at once.
        (void)QTest::qWaitForWindowActive(&window_);
    }
    ~SceneHarness() {
        root_.reset();
    }

    QQuickWindow& window() { return window_; }
    // Polishes, lays out and draws one frame, so positions are final before an input.
    QImage render() { return window_.grabWindow(); }
    QQuickItem& root() { return *root_; }
    void setActive(bool active) { root_->setProperty("active", active); }

    // The item with this object name anywhere in the scene: panes inside loaders, lazily
    // made delegates and what the overlay holds all sit below the window's content item.
    QQuickItem* find(const QString& name) const { return find(window_.contentItem(), name); }

    // Tabs through the window several times and says where the keyboard went astray: empty
    // while every Tab left it on a shown item inside the given one (the cover of a sheet);
    // otherwise "nothing" when keys reached no item at all (or only the harness itself, or a
    // hidden item), or the name of the first item outside the cover that took them.
    std::string focusOutside(QQuickItem* cover, int tabs = 8) {
        for (int i = 0; i < tabs; ++i) {
            QTest::keyClick(&window_, Qt::Key_Tab);
            auto* focused = window_.activeFocusItem();
            if (reachesNothing(focused)) {
                return "nothing";
            }
            if (cover == nullptr || !isAncestor(cover, focused)) {
                return describe(focused).toStdString();
            }
        }
        return {};
    }

    // Tabs until the given item holds the keyboard: empty once it does; otherwise where the
    // keyboard went on each Tab ("nothing" where keys reached no item), for the failure.
    std::string tabTo(const QQuickItem* target, int tabs = 8) {
        std::string trail;
        for (int i = 0; i < tabs; ++i) {
            QTest::keyClick(&window_, Qt::Key_Tab);
            auto* focused = window_.activeFocusItem();
            if (target != nullptr && focused == target) {
                return {};
            }
            trail += (trail.empty() ? "" : " > ") +
                     (reachesNothing(focused) ? std::string("nothing") : describe(focused).toStdString());
        }
        return trail.empty() ? std::string("no Tab") : trail;
    }

    // A click in the middle of an item, as a person makes it.
    void click(const QQuickItem* item) {
        render();
        const auto centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
        QTest::mouseClick(&window_, Qt::LeftButton, {}, centre);
    }

    // An item as a failure message names it: its object name, else its type.
    static QString describe(const QQuickItem* item) {
        if (item == nullptr) {
            return QStringLiteral("nothing");
        }
        return item->objectName().isEmpty() ? QString::fromUtf8(item->metaObject()->className()) : item->objectName();
    }

    static QQuickItem* find(QQuickItem* item, const QString& name) {
        if (item->objectName() == name) {
            return item;
        }
        for (auto* child : item->childItems()) {
            if (auto* found = find(child, name)) {
                return found;
            }
        }
        return nullptr;
    }

private:
    // Keys held by no item, by the harness's own frame around the view, or by a hidden item
    // go nowhere a person could see.
    bool reachesNothing(const QQuickItem* focused) const {
        return focused == nullptr || focused == root_.get() || focused == window_.contentItem() ||
               focused->objectName() == QStringLiteral("harnessLoader") || !focused->isVisible();
    }

    static bool isAncestor(const QQuickItem* item, const QQuickItem* of) {
        for (auto* parent = of; parent != nullptr; parent = parent->parentItem()) {
            if (parent == item) {
                return true;
            }
        }
        return false;
    }

    QQmlEngine engine_;
    QQuickWindow window_;
    std::unique_ptr<QQuickItem> root_;
};

// Not blank: more than a handful of colours, so more than a flat background was drawn. What
// the screenshot programs check of each picture (the pictures are never compared).
inline bool isDrawn(const QImage& image) {
    if (image.isNull() || image.width() < 100 || image.height() < 100) {
        return false;
    }
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) {
            colours.insert(image.pixel(x, y));
            if (colours.size() > 8) {
                return true;
            }
        }
    }
    return false;
}

// The check of one written picture: drawn, or a line on standard error saying what is wrong.
inline bool pictureDrawn(const QString& path) {
    if (isDrawn(QImage(path))) {
        return true;
    }
    std::fprintf(stderr, "missing or blank: %s\n", qPrintable(path));
    return false;
}

} // namespace keyvane::views::testing
