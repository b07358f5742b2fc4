// Tests of the copy entry: next-run arithmetic, schedule texts, its row.
#include <QSignalSpy>
#include <QTest>
#include "ut_classes.h"
#include "ut_General.h"
#include "LocaleFormats.h"

namespace {
double Ole(const QDateTime &dt)
{
    return dt.isValid() ? OleFromDateTime(dt) : 0.0;
}
QDateTime At(int y, int mo, int d, int h = 0, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi));
}
} // namespace

class tst_ut_classes : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { SetCurrentDateTimeSource({}); QLocale::setDefault(QLocale::c()); }
    void calcNextRun_data();
    void calcNextRun();
    void scheduleText_data();
    void scheduleText();
    void dateTimeText();
    void entryWritesItsRow();
    void listModel();
};

void tst_ut_classes::calcNextRun_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("scheduleTime");
    QTest::addColumn<QDateTime>("lastRun");  // invalid: never ran (0)
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("next");     // invalid: 0
    const QDateTime never;
    const QDateTime now = At(2024, 5, 16, 9);  // Thursday of ISO week 20
    const double wed10 = 2 + 10.0 / 24, mon10 = 0 + 10.0 / 24;

    QTest::newRow("none") << int(skNone) << 0.0 << never << now << never;
    QTest::newRow("no kind chosen") << int(skUnset) << 5.0 << never << now << never;
    QTest::newRow("unknown code") << 9 << 5.0 << never << now << never;
    QTest::newRow("fixed stays in the past") << int(skFixed) << Ole(At(2020, 1, 1, 8)) << now
                                             << now << At(2020, 1, 1, 8);
    QTest::newRow("daily from end of last run, not its time of day")
        << int(skDaily) << 7.0 / 24 << At(2024, 5, 10, 10, 5) << now << At(2024, 5, 11, 10, 5);
    QTest::newRow("daily never ran: a day from now")
        << int(skDaily) << 0.0 << never << now << At(2024, 5, 17, 9);
    QTest::newRow("hourly 6") << int(skHourly) << 6.0 << At(2024, 5, 10, 10) << now
                              << At(2024, 5, 10, 16);
    QTest::newRow("hourly 1.5") << int(skHourly) << 1.5 << At(2024, 5, 10, 10) << now
                                << At(2024, 5, 10, 11, 30);
    // Due again the moment each run ended, for ever: never due instead.
    QTest::newRow("hourly 0: never due") << int(skHourly) << 0.0 << At(2024, 5, 10, 10) << now
                                         << never;
    QTest::newRow("hourly negative: never due") << int(skHourly) << -2.0 << At(2024, 5, 10, 10)
                                                << now << never;
    QTest::newRow("hourly 0, never ran: never due") << int(skHourly) << 0.0 << never << now
                                                    << never;
    QTest::newRow("weekly, day past: next week") << int(skWeekly) << wed10 << never << now
                                                 << At(2024, 5, 22, 10);
    QTest::newRow("weekly, day ahead: this week")
        << int(skWeekly) << wed10 << never << At(2024, 5, 13, 9) << At(2024, 5, 15, 10);
    QTest::newRow("weekly, one step only from an old base")
        << int(skWeekly) << wed10 << At(2024, 5, 6, 8) << now << At(2024, 5, 15, 10);
    QTest::newRow("weekly, past last week of a 52-week year")
        << int(skWeekly) << mon10 << At(2021, 12, 30, 12) << At(2021, 12, 30, 12)
        << At(2022, 1, 3, 10);
    QTest::newRow("weekly, into week 53")
        << int(skWeekly) << mon10 << At(2020, 12, 24, 12) << At(2020, 12, 24, 12)
        << At(2020, 12, 28, 10);
    QTest::newRow("weekly, ISO year differs from calendar year")
        << int(skWeekly) << 4 + 10.0 / 24 << At(2021, 1, 2, 8) << At(2021, 1, 2, 8)
        << At(2021, 1, 8, 10);  // 2 Jan 2021 is in week 53 of 2020; its Friday has passed
    QTest::newRow("weekly, day part 9 means Monday") << int(skWeekly) << 9 + 10.0 / 24 << never
                                                     << now << At(2024, 5, 20, 10);
    QTest::newRow("monthly 31 into February") << int(skMonthly) << 31 + 10.0 / 24
                                              << At(2023, 1, 20) << now << At(2023, 2, 28, 10);
    QTest::newRow("monthly 31 into leap February") << int(skMonthly) << 31 + 10.0 / 24
                                                   << At(2024, 1, 20) << now << At(2024, 2, 29, 10);
    QTest::newRow("monthly from December") << int(skMonthly) << 31 + 10.0 / 24
                                           << At(2023, 12, 2) << now << At(2024, 1, 31, 10);
    QTest::newRow("monthly never the current month") << int(skMonthly) << 15 + 10.0 / 24
                                                     << At(2024, 5, 3) << now << At(2024, 6, 15, 10);
    QTest::newRow("monthly day 0: unscheduled") << int(skMonthly) << 0.5 << At(2024, 5, 3) << now
                                                << never;
    QTest::newRow("monthly negative day: unscheduled") << int(skMonthly) << -3.5 << At(2024, 5, 3)
                                                       << now << never;
}

