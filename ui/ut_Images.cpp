// ut_Images: simple flat glyphs on a 16-unit grid, drawn once and cached, and
// the program icon and tray images, rendered from the program icon's SVG.
#include "ut_Images.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSvgRenderer>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

using Draw = std::function<void(QPainter &)>;

const QColor cInk(0x30, 0x36, 0x40);
const QColor cFolder(0xf2, 0xb8, 0x3c);
const QColor cFolderDark(0xc9, 0x8a, 0x17);
const QColor cBlue(0x2f, 0x6f, 0xc6);
const QColor cGreen(0x2e, 0x9e, 0x4f);
const QColor cRed(0xd2, 0x3c, 0x32);
const QColor cGrey(0x8a, 0x92, 0x9c);
const QColor cPaper(0xfb, 0xfb, 0xf8);

QIcon Paint(const Draw &draw)
{
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void Page(QPainter &p, const QRectF &r = QRectF(3, 1, 10, 14))
{
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 3, r.top());
    path.lineTo(r.right(), r.top() + 3);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(cInk, 0.9));
    p.setBrush(cPaper);
    p.drawPath(path);
    p.drawLine(QPointF(r.right() - 3, r.top()), QPointF(r.right() - 3, r.top() + 3));
    p.drawLine(QPointF(r.right() - 3, r.top() + 3), QPointF(r.right(), r.top() + 3));
}

void Folder(QPainter &p, const QRectF &r = QRectF(1, 3, 14, 11), const QColor &body = cFolder)
{
    p.setPen(QPen(cFolderDark, 0.9));
    p.setBrush(body.darker(110));
    p.drawRoundedRect(QRectF(r.left(), r.top(), r.width() * 0.45, 3), 1, 1);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(r.left(), r.top() + 2, r.width(), r.height() - 2), 1.2, 1.2);
}

void Disc(QPainter &p, const QColor &color, const QRectF &r = QRectF(1.5, 1.5, 13, 13))
{
    p.setPen(QPen(color.darker(130), 0.9));
    p.setBrush(color);
    p.drawEllipse(r);
}

void Letter(QPainter &p, const QString &text, const QRectF &r, const QColor &color = Qt::white, int pixelSize = 10)
{
    QFont font;
    font.setPixelSize(pixelSize);
    font.setBold(true);
    p.setFont(font);
    p.setPen(color);
    p.drawText(r, Qt::AlignCenter, text);
}

void Arrow(QPainter &p, const QPointF &from, const QPointF &to, const QColor &color, qreal width = 1.8)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    const QLineF line(to, from);
    QLineF a = line;
    a.setLength(3.5);
    a.setAngle(line.angle() + 35);
    QLineF b = line;
    b.setLength(3.5);
    b.setAngle(line.angle() - 35);
    p.drawLine(a);
    p.drawLine(b);
}

// Two half-circle arrows around the centre; `turn` rotates them (animation frames).
void Cycle(QPainter &p, const QColor &color, qreal turn = 0)
{
    p.save();
    p.translate(8, 8);
    p.rotate(turn);
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF r(-5.5, -5.5, 11, 11);
    p.drawArc(r, 30 * 16, 130 * 16);
    p.drawArc(r, 210 * 16, 130 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(QPolygonF({QPointF(-7.8, -1.5), QPointF(-3.2, -1.5), QPointF(-5.5, 2)}));
    p.drawPolygon(QPolygonF({QPointF(7.8, 1.5), QPointF(3.2, 1.5), QPointF(5.5, -2)}));
    p.restore();
}

void Floppy(QPainter &p, const QColor &color = cBlue)
{
    p.setPen(QPen(color.darker(140), 0.9));
    p.setBrush(color);
    p.drawRoundedRect(QRectF(2, 2, 12, 12), 1.2, 1.2);
    p.setBrush(cPaper);
    p.drawRect(QRectF(4.5, 2, 7, 4.5));
    p.setBrush(QColor(0xd8, 0xdc, 0xe2));
    p.drawRect(QRectF(4.5, 9, 7, 5));
}

void Pencil(QPainter &p, const QPointF &tip = QPointF(3, 13), qreal length = 11)
{
    p.save();
    p.translate(tip);
    p.rotate(-45);
    p.setPen(QPen(cInk, 0.8));
    p.setBrush(QColor(0xf5, 0xc6, 0x42));
    p.drawRect(QRectF(2.5, -1.6, length - 4.5, 3.2));
    p.setBrush(QColor(0xe9, 0x8e, 0x8e));
    p.drawRect(QRectF(length - 2, -1.6, 2, 3.2));
    p.setBrush(QColor(0xf1, 0xdb, 0xb0));
    p.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(2.5, -1.6), QPointF(2.5, 1.6)}));
    p.restore();
}

