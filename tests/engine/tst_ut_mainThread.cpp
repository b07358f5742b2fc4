// The scheduler: due conditions, its thread's passes and status refreshes,
// switching off and on, and ending while the UI thread no longer serves it.
#include <QElapsedTimer>
#include <QMutex>
#include <QSignalSpy>
#include <QTest>
#include "RunHost.h"
#include "TestFolders.h"
#include "ut_classes.h"
#include "ut_General.h"

namespace {
const QDateTime kNow(QDate(2024, 3, 5), QTime(10, 0, 0));
const TDateTime kNowOle = OleFromDateTime(kNow);
} // namespace

class tst_ut_mainThread : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void dueConditions_data();
    void dueConditions();
    void runningEntryIsNotDue();
    void statusChoice_data();
    void statusChoice();
    void threadStartsDueEntryOnceAndRefreshes();
    void disabledStartsNothingUntilReenabled();
    void shutdownWhileHandOverIsNotServed();
    void sleepUntilSecondOrDue_data();
    void sleepUntilSecondOrDue();
    void longListOneRefreshPerPass();
    void dueEntryStartsAtItsTime();
    void clockSetForwardIsSeen();

private:
    TDataObject *addEntry(RunHost &host, qint32 schedule, TDateTime next, TDateTime last,
                          bool checked = true);
    std::unique_ptr<TestFolders> FDirs;
    // Actions opened so far; the scheduler thread opens them, so under a lock.
    QStringList opened() const
    {
        QMutexLocker locker(&FOpenedLock);
        return FOpened;
    }
    std::atomic<qint64> FClockMs{0};
    mutable QMutex FOpenedLock;
    QStringList FOpened;
};

void tst_ut_mainThread::init()
{
    FDirs = std::make_unique<TestFolders>();
    FClockMs = 0;
    {
        QMutexLocker locker(&FOpenedLock);
        FOpened.clear();
    }
    SetCurrentDateTimeSource([this] { return kNow.addMSecs(FClockMs.load()); });
    SetShellOpenHandler([this](const QString &target, const QString &) {
        QMutexLocker locker(&FOpenedLock);
        FOpened << target;
    });
}

void tst_ut_mainThread::cleanup()
{
    SetCurrentDateTimeSource({});
    SetShellOpenHandler({});
    FDirs.reset();
}

TDataObject *tst_ut_mainThread::addEntry(RunHost &host, qint32 schedule, TDateTime next,
                                         TDateTime last, bool checked)
{
    FDirs->createFile(u"src/a.txt"_qs, "a");
    TDataObject *entry = host.list.AddRow();
    entry->FSource = FDirs->path(u"src/"_qs);
    entry->FDest = FDirs->path(u"dst%1/"_qs.arg(host.list.Count()));
    entry->FFileMask = u"*.*"_qs;
    entry->FCopyType = ctCopy;
    entry->FSchedule = schedule;
    entry->FScheduleTime = kNowOle - 1;   // a fixed time in the past
    entry->FNextRun = next;
    entry->FLastRun = last;
    entry->FActionBefore = u"/opt/before"_qs;
    host.list.SetChecked(host.list.Count() - 1, checked);
    return entry;
}

void tst_ut_mainThread::dueConditions_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("schedule");
    QTest::addColumn<double>("next");     // relative to now, in days; NaN = 0
    QTest::addColumn<double>("last");     // relative to now; NaN = 0
    QTest::addColumn<bool>("due");
    const double never = qQNaN();
    const double minute = 1.0 / 1440;
    QTest::newRow("due daily") << true << int(skDaily) << -minute << -1.0 << true;
    QTest::newRow("exactly now") << true << int(skHourly) << 0.0 << -1.0 << true;
    QTest::newRow("unticked") << false << int(skDaily) << -minute << -1.0 << false;
    QTest::newRow("no schedule") << true << int(skNone) << -minute << -1.0 << false;
    QTest::newRow("next 0") << true << int(skDaily) << never << -1.0 << false;
    QTest::newRow("not yet") << true << int(skWeekly) << minute << -1.0 << false;
    QTest::newRow("fixed, last before next") << true << int(skFixed) << -minute << -2 * minute << true;
    QTest::newRow("fixed, never run") << true << int(skFixed) << -minute << never << true;
    QTest::newRow("fixed, last after next") << true << int(skFixed) << -2 * minute << -minute << false;
    QTest::newRow("fixed, last equal next") << true << int(skFixed) << -minute << -minute << false;
    QTest::newRow("overdue monthly") << true << int(skMonthly) << -40.0 << -70.0 << true;
}

