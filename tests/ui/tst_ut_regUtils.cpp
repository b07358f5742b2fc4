// Typed settings values and window placement through the user's store: what a
// reader of each kind gets back, a placement that is incomplete or off every
// screen, and the show state carried over.
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "UserRegistry.h"
#include "ut_regUtils.h"

using namespace Qt::StringLiterals;

namespace {
const QString kKey = u"\\software\\Zarnoth\\Vantor\\Test"_s;
}

class tst_ut_regUtils : public QObject
{
    Q_OBJECT

private:
    static void WritePlacement(const QString &key, const QList<int> &values, int skip = -1)
    {
        static const QStringList names{u"Flags"_s,       u"ShowCmd"_s,    u"MinPosX"_s,      u"MinPosY"_s,
                                       u"MaxPosX"_s,     u"MaxPosY"_s,    u"NormPosLeft"_s,  u"NormPosTop"_s,
                                       u"NormPosRight"_s, u"NormPosBottom"_s};
        QList<QPair<QString, TRegValue>> list;
        for (int i = 0; i < 10; ++i)
            if (i != skip)
                list.append({names.at(i), TRegValue::DWord(quint32(values.at(i)))});
        QVERIFY(TUserRegistry().Write(key, list));
    }

private slots:
    void init()
    {
        QDir(QFileInfo(TUserRegistry::DefaultFileName()).path()).removeRecursively();
    }

    // Each reader gets a value of its own kind or its default.
    void readersByKind()
    {
        // Nothing stored at all: the defaults, a string default included.
        QCOMPARE(ReadRegValue(kKey, u"S"_s, u"dflt"_s), u"dflt"_s);
        QCOMPARE(ReadRegValue(kKey, u"B"_s, true), true);
        QCOMPARE(ReadRegValue(kKey, u"I"_s, 7), 7);
        QCOMPARE(ReadRegValue(kKey, u"D"_s, 2.5), 2.5);

        WriteRegValue(kKey, u"S"_s, u"text"_s);
        WriteRegValue(kKey, u"B"_s, false);
        WriteRegValue(kKey, u"I"_s, -3);
        WriteRegValue(kKey, u"D"_s, 45678.25);
        QCOMPARE(ReadRegValue(kKey, u"s"_s, QString()), u"text"_s);
        QCOMPARE(ReadRegValue(kKey, u"b"_s, true), false);
        QCOMPARE(ReadRegValue(kKey, u"i"_s, 0), -3);
        QCOMPARE(ReadRegValue(kKey, u"d"_s, 0.0), 45678.25);
        // Any non-zero integer is true.
        QVERIFY(TUserRegistry().Write(kKey, u"B"_s, TRegValue::DWord(5)));
        QCOMPARE(ReadRegValue(kKey, u"B"_s, false), true);

        // A value of another kind is the default for that reader: a path
        // stored as a number, a number stored as text, a flag stored as text.
        WriteRegValue(kKey, u"LastConfig"_s, 12);
        QCOMPARE(ReadRegValue(kKey, u"LastConfig"_s, QString()), QString());
        QCOMPARE(ReadRegValue(kKey, u"LastConfig"_s, u"dflt"_s), u"dflt"_s);
        QCOMPARE(ReadRegValue(kKey, u"S"_s, 9), 9);
        QCOMPARE(ReadRegValue(kKey, u"S"_s, true), true);
        QCOMPARE(ReadRegValue(kKey, u"I"_s, 1.5), 1.5);
        // A missing string in a key that exists reads as empty.
        QCOMPARE(ReadRegValue(kKey, u"Nothing"_s, u"dflt"_s), QString());
    }

    void placementRoundTrip_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("showCmd");
        QTest::newRow("normal") << int(Qt::WindowNoState) << 1;
        QTest::newRow("maximised") << int(Qt::WindowMaximized) << 3;
        QTest::newRow("minimised") << int(Qt::WindowMinimized) << 2;
    }

    // The normal rectangle and the show state come back as they were saved.
    void placementRoundTrip()
    {
        QFETCH(int, state);
        QFETCH(int, showCmd);
        const QString key = u"\\software\\Zarnoth\\Vantor\\Pos\\formTest"_s;
        {
            QWidget w;
            w.setObjectName(u"formTest"_s);
            QCOMPARE(PlacementKey(&w), key);
            w.setGeometry(40, 50, 300, 200);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.setWindowState(Qt::WindowStates(state));
            SaveWindowPlacement(&w, key);
        }
        QCOMPARE(ReadRegValue(key, u"ShowCmd"_s, 0), showCmd);
        QCOMPARE(ReadRegValue(key, u"NormPosRight"_s, 0) - ReadRegValue(key, u"NormPosLeft"_s, 0), 300);

        QWidget again;
        again.resize(100, 100);
        QVERIFY(RestoreWindowPlacement(&again, key));
        QCOMPARE(again.normalGeometry().isValid() ? again.normalGeometry() : again.geometry(),
                 QRect(40, 50, 300, 200));
        QCOMPARE(int(again.windowState()), state);
    }

    // One value short, or one of another kind: the window stays as it was.
    void incompletePlacementNotApplied_data()
    {
        QTest::addColumn<int>("skip");
        QTest::addColumn<bool>("asText");
        QTest::newRow("no Flags") << 0 << false;
        QTest::newRow("no NormPosBottom") << 9 << false;
        QTest::newRow("ShowCmd as text") << 1 << true;
    }

    void incompletePlacementNotApplied()
    {
        QFETCH(int, skip);
        QFETCH(bool, asText);
        WritePlacement(kKey, {0, 3, -1, -1, -1, -1, 10, 20, 410, 320}, skip);
        if (asText)
            WriteRegValue(kKey, u"ShowCmd"_s, u"3"_s);
        QWidget w;
        w.setGeometry(5, 6, 200, 100);
        QVERIFY(!RestoreWindowPlacement(&w, kKey));
        QCOMPARE(w.geometry(), QRect(5, 6, 200, 100));
        QCOMPARE(w.windowState(), Qt::WindowNoState);
    }

    // A place on a monitor that is gone: the window comes up on the nearest
    // screen that is there, whole when it fits.
    void offScreenPlacementMovedOntoAScreen_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::newRow("far right") << QRect(5000, 100, 300, 200);
        QTest::newRow("above") << QRect(100, -3000, 300, 200);
        QTest::newRow("title bar just above the top") << QRect(100, -195, 300, 200);
        QTest::newRow("bigger than the screen, far left") << QRect(-9000, 0, 9000, 9000);
    }

    void offScreenPlacementMovedOntoAScreen()
    {
        QFETCH(QRect, saved);
        WritePlacement(kKey, {0, 1, -1, -1, -1, -1, saved.left(), saved.top(), saved.right() + 1, saved.bottom() + 1});
        QWidget w;
        QVERIFY(RestoreWindowPlacement(&w, kKey));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(area.contains(w.geometry()), qPrintable(u"%1,%2 %3x%4"_s.arg(w.x()).arg(w.y()).arg(w.width()).arg(w.height())));
        if (saved.width() <= area.width())
            QCOMPARE(w.size(), saved.size());
    }

    void onScreenPlacementKeptAsSaved()
    {
        WritePlacement(kKey, {0, 1, -1, -1, -1, -1, 10, 20, 410, 320});
        QWidget w;
        QVERIFY(RestoreWindowPlacement(&w, kKey));
        QCOMPARE(w.geometry(), QRect(10, 20, 400, 300));
    }
};

QTEST_MAIN(tst_ut_regUtils)
#include "tst_ut_regUtils.moc"
