// Runs on worker threads, driven from this test's event loop as the UI thread:
// end handling, the hand-over order, stop, pause, resume, restarts and removal.
#include <QDirIterator>
#include <QSignalSpy>
#include <QTest>
#include "RunHost.h"
#include "TestFolders.h"
#include "ThreadPriority.h"
#include "ut_classes.h"
#include "ut_General.h"

namespace {
const QDateTime kNow(QDate(2024, 3, 5), QTime(10, 0, 0));

// Nice value of the thread named `name` in this process; -100 when none.
int NiceOfThread(const QByteArray &name)
{
    QDirIterator it(QStringLiteral("/proc/self/task"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString task = it.next();
        QFile comm(task + u"/comm"_qs);
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile stat(task + u"/stat"_qs);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // Fields after the ")" of the name: state is field 3, nice field 19.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return fields.value(16).toInt();
    }
    return -100;
}
} // namespace

class tst_ut_copyThread : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void runEndsWithEndHandling_data();
    void runEndsWithEndHandling();
    void actionBeforeOpensBeforeThePassesBegin();
    void outcomeGivesStatusAndSummary_data();
    void outcomeGivesStatusAndSummary();
    void handOverShowsWhatBlockingShows_data();
    void handOverShowsWhatBlockingShows();
    void pauseThenResume();
    void stopDuringPass_data();
    void stopDuringPass();
    void stopWhilePausedThenRunAgain();
    void twoEntriesRunAtOnce();
    void runOnRunningEntryRestartsAfterItEnds();
    void removingRunningRowDefersTheEntry();
    void stopAllRunsForExit();
    void actionScriptRunsForReal();

private:
    // Source tree of `files` files in two folders, and an entry over it.
    TDataObject *makeEntry(RunHost &host, int files, quint8 copyType = ctReplicate);
    QStringList FOpened;
    std::unique_ptr<TestFolders> FDirs;
};

void tst_ut_copyThread::init()
{
    FDirs = std::make_unique<TestFolders>();
    FOpened.clear();
    SetShellOpenHandler([this](const QString &target, const QString &) { FOpened << target; });
    SetCurrentDateTimeSource([] { return kNow; });
    TCopyThread::SetHandOverAhead(TCopyThread::kDefaultHandOverAhead);
}

void tst_ut_copyThread::cleanup()
{
    SetShellOpenHandler({});
    SetCurrentDateTimeSource({});
    TCopyThread::SetHandOverAhead(TCopyThread::kDefaultHandOverAhead);
    FDirs.reset();
}

TDataObject *tst_ut_copyThread::makeEntry(RunHost &host, int files, quint8 copyType)
{
    for (int i = 0; i < files; ++i)
        FDirs->createFile(QStringLiteral("src/%1/f%2.txt").arg(i % 2 ? u"b" : u"a").arg(i, 3, 10, QChar(u'0')),
                          QByteArray::number(i));
    FDirs->createDir(QStringLiteral("src"));
    FDirs->createDir(QStringLiteral("dst"));
    TDataObject *entry = host.list.AddRow();
    entry->FSource = FDirs->path(QStringLiteral("src/"));
    entry->FDest = FDirs->path(QStringLiteral("dst/"));
    entry->FFileMask = QStringLiteral("*.*");
    entry->FCopyType = copyType;
    entry->FSchedule = skDaily;
    entry->FScheduleTime = 0.5;
    return entry;
}

void tst_ut_copyThread::runEndsWithEndHandling_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("opened");
    QTest::newRow("no actions") << QString() << QString() << QStringList();
    QTest::newRow("both actions") << u"/opt/before"_qs << u"https://after.example/"_qs
                                  << QStringList{u"/opt/before"_qs, u"https://after.example/"_qs};
    QTest::newRow("after only") << QString() << u"/opt/after"_qs << QStringList{u"/opt/after"_qs};
}

void tst_ut_copyThread::runEndsWithEndHandling()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QStringList, opened);
    RunHost host;
    TDataObject *entry = makeEntry(host, 6);
    entry->FActionBefore = before;
    entry->FActionAfter = after;
    host.list.SetImage(0, riRunning);

    QVERIFY(entry->StartRun());
    // Counted and running before the UI thread has done anything.
    QCOMPARE(host.RunningCount(), 1);
    QVERIFY(entry->Running());
    QCOMPARE(FOpened, before.isEmpty() ? QStringList() : QStringList{before});

    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(entry->StatusText(), UiText::sDone);
    QCOMPARE(host.list.Image(0), int(riIdle));
    QCOMPARE(host.RunningCount(), 0);
    QCOMPARE(host.minRunning, 0);
    QCOMPARE(entry->FLastRun, OleFromDateTime(kNow));
    QCOMPARE(entry->FNextRun, OleFromDateTime(kNow) + 1);
    QCOMPARE(host.list.Text(0, ecLastCopy), DateTimeText(entry->FLastRun));
    QVERIFY(host.modified);
    QVERIFY(!entry->FPaused);
    QCOMPARE(FOpened, opened);
    QCOMPARE(host.lines(u"Copying: "_qs).size(), 6);
    QCOMPARE(host.lines(u"Checking: "_qs).size(), 6);
    QCOMPARE(FDirs->tree(u"dst"_qs), FDirs->tree(u"src"_qs));
}

