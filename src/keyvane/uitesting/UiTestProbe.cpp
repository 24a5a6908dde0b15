#include "keyvane/uitesting/UiTestProbe.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaProperty>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSaveFile>

#include <utility>

namespace keyvane::app {
namespace {

constexpr int probeIntervalMs = 200;

// Accessible.name lives in the item's attached accessibility object, a child QObject of the
// item whose class is Qt Quick's own (no public header names it).
QString accessibleName(const QQuickItem& item) {
    for (const QObject* child : item.children()) {
        if (qstrcmp(child->metaObject()->className(), "QQuickAccessibleAttached") == 0) {
            return child->property("name").toString();
        }
    }
    return {};
}

QString textOf(const QQuickItem& item) {
    const int index = item.metaObject()->indexOfProperty("text");
    if (index < 0) {
        return {};
    }
    const QVariant value = item.metaObject()->property(index).read(&item);
    return value.canConvert<QString>() ? value.toString() : QString();
}

void collect(const QQuickItem& item, const QStringList& path, qreal opacity, QJsonArray& out) {
    const qreal effectiveOpacity = opacity * item.opacity();
    const QString name = item.objectName();
    const QString spoken = accessibleName(item);
    const QString text = textOf(item);
    if (!name.isEmpty() || !spoken.isEmpty() || !text.isEmpty()) {
        const QRectF place = item.mapRectToScene(QRectF(0, 0, item.width(), item.height()));
        out.append(QJsonObject{
            {"objectName", name},
            {"accessibleName", spoken},
            {"text", text},
            {"type", QString::fromLatin1(item.metaObject()->className())},
            {"visible", item.isVisible() && effectiveOpacity > 0.0},
            {"opacity", effectiveOpacity},
            {"enabled", item.isEnabled()},
            {"activeFocus", item.hasActiveFocus()},
            {"x", place.x()},
            {"y", place.y()},
            {"width", place.width()},
            {"height", place.height()},
            {"path", QJsonArray::fromStringList(path)},
        });
    }
    QStringList childPath = path;
    if (!name.isEmpty()) {
        childPath.append(name);
    }
    for (const QQuickItem* child : item.childItems()) {
        collect(*child, childPath, effectiveOpacity, out);
    }
}

} // namespace

UiTestProbe::UiTestProbe(QQuickWindow& window, QString folder, QObject* parent)
    : QObject(parent), window_(window), folder_(std::move(folder)) {
    QDir().mkpath(folder_);
    timer_.setInterval(probeIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { write(); });
    timer_.start();
}

void UiTestProbe::write() {
    ++frame_;
    const QDir folder(folder_);
    // The picture first: once a reader sees a tree, a picture at least as new is there.
    const QImage picture = window_.grabWindow();
    QSaveFile png(folder.filePath(QStringLiteral("screen.png")));
    if (png.open(QIODevice::WriteOnly) && picture.save(&png, "PNG")) {
        png.commit();
    }
    QJsonArray items;
    collect(*window_.contentItem(), {}, 1.0, items);
    const QJsonObject tree{{"frame", frame_}, {"width", window_.width()}, {"height", window_.height()}, {"items", items}};
    QSaveFile json(folder.filePath(QStringLiteral("tree.json")));
    if (json.open(QIODevice::WriteOnly)) {
        json.write(QJsonDocument(tree).toJson(QJsonDocument::Compact));
        json.commit();
    }
}

} // namespace keyvane::app
