// Size and time texts, the error box text, and the time-left arithmetic of
// the update window's timer.
#include "ErrorBox.h"
#include "Unit1.h"
#include "UpdateFormat.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

class tst_UpdateFormat : public QObject
{
    Q_OBJECT
private slots:
    void formatSize_data();
    void formatSize();
    void formatTimeLeft_data();
    void formatTimeLeft();
    void roundsHalvesToEven();
    void errorText_data();
    void errorText();
    void timeLeftFromTheTimer();
};

void tst_UpdateFormat::formatSize_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("999") << qint64(999) << "999 B";
    QTest::newRow("1000 stays bytes") << qint64(1000) << "1000 B";
    QTest::newRow("1001") << qint64(1001) << "0.98 KB";
    QTest::newRow("1536") << qint64(1536) << "1.5 KB";
    QTest::newRow("1 MB") << qint64(1048576) << "1 MB";
    QTest::newRow("2500000") << qint64(2500000) << "2.38 MB";
    QTest::newRow("GB is the last unit") << qint64(5000) * 1024 * 1024 * 1024 << "5000 GB";
    QTest::newRow("unsized files") << qint64(-3) << "-3 B";
    QTest::newRow("zero") << qint64(0) << "0 B";
}

void tst_UpdateFormat::formatSize()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(FormatSize(bytes), text);
}

void tst_UpdateFormat::formatTimeLeft_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0s";
    QTest::newRow("59") << 59 << "59s";
    QTest::newRow("125") << 125 << "2m 5s";
    QTest::newRow("3600") << 3600 << "1h 0m 0sec";
    QTest::newRow("3725") << 3725 << "1h 2m 5sec";
}

void tst_UpdateFormat::formatTimeLeft()
{
    QFETCH(int, seconds);
    QFETCH(QString, text);
    QCOMPARE(FormatTimeLeft(seconds), text);
}

void tst_UpdateFormat::roundsHalvesToEven()
{
    QCOMPARE(RoundHalfEven(2.5), 2);
    QCOMPARE(RoundHalfEven(3.5), 4);
    QCOMPARE(RoundHalfEven(-2.5), -2);
    QCOMPARE(RoundHalfEven(33.3333), 33);
    QCOMPARE(RoundHalfEven(66.6667), 67);
}

void tst_UpdateFormat::errorText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("text");
    QTest::newRow("letter") << "Connection refused" << "Connection refused.";
    QTest::newRow("digit") << "HTTP/1.1 404 Not Found 2" << "HTTP/1.1 404 Not Found 2.";
    QTest::newRow("full stop") << "Read timed out." << "Read timed out.";
    QTest::newRow("exclamation sorts before") << "Failed!" << "Failed!";
    QTest::newRow("bracket sorts before") << "(none)" << "(none)";
    QTest::newRow("slash sorts after") << "Unable to write to /x/" << "Unable to write to /x/.";
    QTest::newRow("empty") << "" << "";
}

void tst_UpdateFormat::errorText()
{
    QFETCH(QString, message);
    QFETCH(QString, text);
    QCOMPARE(ErrorBoxText(message), text);
}

void tst_UpdateFormat::timeLeftFromTheTimer()
{
    QTemporaryDir dir;
    TForm1 form(dir.filePath(QStringLiteral("none.ini")));
    form.TimerTimer(); // position 0: no rate yet
    QCOMPARE(form.TimeStat->text(), QStringLiteral("Time left: 0s"));
    form.ProgressBar2->setValue(25);
    for (int tick = 1; tick < 20; ++tick)
        form.TimerTimer();
    // 10 s counted, 25 % done: 2.5 % per second, 75 % to go.
    QCOMPARE(form.TimeStat->text(), QStringLiteral("Time left: 30s"));
}

QTEST_MAIN(tst_UpdateFormat)
#include "tst_UpdateFormat.moc"