void tst_ut_copyThread::actionBeforeOpensBeforeThePassesBegin()
{
    RunHost host;
    TDataObject *entry = makeEntry(host, 4);
    entry->FActionBefore = u"/opt/mount-backup-disk"_qs;
    bool workerHeld = false;
    bool destUntouched = false;
    SetShellOpenHandler([&](const QString &target, const QString &) {
        FOpened << target;
        workerHeld = entry->FWorker && entry->FWorker->Halted();
        destUntouched = QDir(FDirs->path(u"dst"_qs)).isEmpty();
    });

    QVERIFY(entry->StartRun());
    QCOMPARE(FOpened, QStringList{entry->FActionBefore});
    QVERIFY(workerHeld);
    QVERIFY(destUntouched);
    // Let go once the action is out: the run goes through as usual.
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(entry->StatusText(), UiText::sDone);
    QCOMPARE(FDirs->tree(u"dst"_qs), FDirs->tree(u"src"_qs));
}

void tst_ut_copyThread::outcomeGivesStatusAndSummary_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<QString>("problem");   // a line the problem report must hold; empty: none
    QTest::newRow("clean, with deletions") << u"orphans"_qs << u"Done"_qs
                                           << u"6 copied, 2 deleted, 0 failed"_qs << QString();
    QTest::newRow("one file cannot be copied")
        << u"blocked"_qs << u"Failed"_qs << u"5 copied, 2 deleted, 1 failed"_qs << u"1 failed"_qs;
    QTest::newRow("no source folder set") << u"no source"_qs << u"Refused"_qs
                                          << u"0 copied, 0 deleted, 0 failed"_qs
                                          << UiText::sNoSourceFolder;
    QTest::newRow("do nothing: nothing to report") << u"nothing"_qs << u"Done"_qs
                                                   << u"0 copied, 0 deleted, 0 failed"_qs << QString();
}

// Only a run where every file operation succeeded is "Done"; every run ends
// with one summary line after all of its own lines.
void tst_ut_copyThread::outcomeGivesStatusAndSummary()
{
    QFETCH(QString, setup);
    QFETCH(QString, status);
    QFETCH(QString, counts);
    QFETCH(QString, problem);
    RunHost host;
    TDataObject *entry = makeEntry(host, 6);
    FDirs->createFile(u"dst/a/old1.txt"_qs, "x");
    FDirs->createFile(u"dst/b/old2.txt"_qs, "x");
    if (setup == u"blocked")
        FDirs->createDir(u"dst/b/f001.txt/inside"_qs);   // a folder where the copy must go
    else if (setup == u"no source")
        entry->FSource.clear();
    else if (setup == u"nothing")
        entry->FCopyType = ctNothing;

    QVERIFY(entry->StartRun());
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(entry->StatusText(), status);
    // The last and next run are set as after any run.
    QCOMPARE(entry->FLastRun, OleFromDateTime(kNow));
    QCOMPARE(entry->FNextRun, OleFromDateTime(kNow) + 1);
    QVERIFY(host.modified);
    const QString summary = u"Run ended (%1): %2 > %3, %4"_qs.arg(status, entry->FSource, entry->FDest, counts);
    QCOMPARE(host.log.constLast(), summary);
    QCOMPARE(host.lines(u"Run ended "_qs).size(), 1);
    if (problem.isEmpty()) {
        QVERIFY(host.problems.isEmpty());
    } else {
        QCOMPARE(host.problems.size(), 1);
        QVERIFY(host.problems.constFirst().startsWith(summary));
        QVERIFY2(host.problems.constFirst().contains(problem), qPrintable(host.problems.constFirst()));
    }
}

void tst_ut_copyThread::handOverShowsWhatBlockingShows_data()
{
    QTest::addColumn<int>("ahead");
    QTest::newRow("one ahead") << 1;
    QTest::newRow("default") << int(TCopyThread::kDefaultHandOverAhead);
    QTest::newRow("more than the run") << 100000;
}