void tst_ut_classes::calcNextRun()
{
    QFETCH(int, kind);
    QFETCH(double, scheduleTime);
    QFETCH(QDateTime, lastRun);
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, next);
    SetCurrentDateTimeSource([now] { return now; });
    TDataObject entry;
    entry.FSchedule = kind;
    entry.FScheduleTime = scheduleTime;
    entry.FLastRun = Ole(lastRun);
    entry.FNextRun = 12345;
    entry.CalcNextRun();
    if (next.isValid())
        QCOMPARE(DateTimeFromOle(entry.FNextRun), next);
    else
        QCOMPARE(entry.FNextRun, 0.0);
}

void tst_ut_classes::scheduleText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("scheduleTime");
    QTest::addColumn<QString>("text");
    const double fixed = Ole(At(2024, 5, 15, 10));
    QTest::newRow("none") << u"C"_qs << int(skNone) << 0.0 << u"No Schedule"_qs;
    QTest::newRow("no kind") << u"C"_qs << int(skUnset) << 0.0 << QString();
    QTest::newRow("unknown") << u"C"_qs << 6 << 0.0 << QString();
    QTest::newRow("fixed C") << u"C"_qs << int(skFixed) << fixed << u"Fixed at 15 May 2024 10:00:00"_qs;
    QTest::newRow("fixed de") << u"de_DE"_qs << int(skFixed) << fixed << u"Fixed at 15.05.2024 10:00:00"_qs;
    QTest::newRow("fixed en_US") << u"en_US"_qs << int(skFixed) << fixed
                                 << u"Fixed at 5/15/2024 10:00:00 AM"_qs;
    QTest::newRow("daily, time only") << u"de_DE"_qs << int(skDaily) << 10.5 / 24
                                      << u"Daily at 10:30:00"_qs;
    QTest::newRow("hourly whole") << u"de_DE"_qs << int(skHourly) << 2.0 << u"Every 2 Hour(s)"_qs;
    QTest::newRow("hourly decimal de") << u"de_DE"_qs << int(skHourly) << 1.5 << u"Every 1,5 Hour(s)"_qs;
    QTest::newRow("hourly large, no grouping") << u"en_US"_qs << int(skHourly) << 1500.0
                                               << u"Every 1500 Hour(s)"_qs;
    QTest::newRow("weekly C") << u"C"_qs << int(skWeekly) << 10.0 / 24 << u"Weekly on Monday 10:00:00"_qs;
    QTest::newRow("weekly de Sunday") << u"de_DE"_qs << int(skWeekly) << 6 + 10.0 / 24
                                      << u"Weekly on Sonntag 10:00:00"_qs;
    QTest::newRow("weekly ja") << u"ja_JP"_qs << int(skWeekly) << 2 + 10.0 / 24
                               << u"Weekly on 水曜日 10時00分00秒"_qs;
    QTest::newRow("weekly day 9: no name") << u"C"_qs << int(skWeekly) << 9 + 10.0 / 24
                                           << u"Weekly on  10:00:00"_qs;
    QTest::newRow("monthly") << u"C"_qs << int(skMonthly) << 15 + 10.0 / 24
                             << u"Monthly every 15 at 10:00:00"_qs;
}

