// Paints a language's menu icon: its two-letter code in white on a rounded
// square of the given colour, 16 by 16, saved as an .ico file.
//   paint_language_icon <code> <#rrggbb> <out.ico>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: paint_language_icon <code> <#rrggbb> <out.ico>\n");
        return 2;
    }
    const QString code = QString::fromUtf8(argv[1]).toUpper();
    const QColor colour(QString::fromUtf8(argv[2]));
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath square;
    square.addRoundedRect(QRectF(0.5, 1.5, 15, 13), 3, 3);
    painter.fillPath(square, colour);
    painter.setPen(colour.darker(140));
    painter.drawPath(square);
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(9);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 1, 16, 14), Qt::AlignCenter, code);
    painter.end();
    QImageWriter writer(QString::fromUtf8(argv[3]), "ico");
    if (!writer.write(image)) {
        std::fprintf(stderr, "%s\n", qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