void tst_ut_mainThread::dueConditions()
{
    QFETCH(bool, checked);
    QFETCH(int, schedule);
    QFETCH(double, next);
    QFETCH(double, last);
    QFETCH(bool, due);
    RunHost host;
    TMainThread scheduler(host, host.list);
    TDataObject *entry = addEntry(host, schedule, qIsNaN(next) ? 0 : kNowOle + next,
                                  qIsNaN(last) ? 0 : kNowOle + last, checked);
    QCOMPARE(scheduler.CheckDue(entry), due);
    QCOMPARE(entry->Running(), due);
    QCOMPARE(host.RunningCount(), due ? 1 : 0);
    QCOMPARE(opened().size(), due ? 1 : 0);
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(host.RunningCount(), 0);
}

void tst_ut_mainThread::runningEntryIsNotDue()
{
    RunHost host;
    TMainThread scheduler(host, host.list);
    TDataObject *entry = addEntry(host, skHourly, kNowOle - 1, kNowOle - 2);
    QVERIFY(scheduler.CheckDue(entry));
    // Its end handling needs this (UI) thread, so the run is certainly active.
    QVERIFY(!scheduler.CheckDue(entry));
    entry->StopRun();
    QVERIFY(entry->Running());   // stopping, but its worker has not ended
    QVERIFY(!scheduler.CheckDue(entry));
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(host.RunningCount(), 0);
    // Its new next run lies ahead: not due again.
    QVERIFY(entry->FNextRun > kNowOle);
    QVERIFY(!scheduler.CheckDue(entry));
}

void tst_ut_mainThread::statusChoice_data()
{
    QTest::addColumn<int>("running");
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<int>("tray");
    QTest::addColumn<QString>("counts");
    QTest::newRow("idle") << 0 << false << int(tiPassive) << u"0 / 2"_qs;
    QTest::newRow("idle, disabled") << 0 << true << int(tiDisabled) << u"0 / 2"_qs;
    QTest::newRow("running") << 1 << false << int(tiActive) << u"1 / 2"_qs;
    QTest::newRow("running, disabled") << 2 << true << int(tiActive) << u"2 / 2"_qs;
}

void tst_ut_mainThread::statusChoice()
{
    QFETCH(int, running);
    QFETCH(bool, disabled);
    QFETCH(int, tray);
    QFETCH(QString, counts);
    RunHost host;
    TMainThread scheduler(host, host.list);
    host.list.AddRow();
    host.list.AddRow();
    for (int i = 0; i < running; ++i)
        host.IncRunningCount();
    host.disabled = disabled;
    scheduler.UpdateStatusNow();
    QCOMPARE(int(host.tray), tray);
    QCOMPARE(host.panels[0], u"10:00:00"_qs);
    QCOMPARE(host.panels[1], counts);
    for (int i = 0; i < running; ++i)
        host.DecRunningCount();
}

