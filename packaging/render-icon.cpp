// Renders an SVG drawing to a square PNG of a given size: the hicolor theme's bitmap sizes of
// the program's icon, made from its one drawing at build time.
// Usage: render-icon DRAWING.svg SIZE OUTPUT.png
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: render-icon DRAWING.svg SIZE OUTPUT.png\n");
        return EXIT_FAILURE;
    }
    QCoreApplication application(argc, argv);
    const int size = std::atoi(argv[2]);
    QSvgRenderer drawing(QString::fromLocal8Bit(argv[1]));
    if (!drawing.isValid() || size <= 0 || size > 4096) {
        std::fprintf(stderr, "render-icon: cannot render %s at %s pixels\n", argv[1], argv[2]);
        return EXIT_FAILURE;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        drawing.render(&painter);
    }
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "render-icon: cannot write %s\n", argv[3]);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