// The queue in front of the window must show exactly what one blocking
// hand-over per file shows: the same lines with the same Status and count
// beside them, failure lines in place.
void tst_ut_copyThread::handOverShowsWhatBlockingShows()
{
    QFETCH(int, ahead);
    auto runOnce = [this](int allowance, const QString &dst) {
        RunHost host;
        TDataObject *entry = makeEntry(host, 300);
        entry->FDest = FDirs->path(dst);
        // Destination orphans to delete, and one that cannot be copied over.
        for (int i = 0; i < 40; ++i)
            FDirs->createFile(dst + QStringLiteral("a/old%1.txt").arg(i), "x");
        FDirs->createDir(dst + u"b/f001.txt"_qs);
        TCopyThread::SetHandOverAhead(allowance);
        entry->StartRun();
        if (!WaitUntil([&] { return !entry->Running(); }))
            qFatal("run did not end");
        QStringList trace = host.trace;
        trace.replaceInStrings(FDirs->path(dst), u"<dst>/"_qs);
        return trace;
    };
    const QStringList reference = runOnce(0, u"ref/"_qs);
    const QStringList queued = runOnce(ahead, u"queued/"_qs);
    // The failure line is followed by its reason line; the summary ends the run.
    QCOMPARE(reference.size(), 300 + 2 + 300 - 1 + 40 + 40 + 1);
    QCOMPARE(reference.filter(u"Copying..|"_qs).filter(u"|Copy failed: "_qs).size(), 1);
    QCOMPARE(reference.filter(u"Deleting..|"_qs).size(), 40);
    QCOMPARE(queued, reference);
}

void tst_ut_copyThread::pauseThenResume()
{
    TCopyThread::SetHandOverAhead(0);
    RunHost host;
    TDataObject *entry = makeEntry(host, 20);
    host.onLog = [&](const QString &line) {
        if (line.startsWith(u"Checking: "_qs) && !entry->FPaused && host.lines(u"Checking: "_qs).size() == 3)
            entry->PauseRun();
    };
    entry->StartRun();
    QVERIFY(WaitUntil([&] { return entry->FPaused; }));
    QCOMPARE(entry->StatusText(), UiText::sPaused);
    QCOMPARE(entry->FSavedStatus, UiText::sCheckingStatus);
    TCopyThread *worker = entry->FWorker;
    QVERIFY(WaitUntil([&] { return worker->AtGate(); }));
    // Halted at its gate: nothing more arrives however long the loop runs.
    QCoreApplication::processEvents();
    QCOMPARE(host.lines(u"Checking: "_qs).size(), 3);
    QCOMPARE(host.RunningCount(), 1);
    // The worker runs at the lowest normal priority.
    QCOMPARE(NiceOfThread("Vantor copy run"),
             std::min(19, CurrentThreadNiceValue() + kLowestNormalNiceStep));

    host.onLog = nullptr;
    entry->ResumeRun();
    QCOMPARE(entry->StatusText(), UiText::sCheckingStatus);
    QVERIFY(!entry->FPaused);
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(host.lines(u"Checking: "_qs).size(), 20);
    QCOMPARE(entry->StatusText(), UiText::sDone);
}

void tst_ut_copyThread::stopDuringPass_data()
{
    QTest::addColumn<QString>("stopAt");
    QTest::addColumn<int>("nth");
    QTest::newRow("copy pass") << u"Copying: "_qs << 4;
    QTest::newRow("check pass") << u"Checking: "_qs << 25;
}