void tst_ut_classes::scheduleText()
{
    QFETCH(QString, locale);
    QFETCH(int, kind);
    QFETCH(double, scheduleTime);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(locale));
    TDataObject entry;
    entry.FSchedule = kind;
    entry.FScheduleTime = scheduleTime;
    QCOMPARE(entry.ScheduleText(), text);
}

void tst_ut_classes::dateTimeText()
{
    QCOMPARE(DateTimeText(0), QString());
    QCOMPARE(DateTimeText(Ole(At(2024, 5, 15))), u"15 May 2024"_qs);
    QCOMPARE(DateTimeText(0.75), u"18:00:00"_qs);
    QCOMPARE(DateTimeText(Ole(At(2024, 5, 15, 18))), u"15 May 2024 18:00:00"_qs);
    QCOMPARE(DateTimeText(1.0 - 1e-10), u"23:59:59"_qs);  // not wrapped to midnight
    SetCurrentDateTimeSource([] { return At(1999, 1, 2, 3, 4); });
    QCOMPARE(LogTimeStamp(), u"2 Jan 1999 03:04:00"_qs);
    // The stamp is kept per second: a new second, a new day at the same time of
    // day, or another locale each give a fresh one.
    SetCurrentDateTimeSource([] { return At(1999, 1, 2, 3, 4).addMSecs(999); });
    QCOMPARE(LogTimeStamp(), u"2 Jan 1999 03:04:00"_qs);
    SetCurrentDateTimeSource([] { return At(1999, 1, 2, 3, 4).addSecs(1); });
    QCOMPARE(LogTimeStamp(), u"2 Jan 1999 03:04:01"_qs);
    SetCurrentDateTimeSource([] { return At(1999, 1, 3, 3, 4).addSecs(1); });
    QCOMPARE(LogTimeStamp(), u"3 Jan 1999 03:04:01"_qs);
    const QLocale before;
    QLocale::setDefault(QLocale(u"de_DE"_qs));
    QCOMPARE(LogTimeStamp(), u"03.01.1999 03:04:01"_qs);
    QLocale::setDefault(before);

    // Back on the system clock the stamp is the real local time (taken on
    // either side of a second boundary), and a set clock takes over again.
    SetCurrentDateTimeSource({});
    const auto stampOf = [](const QDateTime &t) {
        return FormatShortDate(t.date()) + u' ' + FormatLongTime(t.time());
    };
    const QString early = stampOf(QDateTime::currentDateTime());
    const QString stamp = LogTimeStamp();
    const QString late = stampOf(QDateTime::currentDateTime());
    QVERIFY2(stamp == early || stamp == late, qPrintable(stamp + u" / "_qs + early));
    SetCurrentDateTimeSource([] { return At(1999, 1, 3, 3, 4).addSecs(1); });
    QCOMPARE(LogTimeStamp(), u"3 Jan 1999 03:04:01"_qs);
}