QIcon Build(int index)
{
    switch (index) {
    case imNew:
        return Paint([](QPainter &p) {
            Page(p);
            p.setPen(QPen(cGreen, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(11, 9), QPointF(11, 15));
            p.drawLine(QPointF(8, 12), QPointF(14, 12));
        });
    case imOpen:
        return Paint([](QPainter &p) {
            Folder(p);
            p.setPen(QPen(cFolderDark, 0.9));
            p.setBrush(cFolder.lighter(115));
            p.drawPolygon(QPolygonF({QPointF(3, 7), QPointF(15.5, 7), QPointF(13.5, 14), QPointF(1, 14)}));
        });
    case imSave:
        return Paint([](QPainter &p) { Floppy(p); });
    case imSaveAs:
        return Paint([](QPainter &p) {
            Floppy(p);
            Pencil(p, QPointF(7, 15), 10);
        });
    case imExit:
        return Paint([](QPainter &p) {
            p.setPen(QPen(cInk, 0.9));
            p.setBrush(QColor(0xb0, 0x7a, 0x4a));
            p.drawRect(QRectF(2, 1.5, 7, 13));
            Arrow(p, QPointF(7, 8), QPointF(15, 8), cRed);
        });
    case imTray:
        return Paint([](QPainter &p) {
            p.setPen(QPen(cInk, 0.9));
            p.setBrush(cPaper);
            p.drawRect(QRectF(1.5, 2, 13, 9));
            p.setBrush(cBlue);
            p.drawRect(QRectF(1.5, 2, 13, 2.5));
            p.setBrush(cGrey);
            p.drawRect(QRectF(1.5, 12.5, 13, 2.5));
            Arrow(p, QPointF(8, 5.5), QPointF(8, 10.5), cGreen, 1.5);
        });
    case imDelete:
        return Paint([](QPainter &p) {
            p.setPen(QPen(cRed, 2.6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
            p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        });
    case imEdit:
        return Paint([](QPainter &p) {
            Page(p, QRectF(2, 1, 9, 13));
            Pencil(p, QPointF(6, 15), 12);
        });
    case imWindowsFolders:
        return Paint([](QPainter &p) {
            Folder(p);
            p.setPen(Qt::NoPen);
            p.setBrush(cBlue);
            p.drawPolygon(QPolygonF({QPointF(8, 6.5), QPointF(12, 9.5), QPointF(4, 9.5)}));
            p.drawRect(QRectF(5, 9.5, 6, 3.5));
        });
    case imRun:
        return Paint([](QPainter &p) {
            p.setPen(QPen(cGreen.darker(130), 0.9));
            p.setBrush(cGreen);
            p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(14, 8), QPointF(4, 14)}));
        });
    case imStop:
        return Paint([](QPainter &p) {
            p.setPen(QPen(cRed.darker(130), 0.9));
            p.setBrush(cRed);
            p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
        });
    case imPause:
        return Paint([](QPainter &p) {
            p.setPen(QPen(cBlue.darker(130), 0.9));
            p.setBrush(cBlue);
            p.drawRoundedRect(QRectF(3.5, 2.5, 3.5, 11), 1, 1);
            p.drawRoundedRect(QRectF(9, 2.5, 3.5, 11), 1, 1);
        });
    case imExportLanguage:
    case imOriginalLanguage:
    case imLanguage:
        return Paint([index](QPainter &p) {
            Disc(p, cBlue.lighter(120));
            p.setPen(QPen(Qt::white, 0.8));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(5, 1.5, 6, 13));
            p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
            if (index == imExportLanguage)
                Arrow(p, QPointF(9, 12), QPointF(15, 12), cGreen, 1.6);
            else if (index == imOriginalLanguage)
                Arrow(p, QPointF(15, 12), QPointF(9, 12), cRed, 1.6);
        });
    case imOptions:
        return Paint([](QPainter &p) {
            p.translate(8, 8);
            p.setPen(Qt::NoPen);
            p.setBrush(cGrey.darker(120));
            for (int i = 0; i < 8; ++i) {
                p.drawRect(QRectF(-1.4, -7.5, 2.8, 4));
                p.rotate(45);
            }
            p.drawEllipse(QRectF(-5, -5, 10, 10));
            p.setBrush(cPaper);
            p.drawEllipse(QRectF(-2, -2, 4, 4));
        });
    case imHelp:
        return Paint([](QPainter &p) {
            Disc(p, cBlue);
            Letter(p, QStringLiteral("?"), QRectF(1.5, 1.5, 13, 13));
        });
    case imRunning:
        return Paint([](QPainter &p) { Cycle(p, cGreen); });
    case imUpdate:
        return Paint([](QPainter &p) {
            Disc(p, cGreen);
            Arrow(p, QPointF(8, 4), QPointF(8, 12.5), Qt::white, 1.8);
        });
    case imEntry:
        return Paint([](QPainter &p) {
            Folder(p, QRectF(0.5, 1, 9, 7));
            Folder(p, QRectF(6.5, 8, 9, 7), QColor(0x9c, 0xc4, 0xf0));
            Arrow(p, QPointF(4, 9.5), QPointF(4, 14), cGreen, 1.4);
            p.drawLine(QPointF(4, 14), QPointF(6, 14));
        });
    case imAbout:
        return Paint([](QPainter &p) {
            Disc(p, cBlue);
            Letter(p, QStringLiteral("i"), QRectF(1.5, 1.5, 13, 13));
        });
    case imSelectFolder:
        return Paint([](QPainter &p) {
            Folder(p);
            p.setPen(Qt::NoPen);
            p.setBrush(cInk);
            for (int i = 0; i < 3; ++i)
                p.drawEllipse(QRectF(4.2 + i * 3, 9, 1.8, 1.8));
        });
    default:
        if (index < 0 || index >= imMainCount)
            return QIcon();
        // Spare places of the list: plain pages, kept so the positions stay fixed.
        return Paint([](QPainter &p) { Page(p); });
    }
}