// A fixed entry in the past runs once by itself; the tray turns active while it
// runs and passive again at the next refresh after its end.
void tst_ut_mainThread::threadStartsDueEntryOnceAndRefreshes()
{
    RunHost host;
    TMainThread scheduler(host, host.list);
    scheduler.Start();
    QVERIFY(WaitUntil([&] { return host.panels[1] == u"0 / 0"_qs; }));

    TDataObject *entry = addEntry(host, skFixed, kNowOle - 0.5, kNowOle - 1);
    entry->FScheduleTime = entry->FNextRun;
    host.list.SetChecked(0, true);
    QVERIFY(WaitUntil([&] { return !opened().isEmpty(); }));
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(entry->StatusText(), UiText::sDone);
    QCOMPARE(entry->FLastRun, kNowOle);
    QCOMPARE(entry->FNextRun, entry->FScheduleTime);

    const quint64 passes = scheduler.Passes();
    scheduler.Wake();
    QVERIFY(WaitUntil([&] { return scheduler.Passes() >= passes + 2; }));
    QCOMPARE(opened().size(), 1);   // not started a second time
    QCOMPARE(host.panels[1], u"0 / 1"_qs);
    QCOMPARE(host.tray, tiPassive);

    // A run by hand shows as active at the next refresh. Paused at its first
    // line: with a blocking hand-over the worker waits for that line there.
    TCopyThread::SetHandOverAhead(0);
    host.onLog = [&](const QString &) {
        if (!entry->FPaused)
            entry->PauseRun();
    };
    entry->StartRun();
    QVERIFY(WaitUntil([&] { return host.tray == tiActive && host.panels[1] == u"1 / 1"_qs; }));
    host.onLog = nullptr;
    entry->StopRun();
    QVERIFY(WaitUntil([&] { return host.tray == tiPassive && !entry->Running(); }));
    scheduler.Shutdown();
    TCopyThread::SetHandOverAhead(TCopyThread::kDefaultHandOverAhead);
}

void tst_ut_mainThread::disabledStartsNothingUntilReenabled()
{
    RunHost host;
    TMainThread scheduler(host, host.list);
    TDataObject *entry = addEntry(host, skDaily, kNowOle + 0.5, kNowOle - 0.5);
    scheduler.Start();
    QVERIFY(WaitUntil([&] { return scheduler.Passes() >= 1; }));

    scheduler.SetEnabled(false);
    QVERIFY(WaitUntil([&] { return host.statusRefreshes > 0; }));
    FClockMs = qint64(24) * 3600 * 1000;   // a day later: long overdue
    // Switched off: no pass, no start and no refresh, however long it waits.
    const int refreshes = host.statusRefreshes;
    const quint64 passes = scheduler.Passes();
    QSignalSpy started(&host.list, &TEntryList::runsChanged);
    QVERIFY(!started.wait(3 * TMainThread::kDisabledPollMs));
    QVERIFY(!entry->Running());
    QVERIFY(scheduler.Passes() <= passes + 1);   // at most the pass it was in
    QVERIFY(host.statusRefreshes <= refreshes + 2);

    scheduler.SetEnabled(true);
    QVERIFY(WaitUntil([&] { return opened().size() == 1; }));
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(entry->FNextRun, entry->FLastRun + 1);
}

void tst_ut_mainThread::shutdownWhileHandOverIsNotServed()
{
    RunHost host;
    host.list.AddRow();
    auto scheduler = std::make_unique<TMainThread>(host, host.list);
    scheduler->Start();
    // This thread serves no event: the scheduler waits in its first refresh.
    scheduler->Shutdown();
    QVERIFY(scheduler->isFinished());
    scheduler.reset();
    QCoreApplication::processEvents();   // the refresh it posted is dropped
    QCOMPARE(host.statusRefreshes, 0);
}

void tst_ut_mainThread::sleepUntilSecondOrDue_data()
{
    QTest::addColumn<int>("msec");        // of the current second
    QTest::addColumn<double>("dueInMs");  // earliest next run from now; NaN = none
    QTest::addColumn<int>("sleepMs");
    const double none = qQNaN();
    const int margin = TMainThread::kSecondMarginMs;
    QTest::newRow("on the second") << 0 << none << 1000;
    QTest::newRow("mid second") << 400 << none << 600 + margin;
    QTest::newRow("end of second") << 999 << none << 1 + margin;
    QTest::newRow("due before the second") << 100 << 250.0 << 251;
    QTest::newRow("due after the second") << 100 << 5000.0 << 900 + margin;
    QTest::newRow("due in days") << 0 << 3 * 86400000.0 << 1000;
    QTest::newRow("overdue") << 500 << -60000.0 << 0;
}

// The scheduler sleeps to the next whole second (the clock in the status bar)
// or to the earliest next run, whichever comes first, and never longer.
void tst_ut_mainThread::sleepUntilSecondOrDue()
{
    QFETCH(int, msec);
    QFETCH(double, dueInMs);
    QFETCH(int, sleepMs);
    const QDateTime now = kNow.addMSecs(msec);
    const TDateTime due = qIsNaN(dueInMs) ? 0 : OleFromDateTime(now) + dueInMs / 86400000.0;
    QCOMPARE(TMainThread::SleepMs(now, due), sleepMs);
}

