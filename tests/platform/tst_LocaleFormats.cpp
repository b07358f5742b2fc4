// Tests of the locale formats: four-digit years, no zone field, round trips.
#include <QTest>
#include "LocaleFormats.h"

class tst_LocaleFormats : public QObject {
    Q_OBJECT
private slots:
    void formats_data();
    void formats();
    void zoneFieldRemoval_data();
    void zoneFieldRemoval();
};

void tst_LocaleFormats::formats_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("epochDate");
    QTest::addColumn<QString>("tenOClock");
    QTest::addColumn<QString>("monday");
    QTest::addColumn<QString>("decimal");
    QTest::newRow("C") << u"C"_qs << u"30 Dec 1899"_qs << u"10:00:00"_qs << u"Monday"_qs << u"."_qs;
    QTest::newRow("en_US") << u"en_US"_qs << u"12/30/1899"_qs << u"10:00:00 AM"_qs << u"Monday"_qs
                           << u"."_qs;
    QTest::newRow("de_DE") << u"de_DE"_qs << u"30.12.1899"_qs << u"10:00:00"_qs << u"Montag"_qs
                           << u","_qs;
    QTest::newRow("ja_JP") << u"ja_JP"_qs << u"1899/12/30"_qs << u"10時00分00秒"_qs
                           << u"月曜日"_qs << u"."_qs;
    QTest::newRow("ko_KR") << u"ko_KR"_qs << u"1899. 12. 30."_qs << u"오전 10시 0분 0초"_qs
                           << u"월요일"_qs << u"."_qs;
}

void tst_LocaleFormats::formats()
{
    QFETCH(QString, locale);
    QFETCH(QString, epochDate);
    QFETCH(QString, tenOClock);
    QFETCH(QString, monday);
    QFETCH(QString, decimal);
    const QLocale l(locale);
    const QDate epoch(1899, 12, 30);
    QCOMPARE(FormatShortDate(epoch, l), epochDate);
    QCOMPARE(ParseShortDate(epochDate, l), epoch);
    QCOMPARE(ParseShortDate(FormatShortDate(QDate(2024, 2, 29), l), l), QDate(2024, 2, 29));
    QCOMPARE(FormatLongTime(QTime(10, 0), l), tenOClock);
    QCOMPARE(ParseLongTime(FormatLongTime(QTime(23, 4, 5), l), l), QTime(23, 4, 5));
    QCOMPARE(LongDayName(1, l), monday);
    QVERIFY(LongDayName(0, l).isEmpty());
    QVERIFY(LongDayName(8, l).isEmpty());
    QCOMPARE(DecimalSeparator(l), decimal);

    // The default argument follows QLocale::setDefault, never the machine.
    QLocale::setDefault(l);
    QCOMPARE(FormatShortDate(epoch), epochDate);
    QLocale::setDefault(QLocale::c());
}

void tst_LocaleFormats::zoneFieldRemoval_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("format");
    QTest::newRow("trailing") << u"de_DE"_qs << u"HH:mm:ss"_qs;
    QTest::newRow("leading") << u"zh_CN"_qs << u"HH:mm:ss"_qs;
    QTest::newRow("bracketed") << u"fa_IR"_qs << u"H:mm:ss"_qs;
    QTest::newRow("after AM/PM") << u"en_US"_qs << u"h:mm:ss AP"_qs;
}

void tst_LocaleFormats::zoneFieldRemoval()
{
    QFETCH(QString, locale);
    QFETCH(QString, format);
    QCOMPARE(LongTimeFormat(QLocale(locale)), format);
}

QTEST_GUILESS_MAIN(tst_LocaleFormats)
#include "tst_LocaleFormats.moc"