// The program icon's SVG text, as built into the program.
const QByteArray &ProgramIconSvg()
{
    static const QByteArray svg = [] {
        QFile file(u":/icons/vantor.svg"_s);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    return svg;
}

// Renders SVG text into an icon with one pixmap per size.
QIcon RenderSvg(const QByteArray &svg, std::initializer_list<int> sizes)
{
    QSvgRenderer renderer(svg);
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(0, 0, size, size));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// The program icon's SVG with its badge in other colours, its arrows turned and,
// for the disabled state, a stroke across the badge. The names replaced are the
// badge gradient's two stop colours and the arrows' rotation in the SVG file.
QIcon TrayVariant(const char *top, const char *bottom, int turn = 0, bool struck = false)
{
    QByteArray svg = ProgramIconSvg();
    svg.replace("stop-color=\"#4a8be0\"", QByteArray("stop-color=\"") + top + '"');
    svg.replace("stop-color=\"#1f55a8\"", QByteArray("stop-color=\"") + bottom + '"');
    svg.replace("rotate(0 42 42)", "rotate(" + QByteArray::number(turn) + " 42 42)");
    if (struck)
        svg.replace("</svg>", "<path d=\"M 29 55 L 55 29\" stroke=\"#d23c32\" stroke-width=\"6\" "
                              "stroke-linecap=\"round\"/></svg>");
    return RenderSvg(svg, {16, 32});
}

} // namespace

QIcon MainImage(int index)
{
    static QList<QIcon> cache;
    if (cache.isEmpty())
        for (int i = 0; i < imMainCount; ++i)
            cache << Build(i);
    return index >= 0 && index < imMainCount ? cache.at(index) : QIcon();
}

QIcon ProgramIcon()
{
    static const QIcon icon = RenderSvg(ProgramIconSvg(), {16, 22, 24, 32, 48, 64, 128, 256});
    return icon;
}

QList<QIcon> TrayImages(TTrayImageList list)
{
    switch (list) {
    case tiActive:
        return {TrayVariant("#48c46c", "#1f7a3a", 0), TrayVariant("#48c46c", "#1f7a3a", 90)};
    case tiDisabled:
        return {TrayVariant("#b4bac2", "#7a828c", 0, true)};
    case tiPassive:
    default:
        return {RenderSvg(ProgramIconSvg(), {16, 32}), TrayVariant("#7aaaf0", "#3a72c8")};
    }
}
