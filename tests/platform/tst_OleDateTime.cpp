// Tests of the day-count date-time and the settable clock.
#include <QTest>
#include "OleDateTime.h"

class tst_OleDateTime : public QObject {
    Q_OBJECT
private slots:
    void conversions_data();
    void conversions();
    void settableClock();
};

void tst_OleDateTime::conversions_data()
{
    QTest::addColumn<QDateTime>("local");
    QTest::addColumn<double>("ole");
    QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("next day") << QDateTime(QDate(1899, 12, 31), QTime(0, 0)) << 1.0;
    QTest::newRow("1900 not a leap year") << QDateTime(QDate(1900, 3, 1), QTime(0, 0)) << 61.0;
    QTest::newRow("noon 2024") << QDateTime(QDate(2024, 1, 1), QTime(12, 0)) << 45292.5;
    QTest::newRow("before epoch, time stays positive")
        << QDateTime(QDate(1899, 12, 29), QTime(6, 0)) << -1.25;
    // Berlin switches to summer time at 02:00 on this day; the count is wall-clock.
    QTest::newRow("summer time day") << QDateTime(QDate(2024, 3, 31), QTime(3, 30))
                                     << 45382.0 + 3.5 / 24;
    QTest::newRow("last millisecond") << QDateTime(QDate(2000, 1, 1), QTime(23, 59, 59, 999))
                                      << 36526.0 + 86399999.0 / 86400000.0;
}

void tst_OleDateTime::conversions()
{
    QFETCH(QDateTime, local);
    QFETCH(double, ole);
    QCOMPARE(OleFromDateTime(local), ole);
    QCOMPARE(DateTimeFromOle(ole), local);
    QCOMPARE(OleDatePart(ole) + (ole < 0 ? -OleTimePart(ole) : OleTimePart(ole)), ole);
}

void tst_OleDateTime::settableClock()
{
    const QDateTime fixed(QDate(2021, 5, 20), QTime(9, 0));
    const DateTimeSource previous = SetCurrentDateTimeSource([fixed] { return fixed; });
    QVERIFY(!previous);
    QCOMPARE(CurrentDateTime(), fixed);
    QCOMPARE(CurrentOle(), OleFromDateTime(fixed));
    SetCurrentDateTimeSource({});
    QVERIFY(CurrentDateTime().date().year() > 2021);
    QCOMPARE(OleFromDateTime(QDateTime()), 0.0);
}

QTEST_GUILESS_MAIN(tst_OleDateTime)
#include "tst_OleDateTime.moc"
