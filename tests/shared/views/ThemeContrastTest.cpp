// The theme's colours, read as the views read them, in both appearances: each pair that the
// views draw one on the other reaches the WCAG contrast ratio its use needs (text 4.5:1, parts
// that carry meaning 3:1), and the multi-coloured pictures stand out from the background.
#include "shared/views/Views.h"

#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace keyvane::views::testing {
namespace {

// Relative luminance and contrast ratio as WCAG 2 defines them.
double luminance(const QColor& colour) {
    const auto channel = [](double value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

constexpr double text = 4.5;
constexpr double part = 3.0;

struct Pair {
    const char* foreground;
    const char* background;
    double minimum;
    const char* use;
};

const std::vector<Pair> pairs = {
    {"primaryText", "background", text, "labels"},
    {"primaryText", "card", text, "labels on cards and alerts"},
    {"primaryText", "fill", text, "labels of secondary buttons"},
    {"secondaryText", "background", text, "secondary labels"},
    {"secondaryText", "card", text, "secondary labels on cards"},
    {"secondaryText", "fill", text, "detail keys, placeholders and the search symbol"},
    {"textOnAccent", "accent", text, "prominent buttons, the selection"},
    {"accentText", "background", text, "links and one-colour pictures"},
    {"accentText", "card", text, "links on cards"},
    {"error", "background", text, "error text"},
    {"error", "card", text, "error text on cards"},
    {"red", "fill", text, "destructive button labels"},
    {"textOnDestructive", "red", text, "a destructive button drawn as the default"},
    {"red", "card", text, "destructive labels and symbols on cards"},
    {"tertiaryLabel", "background", part, "empty master-password dots"},
    {"tertiaryLabel", "card", part, "empty master-password dots on cards"},
    {"blue", "background", part, "filled master-password dots"},
    {"blue", "card", part, "filled master-password dots on cards"},
    {"red", "background", part, "dots of a refused password"},
    {"focusRing", "background", part, "focus ring"},
    {"focusRing", "card", part, "focus ring on cards"},
    {"focusRing", "fill", part, "focus ring on fields and buttons"},
    {"primaryText", "accent", part, "focus ring on prominent buttons"},
    {"accent", "background", part, "the selection's shape"},
    {"accent", "card", part, "prominent buttons on cards"},
    {"switchTrackOn", "fill", part, "switch track, on"},
    {"switchTrackOff", "fill", part, "switch track, off"},
    {"textOnAccent", "switchTrackOn", part, "switch knob, on"},
    {"textOnAccent", "switchTrackOff", part, "switch knob, off"},
};

// The theme singleton as the views see it, pinned to one appearance.
class ThemeReader {
public:
    explicit ThemeReader(int appearance) {
        installViews(engine_);
        QQmlComponent component(&engine_);
        component.setData("import QtQuick\nimport Keyvane.Views\nQtObject { readonly property QtObject theme: Theme }",
                          QUrl(QStringLiteral("qrc:/theme-reader.qml")));
        holder_.reset(component.create());
        if (!holder_) {
            throw std::runtime_error(component.errorString().toStdString());
        }
        theme_ = holder_->property("theme").value<QObject*>();
        theme_->setProperty("appearance", appearance);
    }
    QColor colour(const char* name) const { return theme_->property(name).value<QColor>(); }
    QString text(const char* name) const { return theme_->property(name).toString(); }
    bool dark() const { return theme_->property("dark").toBool(); }

private:
    QQmlEngine engine_;
    std::unique_ptr<QObject> holder_;
    QObject* theme_ = nullptr;
};

const std::vector<std::pair<const char*, int>> appearances = {{"light", 1}, {"dark", 2}};

TEST(ThemeContrast, EveryPairTheViewsDrawReachesItsRatio) {
    for (const auto& [name, appearance] : appearances) {
        ThemeReader theme(appearance);
        ASSERT_EQ(theme.dark(), appearance == 2);
        for (const auto& pair : pairs) {
            const QColor foreground = theme.colour(pair.foreground);
            const QColor background = theme.colour(pair.background);
            if (!foreground.isValid() || !background.isValid()) {
                ADD_FAILURE() << "the theme has no " << pair.foreground << " or " << pair.background;
                continue;
            }
            EXPECT_GE(contrast(foreground, background), pair.minimum)
                << name << ": " << pair.use << ", " << pair.foreground << " " << foreground.name().toStdString()
                << " on " << pair.background << " " << background.name().toStdString() << " is "
                << contrast(foreground, background) << ":1";
        }
    }
}

// The outline of a picture: its opaque pixels next to a transparent one, over the background.
// The median contrast of those pixels with the background says whether the shape stands out
// (a few light details on a light background are fine; a body that melts into it is not).
double outlineContrast(const QString& path, const QColor& background) {
    QImageReader reader(path);
    reader.setScaledSize(QSize(96, 96));
    const QImage picture = reader.read().convertToFormat(QImage::Format_ARGB32);
    if (picture.isNull()) {
        ADD_FAILURE() << "cannot read " << path.toStdString() << ": " << reader.errorString().toStdString();
        return 0;
    }
    const auto alpha = [&](int x, int y) {
        return x < 0 || y < 0 || x >= picture.width() || y >= picture.height() ? 0 : qAlpha(picture.pixel(x, y));
    };
    std::vector<double> ratios;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (alpha(x, y) < 230) {
                continue;
            }
            bool edge = false;
            for (int dy = -1; dy <= 1 && !edge; ++dy) {
                for (int dx = -1; dx <= 1 && !edge; ++dx) {
                    edge = alpha(x + dx, y + dy) < 26;
                }
            }
            if (edge) {
                QImage over(1, 1, QImage::Format_ARGB32);
                over.fill(background);
                QPainter painter(&over);
                painter.drawImage(QPoint(0, 0), picture, QRect(x, y, 1, 1));
                painter.end();
                ratios.push_back(contrast(over.pixelColor(0, 0), background));
            }
        }
    }
    if (ratios.empty()) {
        ADD_FAILURE() << path.toStdString() << " has no outline";
        return 0;
    }
    std::nth_element(ratios.begin(), ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2), ratios.end());
    return ratios[ratios.size() / 2];
}

TEST(ThemeContrast, PicturesStandOutFromTheBackground) {
    const QString source = QStringLiteral(KEYVANE_SOURCE_DIR "/src/");
    for (const auto& [name, appearance] : appearances) {
        ThemeReader theme(appearance);
        const QColor background = theme.colour("background");
        const std::vector<QString> pictures = {
            "shared/views/images/" + theme.text("tokenPicture"),
            "shared/views/images/" + theme.text("unsupportedTokenPicture"),
            "shared/views/images/hand-tap.svg",
            "shared/views/images/fingerprint.svg",
            "shared/views/images/master-password.svg",
            "shared/views/images/chevron.svg",
            "shared/views/images/alert-badge.svg",
            "keyvane/views/images/app-badge.svg",
            "keyvane/views/images/attention.svg",
            "keyvane/views/images/face.svg",
            "keyvane/views/images/key.svg",
            "credential_ext/views/images/key-card.svg",
        };
        for (const auto& picture : pictures) {
            const double ratio = outlineContrast(source + picture, background);
            EXPECT_GE(ratio, part) << name << ": " << picture.toStdString() << " on " << background.name().toStdString()
                                   << " is " << ratio << ":1";
        }
    }
}

} // namespace
} // namespace keyvane::views::testing