void tst_ut_copyThread::stopDuringPass()
{
    QFETCH(QString, stopAt);
    QFETCH(int, nth);
    TCopyThread::SetHandOverAhead(0);
    RunHost host;
    TDataObject *entry = makeEntry(host, 20);
    entry->FActionAfter = u"/opt/after"_qs;
    // Orphans in both destination folders, so the check pass meets some before
    // the stop and some after it.
    for (int i = 0; i < 30; ++i)
        FDirs->createFile(QStringLiteral("dst/%1/old%2.txt").arg(i % 2 ? u"b" : u"a").arg(i), "x");
    bool stopped = false;
    host.onLog = [&](const QString &line) {
        if (!stopped && line.startsWith(stopAt) && host.lines(stopAt).size() == nth) {
            stopped = true;
            entry->StopRun();
            // At once: stopped, counted out, action after launched, times set.
            QCOMPARE(entry->StatusText(), UiText::sStopped);
            QCOMPARE(host.RunningCount(), 0);
            QCOMPARE(FOpened, QStringList{u"/opt/after"_qs});
            QCOMPARE(entry->FLastRun, OleFromDateTime(kNow));
            QVERIFY(entry->Running());   // until its worker has ended
            entry->StopRun();             // a second stop changes nothing
        }
    };
    entry->StartRun();
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QVERIFY(stopped);
    QCOMPARE(entry->StatusText(), UiText::sStopped);
    QCOMPARE(host.RunningCount(), 0);
    QCOMPARE(host.minRunning, 0);
    QCOMPARE(FOpened, QStringList{u"/opt/after"_qs});

    // Every orphan the check pass listed before the stop is deleted; the rest
    // were never examined and stay.
    QStringList listed;
    for (const QString &line : host.lines(u"Checking: "_qs)) {
        const QString dest = line.mid(10, line.indexOf(u" > "_qs) - 10);
        if (dest.contains(u"/old"_qs))
            listed << dest;
    }
    QStringList deleted = host.lines(u"Deleting: "_qs).replaceInStrings(u"Deleting: "_qs, QString());
    QCOMPARE(deleted, listed);
    for (const QString &file : deleted)
        QVERIFY(!QFile::exists(file));
    const int orphansLeft = int(FDirs->tree(u"dst"_qs).filter(u"/old"_qs).size());
    QCOMPARE(orphansLeft, 30 - int(listed.size()));
    if (stopAt == u"Checking: "_qs)
        QVERIFY(!listed.isEmpty() && orphansLeft > 0);
    else
        QCOMPARE(host.lines(u"Copying: "_qs).size(), nth);
}

void tst_ut_copyThread::stopWhilePausedThenRunAgain()
{
    TCopyThread::SetHandOverAhead(0);
    RunHost host;
    TDataObject *entry = makeEntry(host, 10);
    host.onLog = [&](const QString &) {
        if (host.log.size() == 2)
            entry->PauseRun();
    };
    entry->StartRun();
    QVERIFY(WaitUntil([&] { return entry->FPaused && entry->FWorker && entry->FWorker->AtGate(); }));
    host.onLog = nullptr;
    entry->StopRun();
    QVERIFY(!entry->FPaused);
    QCOMPARE(entry->StatusText(), UiText::sStopped);
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(host.lines(u"Copying: "_qs).size(), 2);
    QCOMPARE(host.RunningCount(), 0);

    host.log.clear();
    QVERIFY(entry->StartRun());
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(entry->StatusText(), UiText::sDone);
    QCOMPARE(host.lines(u"Copying: "_qs).size(), 10);
    QCOMPARE(host.RunningCount(), 0);
}

void tst_ut_copyThread::twoEntriesRunAtOnce()
{
    RunHost host;
    TDataObject *first = makeEntry(host, 30);
    TDataObject *second = host.list.AddRow();
    second->FSource = first->FSource;
    second->FDest = FDirs->path(u"dst2/"_qs);
    second->FFileMask = u"*.*"_qs;
    second->FCopyType = ctCopy;
    QVERIFY(first->StartRun());
    QVERIFY(second->StartRun());
    QCOMPARE(host.RunningCount(), 2);
    QVERIFY(WaitUntil([&] { return !first->Running() && !second->Running(); }));
    QCOMPARE(host.RunningCount(), 0);
    QCOMPARE(host.list.Text(0, ecStatus), UiText::sDone);
    QCOMPARE(host.list.Text(1, ecStatus), UiText::sDone);
    QCOMPARE(FDirs->tree(u"dst"_qs), FDirs->tree(u"src"_qs));
    QCOMPARE(FDirs->tree(u"dst2"_qs), FDirs->tree(u"src"_qs));
    QCOMPARE(host.lines(u"Copying: "_qs).size(), 60);
}

// Run on a running entry: the old run is asked to stop and ends with its own
// end handling; the new run starts only then, so the two never overlap.
void tst_ut_copyThread::runOnRunningEntryRestartsAfterItEnds()
{
    TCopyThread::SetHandOverAhead(0);
    RunHost host;
    TDataObject *entry = makeEntry(host, 12);
    entry->FActionBefore = u"/opt/before"_qs;
    entry->FActionAfter = u"/opt/after"_qs;
    TCopyThread *firstWorker = nullptr;
    host.onLog = [&](const QString &) {
        if (host.log.size() == 3) {
            firstWorker = entry->FWorker;
            QVERIFY(entry->StartRun());
            QCOMPARE(entry->FWorker, firstWorker);   // still the old one
            QCOMPARE(host.RunningCount(), 1);
        }
    };
    entry->StartRun();
    QVERIFY(WaitUntil([&] { return firstWorker && entry->FWorker && entry->FWorker != firstWorker; }));
    QCOMPARE(host.list.Image(0), int(riRunning));
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QCOMPARE(host.maxRunning, 1);
    QCOMPARE(host.minRunning, 0);
    QCOMPARE(host.RunningCount(), 0);
    QCOMPARE(entry->StatusText(), UiText::sDone);
    QCOMPARE(FOpened, (QStringList{u"/opt/before"_qs, u"/opt/after"_qs, u"/opt/before"_qs,
                                   u"/opt/after"_qs}));
    // The second run went through the whole tree again.
    QCOMPARE(host.lines(u"Copying: "_qs).size(), 3 + 12);
}

