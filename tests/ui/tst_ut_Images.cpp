// The program icon is one drawing everywhere: the window icon, the tray's resting
// image and the icon files installed for the menu entry; the tray's other images
// are variants of it that can be told apart.
#include <QDir>
#include <QImage>
#include <QTest>

#include "frm_Main.h"
#include "ut_Images.h"

using namespace Qt::StringLiterals;

namespace {

QImage ImageOf(const QIcon &icon, int size)
{
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Share of pixels that differ clearly between two images of the same size.
double DifferentShare(const QImage &a, const QImage &b)
{
    int differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q))
                    + qAbs(qAlpha(p) - qAlpha(q))
                > 24)
                ++differ;
        }
    return double(differ) / (a.width() * a.height());
}

} // namespace

class tst_ut_Images : public QObject
{
    Q_OBJECT

private slots:
    // The icon has every size a desktop asks for, and is a real drawing: opaque in
    // its middle, transparent in the corners, and not a single flat colour.
    void programIconSizes()
    {
        const QIcon icon = ProgramIcon();
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QImage image = ImageOf(icon, size);
            QCOMPARE(image.size(), QSize(size, size));
            QCOMPARE(qAlpha(image.pixel(0, size - 1)), 0);
            QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) > 200);
            QVERIFY(image.pixel(size * 3 / 10, size / 2) != image.pixel(size * 7 / 10, size * 7 / 10));
        }
    }

    void windowAndTrayShowTheProgramIcon()
    {
        TformMain form;
        for (int size : {16, 32}) {
            const QImage icon = ImageOf(ProgramIcon(), size);
            QCOMPARE(ImageOf(form.windowIcon(), size), icon);
            QCOMPARE(ImageOf(TrayImages(tiPassive).constFirst(), size), icon);
        }
    }

    // The icon theme files the install puts beside the menu entry show the same
    // drawing as the window: a change to one cannot leave the other behind.
    void installedIconsMatchTheWindowIcon()
    {
        const QString icons = QDir(qEnvironmentVariable("VANTOR_APP_DIR")).filePath(u"../icons"_s);
        for (int size : {16, 48, 256}) {
            const QString file = u"%1/%2x%2/apps/com.zarnoth.Vantor.png"_s.arg(icons).arg(size);
            QImage installed(file);
            QVERIFY2(!installed.isNull(), qPrintable(file));
            QCOMPARE(installed.size(), QSize(size, size));
            QVERIFY2(DifferentShare(installed.convertToFormat(QImage::Format_ARGB32), ImageOf(ProgramIcon(), size))
                         < 0.01,
                     qPrintable(file));
        }
    }

    // The tray lists keep their image counts, and each state looks different from
    // the others: the active frames differ from each other so the icon visibly
    // turns, and neither active nor disabled can be mistaken for resting.
    void trayStatesAreDistinct()
    {
        const QList<QIcon> passive = TrayImages(tiPassive);
        const QList<QIcon> active = TrayImages(tiActive);
        const QList<QIcon> disabled = TrayImages(tiDisabled);
        QCOMPARE(passive.size(), 2);
        QCOMPARE(active.size(), 2);
        QCOMPARE(disabled.size(), 1);

        const QImage rest = ImageOf(passive.at(0), 32);
        QVERIFY(DifferentShare(rest, ImageOf(passive.at(1), 32)) > 0.02);
        QVERIFY(DifferentShare(ImageOf(active.at(0), 32), ImageOf(active.at(1), 32)) > 0.02);
        for (const QIcon &icon : {active.at(0), active.at(1), disabled.at(0)})
            QVERIFY(DifferentShare(rest, ImageOf(icon, 32)) > 0.05);
        QVERIFY(DifferentShare(ImageOf(active.at(0), 32), ImageOf(disabled.at(0), 32)) > 0.05);
        // Every tray image also has its 16-pixel form, the size a tray asks for.
        for (const QList<QIcon> &list : {passive, active, disabled})
            for (const QIcon &icon : list)
                QCOMPARE(ImageOf(icon, 16).size(), QSize(16, 16));
    }
};

QTEST_MAIN(tst_ut_Images)
#include "tst_ut_Images.moc"