// An idle list of thousands of entries costs one status refresh per pass, not
// one per entry; the thread sleeps between passes instead of spinning, and
// tests the entries only when something changed.
void tst_ut_mainThread::longListOneRefreshPerPass()
{
    RunHost host;
    for (int i = 0; i < 3000; ++i) {
        TDataObject *entry = host.list.AddRow();
        entry->FSchedule = skDaily;
        entry->FNextRun = kNowOle + 0.5 + i / 86400.0;
        host.list.SetChecked(i, true);
    }
    TMainThread scheduler(host, host.list);
    scheduler.Start();
    // Each refresh sets two panels.
    QVERIFY(WaitUntil([&] { return scheduler.Passes() >= 1 && host.statusRefreshes == 2 * int(scheduler.Passes()); }));
    const quint64 passes = scheduler.Passes();
    for (int i = 0; i < 3; ++i) {
        scheduler.Wake();
        QVERIFY(WaitUntil([&] { return scheduler.Passes() > passes + quint64(i); }));
    }
    QVERIFY(WaitUntil([&] { return host.statusRefreshes == 2 * int(scheduler.Passes()); }));
    QCOMPARE(host.panels[1], u"0 / 3000"_qs);
    // The clock stands on a whole second: the next pass is a second away.
    const quint64 before = scheduler.Passes();
    QTest::qWait(400);
    QVERIFY(scheduler.Passes() <= before + 1);
    // A pass with nothing changed and no next run come tests no entry; a
    // change (here a check mark) has the next pass test them.
    const quint64 tests = scheduler.Tests();
    const quint64 passes2 = scheduler.Passes();
    QVERIFY(WaitUntil([&] { return scheduler.Passes() >= passes2 + 1; }));
    QCOMPARE(scheduler.Tests(), tests);
    host.list.SetChecked(0, false);
    QVERIFY(WaitUntil([&] { return scheduler.Tests() > tests; }));
    QVERIFY(opened().isEmpty());
    scheduler.Shutdown();
}

// With the clock running, an entry due 1.5 s ahead starts at its time: not
// before it, and well within the second after it.
void tst_ut_mainThread::dueEntryStartsAtItsTime()
{
    QElapsedTimer running;
    running.start();
    SetCurrentDateTimeSource([&running] { return kNow.addMSecs(running.elapsed()); });
    RunHost host;
    TDataObject *entry = addEntry(host, skDaily, kNowOle + 1.5 / 86400, kNowOle - 0.5);
    std::atomic<qint64> startedAt{-1};   // set on the scheduler thread
    SetShellOpenHandler([&](const QString &, const QString &) { startedAt = running.elapsed(); });
    TMainThread scheduler(host, host.list);
    scheduler.Start();
    QVERIFY(WaitUntil([&] { return entry->FLastRun != kNowOle - 0.5; }));
    QVERIFY2(startedAt >= 1500, qPrintable(QString::number(startedAt.load())));
    QVERIFY2(startedAt < 2500, qPrintable(QString::number(startedAt.load())));
    scheduler.Shutdown();
}

// The system clock set forward (or a resume from suspend) makes an entry due
// without any change in the list: it is started within about a second.
void tst_ut_mainThread::clockSetForwardIsSeen()
{
    RunHost host;
    TDataObject *entry = addEntry(host, skDaily, kNowOle + 1.0 / 24, kNowOle - 0.5);
    TMainThread scheduler(host, host.list);
    scheduler.Start();
    QVERIFY(WaitUntil([&] { return scheduler.Passes() >= 2; }));
    QVERIFY(opened().isEmpty());
    FClockMs = qint64(2) * 3600 * 1000;
    QVERIFY(WaitUntil([&] { return opened().size() == 1; }, 5000));
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    scheduler.Shutdown();
}

QTEST_GUILESS_MAIN(tst_ut_mainThread)
#include "tst_ut_mainThread.moc"
