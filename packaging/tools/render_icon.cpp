// Build-time tool: renders the program's SVG icon as a square PNG of one size,
// so the installed bitmap sizes always show the same drawing as the SVG.
//   render_icon <icon.svg> <out.png> <size>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: render_icon <icon.svg> <out.png> <size>\n");
        return 2;
    }
    // Painting into an image needs no application object and no display.
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString target = QString::fromLocal8Bit(argv[2]);
    bool ok = false;
    const int size = QString::fromLocal8Bit(argv[3]).toInt(&ok);
    if (!ok || size < 1 || size > 4096) {
        std::fprintf(stderr, "render_icon: bad size '%s'\n", argv[3]);
        return 2;
    }
    QSvgRenderer renderer(source);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render_icon: cannot read '%s'\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    if (!image.save(target, "PNG")) {
        std::fprintf(stderr, "render_icon: cannot write '%s'\n", argv[2]);
        return 1;
    }
    return 0;
}