void tst_ut_classes::entryWritesItsRow()
{
    SetCurrentDateTimeSource([] { return At(2024, 5, 16, 9); });
    TEntryList list;
    TDataObject *first = list.AddRow();
    TDataObject *entry = list.AddRow();
    QCOMPARE(entry->FListItem, &list);
    QCOMPARE(entry->Row(), 1);
    entry->FSource = u"/data/"_qs;
    entry->FDest = u"/backup/data/"_qs;
    entry->FSchedule = skMonthly;
    entry->FScheduleTime = 15 + 10.0 / 24;
    entry->FLastRun = Ole(At(2024, 5, 3, 12));
    entry->CalcNextRun();
    entry->RefreshRow();
    entry->SetStatus(UiText::sCopyingStatus);
    entry->SetProcessed(42);
    const QStringList expected{u"/data/"_qs, u"/backup/data/"_qs, u"Copying.."_qs, u"42"_qs,
                               u"Monthly every 15 at 10:00:00"_qs, u"3 May 2024 12:00:00"_qs,
                               u"15 Jun 2024 10:00:00"_qs};
    for (int c = 0; c < ecColumnCount; ++c)
        QCOMPARE(list.data(list.index(1, c)).toString(), expected[c]);
    QCOMPARE(entry->StatusText(), u"Copying.."_qs);

    // The entry keeps finding its row when rows above it go.
    QVERIFY(list.RemoveRow(list.RowOf(first)));
    QCOMPARE(entry->Row(), 0);
    entry->SetStatus(UiText::sDone);
    QCOMPARE(list.Text(0, ecStatus), u"Done"_qs);

    // Without a row the writers do nothing.
    TDataObject loose;
    loose.SetStatus(u"x"_qs);
    loose.RefreshRow();
    QCOMPARE(loose.StatusText(), QString());
}

void tst_ut_classes::listModel()
{
    TEntryList list;
    QCOMPARE(list.columnCount(), 7);
    const QStringList captions{u"Source"_qs, u"Destination"_qs, u"Status"_qs,
                               u"Processed files"_qs, u"Schedule"_qs, u"Last Copy"_qs,
                               u"Next Copy"_qs};
    const int widths[] = {200, 200, 100, 50, 150, 80, 80};
    for (int c = 0; c < 7; ++c) {
        QCOMPARE(list.headerData(c, Qt::Horizontal).toString(), captions[c]);
        QCOMPARE(TEntryList::ColumnWidth(c), widths[c]);
    }
    QVERIFY(list.setHeaderData(2, Qt::Horizontal, u"Zustand"_qs));
    QCOMPARE(list.headerData(2, Qt::Horizontal).toString(), u"Zustand"_qs);

    TDataObject *entry = list.AddRow();
    const QModelIndex caption = list.index(0, ecSource);
    QCOMPARE(list.data(caption, TEntryList::ImageIndexRole).toInt(), int(riIdle));
    QCOMPARE(list.data(caption, TEntryList::EntryRole).value<void *>(), static_cast<void *>(entry));
    QCOMPARE(list.data(caption, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(list.flags(caption) & Qt::ItemIsUserCheckable);
    QVERIFY(!(list.flags(list.index(0, ecDest)) & Qt::ItemIsUserCheckable));

    QSignalSpy checks(&list, &TEntryList::checkChanged);
    QVERIFY(list.setData(caption, Qt::Checked, Qt::CheckStateRole));
    QVERIFY(list.IsChecked(0));
    QCOMPARE(checks.count(), 1);
    list.SetChecked(0, false);  // the program's own change is not the user's
    QCOMPARE(checks.count(), 1);
    QVERIFY(!list.IsChecked(0));

    QSignalSpy changes(&list, &QAbstractItemModel::dataChanged);
    list.SetImage(0, riRunning);
    QCOMPARE(list.data(caption, TEntryList::ImageIndexRole).toInt(), int(riRunning));
    QCOMPARE(changes.count(), 1);
    list.SetImage(0, riRunning);
    QCOMPARE(changes.count(), 1);

    QVERIFY(!list.RemoveRow(5));
    list.Clear();
    QCOMPARE(list.rowCount(), 0);
    QCOMPARE(list.Entry(0), nullptr);
}

QTEST_GUILESS_MAIN(tst_ut_classes)
#include "tst_ut_classes.moc"