void tst_ut_copyThread::removingRunningRowDefersTheEntry()
{
    TCopyThread::SetHandOverAhead(0);
    RunHost host;
    TDataObject *keep = host.list.AddRow();
    TDataObject *entry = makeEntry(host, 40);
    entry->FActionAfter = u"/opt/after"_qs;
    host.onLog = [&](const QString &) {
        if (host.log.size() == 5)
            QVERIFY(host.list.RemoveRow(1));
    };
    entry->StartRun();
    QVERIFY(WaitUntil([&] { return host.list.Count() == 1; }));
    QCOMPARE(host.list.Entry(0), keep);
    QCOMPARE(host.RunningCount(), 0);
    QCOMPARE(FOpened, QStringList{u"/opt/after"_qs});
    QVERIFY(WaitUntil([&] { return host.list.RetiredCount() == 0; }));
    // Removing an idle row frees its entry at once.
    QVERIFY(host.list.RemoveRow(0));
    QCOMPARE(host.list.Count(), 0);
    QCOMPARE(host.list.RetiredCount(), 0);

    // Clearing the list (New, loading a job list) treats running rows alike.
    TDataObject *again = makeEntry(host, 40);
    host.log.clear();
    host.onLog = [&](const QString &) {
        if (host.list.Count() == 1 && host.log.size() == 3) {
            host.list.Clear();
            // Its worker waits for this very hand-over, so it cannot have ended.
            QCOMPARE(host.list.RetiredCount(), 1);
            QCOMPARE(host.RunningCount(), 0);
        }
    };
    again->StartRun();
    QVERIFY(WaitUntil([&] { return host.list.Count() == 0; }));
    QVERIFY(WaitUntil([&] { return host.list.RetiredCount() == 0; }));
}

void tst_ut_copyThread::stopAllRunsForExit()
{
    TCopyThread::SetHandOverAhead(0);
    RunHost host;
    TDataObject *paused = makeEntry(host, 10);
    TDataObject *busy = host.list.AddRow();
    busy->FSource = paused->FSource;
    busy->FDest = FDirs->path(u"dst2/"_qs);
    busy->FFileMask = u"*.*"_qs;
    busy->FCopyType = ctReplicate;
    busy->FActionAfter = u"/opt/after"_qs;
    host.onLog = [&](const QString &) {
        if (host.log.size() == 2)
            paused->PauseRun();
    };
    paused->StartRun();
    QVERIFY(WaitUntil([&] { return paused->FPaused; }));
    host.onLog = nullptr;
    busy->StartRun();
    QCOMPARE(host.RunningCount(), 2);

    // Without serving the workers' hand-overs: they must end anyway.
    host.list.StopAllRuns();
    QVERIFY(!paused->Running());
    QVERIFY(!busy->Running());
    QCOMPARE(host.RunningCount(), 0);
    QVERIFY(FOpened.isEmpty());
    QCoreApplication::processEvents();
    // No temporary or partial file is left behind.
    for (const QString &name : FDirs->tree(u"dst2"_qs) + FDirs->tree(u"dst"_qs))
        QVERIFY2(name.endsWith(u".txt"_qs), qPrintable(name));
}

void tst_ut_copyThread::actionScriptRunsForReal()
{
    SetShellOpenHandler({});
    RunHost host;
    TDataObject *entry = makeEntry(host, 1);
    const QString marker = FDirs->path(u"marker"_qs);
    const QString script = FDirs->createFile(u"after.sh"_qs,
        QStringLiteral("#!/bin/sh\necho done > '%1'\n").arg(marker).toUtf8());
    QFile::setPermissions(script, QFile::permissions(script) | QFile::ExeOwner);
    entry->FActionAfter = script;
    entry->StartRun();
    QVERIFY(WaitUntil([&] { return !entry->Running(); }));
    QTRY_COMPARE(TestFolders::read(marker), QByteArray("done\n"));
}

QTEST_GUILESS_MAIN(tst_ut_copyThread)
#include "tst_ut_copyThread.moc"
