// Run control through the real main window on real folders: pause and resume,
// Run on a paused or a running row, stop while paused, the selection rule with
// several rows, the status panels and the tray during and after runs, a run
// that cannot start, the status and summary line each outcome of a run ends
// with and the tray message of a failed run, Exit with unsaved changes, and an
// hourly entry of 0 hours read from a job list.
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <sys/resource.h>

#include "DialogScript.h"
#include "LocaleFormats.h"
#include "RunFixture.h"
#include "frm_Main.h"
#include "ut_General.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

class tst_frm_Main_Run : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;

    // An entry over a fresh tree of `files` files below the test folder.
    TDataObject *AddTree(TformMain &w, const QString &name, int files, quint8 copyType = ctCopy)
    {
        const QString root = FDir.filePath(name);
        if (!MakeSourceTree(root, files))
            return nullptr;
        return w.AddEntryRow(root + u"/src"_s, root + u"/dst"_s, u"*.*"_s, false, skNone, 0, 0, QString(),
                             QString(), copyType);
    }
    QString Src(const QString &name) const { return FDir.filePath(name + u"/src"_s); }
    QString Dst(const QString &name) const { return FDir.filePath(name + u"/dst"_s); }
    // What the destination of tree `name` holds, compared with its source.
    QString Copied(const QString &name) const
    {
        const TTreeCompare copy = CompareTrees(Src(name), Dst(name));
        return u"%1 files, %2 differ, %3 temporary"_s.arg(copy.files.size()).arg(copy.mismatches).arg(copy.strays);
    }

    static void Select(TformMain &w, const QList<int> &rows)
    {
        w.lvMain->clearSelection();
        for (int row : rows)
            w.lvMain->selectionModel()->select(w.EntryList().index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    static QString Status(TformMain &w, int row) { return w.EntryList().Text(row, ecStatus); }
    // Paused and halted at its gate: the worker makes no further progress.
    static bool Held(const TDataObject *entry) { return entry->FPaused && entry->FWorker && entry->FWorker->AtGate(); }

private slots:
    void initTestCase()
    {
        QVERIFY(FDir.isValid());
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    // Every file a blocking hand-over: a run waits at each row update, so a
    // command given there lands at exactly that file.
    void init() { TCopyThread::SetHandOverAhead(0); }
    void cleanup() { TCopyThread::SetHandOverAhead(TCopyThread::kDefaultHandOverAhead); }

    // First of all: thread stacks that earlier runs freed would be reused
    // without asking for memory.
    void runThatCannotStartIsReported()
    {
        TDialogScript script;
        TformMain w;
        w.show();
        TDataObject *first = AddTree(w, u"nostart-a"_s, 5);
        TDataObject *second = AddTree(w, u"nostart-b"_s, 5);
        QVERIFY(first && second);
        Select(w, {0, 1});
        // No room left for a thread's stack: the run cannot get its thread.
        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_AS, &old) == 0);
        QFile status(u"/proc/self/statm"_s);
        QVERIFY(status.open(QIODevice::ReadOnly));
        const rlim_t used = rlim_t(status.readAll().split(' ').value(0).toULongLong()) * rlim_t(getpagesize());
        rlimit tight = old;
        tight.rlim_cur = used + (rlim_t(2) << 20);
        QVERIFY(setrlimit(RLIMIT_AS, &tight) == 0);
        w.tbStart->trigger();
        QVERIFY(setrlimit(RLIMIT_AS, &old) == 0);

        QCOMPARE(script.Texts(), QStringList({u"Unable to start the copy of "_s + first->FSource}));
        QCOMPARE(script.messages.constFirst().icon, QMessageBox::Critical);
        // Nothing changed, and the command stopped at the first row.
        QCOMPARE(w.RunningCount(), 0);
        QVERIFY(!first->Running() && !second->Running());
        QCOMPARE(w.EntryList().Image(0), 19);
        QCOMPARE(w.EntryList().Image(1), 19);
        QCOMPARE(Status(w, 0), QString());
    }

    void pauseThenResume_data()
    {
        QTest::addColumn<int>("copyType");
        QTest::addColumn<QString>("pausedIn");
        QTest::addColumn<bool>("resumeWithRun");
        QTest::newRow("copy pass, Pause again") << int(ctCopy) << u"Copying.."_s << false;
        QTest::newRow("check pass, Pause again") << int(ctReplicate) << u"Checking.."_s << false;
        QTest::newRow("copy pass, Run resumes") << int(ctCopy) << u"Copying.."_s << true;
    }

    void pauseThenResume()
    {
        QFETCH(int, copyType);
        QFETCH(QString, pausedIn);
        QFETCH(bool, resumeWithRun);
        const QString name = u"resume-%1"_s.arg(QString::fromLatin1(QTest::currentDataTag()))
                                 .replace(u' ', u'_')
                                 .remove(u',');
        TDialogScript script;
        TformMain w;
        w.show();
        TDataObject *entry = AddTree(w, name, 40, quint8(copyType));
        QVERIFY(entry);
        Select(w, {0});
        AtProgress(w, entry, pausedIn, 3, [&w] { w.tbPause->trigger(); });
        w.tbStart->trigger();
        QTRY_VERIFY(Held(entry));
        QCOMPARE(Status(w, 0), u"Paused"_s);
        QCOMPARE(w.EntryList().Text(0, ecProcessed), u"3"_s);
        QCOMPARE(w.EntryList().Image(0), 17);
        QCOMPARE(w.RunningCount(), 1);
        const TCopyThread *worker = entry->FWorker;

        (resumeWithRun ? w.tbStart : w.tbPause)->trigger();
        // The text from before the pause, and the same run going on.
        QCOMPARE(Status(w, 0), pausedIn);
        QVERIFY(!entry->FPaused);
        QCOMPARE(entry->FWorker, worker);
        QCOMPARE(w.RunningCount(), 1);

        QTRY_COMPARE(Status(w, 0), u"Done"_s);
        QTRY_COMPARE(w.RunningCount(), 0);
        QCOMPARE(w.EntryList().Text(0, ecProcessed), u"40"_s);
        QCOMPARE(w.EntryList().Image(0), 19);
        // One run only: every file handled once.
        QCOMPARE(LogLinesWith(w, u"Copying: "_s), 40);
        QCOMPARE(Copied(name), u"40 files, 0 differ, 0 temporary"_s);
        QVERIFY(script.messages.isEmpty());
    }

    void stopWhilePausedThenRunAgain()
    {
        TDialogScript script;
        TformMain w;
        w.show();
        TDataObject *entry = AddTree(w, u"stop-paused"_s, 40);
        QVERIFY(entry);
        w.FModified = false;
        Select(w, {0});
        AtProgress(w, entry, u"Copying.."_s, 3, [&w] { w.tbPause->trigger(); });
        w.tbStart->trigger();
        QTRY_VERIFY(Held(entry));

        w.tbStop->trigger();
        // At once: stopped, no longer counted, last run set, job list changed.
        QCOMPARE(Status(w, 0), u"Stopped"_s);
        QCOMPARE(w.RunningCount(), 0);
        QVERIFY(!entry->FPaused);
        QVERIFY(entry->FLastRun > 0);
        QVERIFY(!w.EntryList().Text(0, ecLastCopy).isEmpty());
        QVERIFY(w.FModified);
        QCOMPARE(w.EntryList().Image(0), 19);
        // The halted worker is let go, sees the stop and ends; "Stopped" stays.
        QTRY_VERIFY(!entry->Running());
        QCOMPARE(Status(w, 0), u"Stopped"_s);
        QCOMPARE(LogLinesWith(w, u"Copying: "_s), 3);
        QCOMPARE(Copied(u"stop-paused"_s), u"3 files, 0 differ, 0 temporary"_s);

        w.tbStart->trigger();
        QTRY_COMPARE(Status(w, 0), u"Done"_s);
        QTRY_COMPARE(w.RunningCount(), 0);
        QCOMPARE(Copied(u"stop-paused"_s), u"40 files, 0 differ, 0 temporary"_s);
        QVERIFY(script.messages.isEmpty());
    }

    void runOnRunningRowRestartsAfterOldWorkerEnds()
    {
        TDialogScript script;
        TformMain w;
        w.show();
        TDataObject *entry = AddTree(w, u"restart"_s, 40);
        QVERIFY(entry);
        Select(w, {0});
        // Every row change: the status texts in order, and the most runs counted at once.
        QStringList statuses;
        int mostRunning = 0;
        connect(&w.EntryList(), &QAbstractItemModel::dataChanged, &w, [&](const QModelIndex &from) {
            mostRunning = std::max(mostRunning, w.RunningCount());
            if (from.column() == ecStatus && (statuses.isEmpty() || statuses.constLast() != Status(w, 0)))
                statuses << Status(w, 0);
        });
        const TCopyThread *oldWorker = nullptr;
        bool oldKeptUntilEnd = false;
        AtProgress(w, entry, u"Copying.."_s, 3, [&] {
            oldWorker = entry->FWorker;
            w.tbStart->trigger();
            // Asked to stop; no second worker on the entry yet.
            oldKeptUntilEnd = entry->FWorker == oldWorker && w.RunningCount() == 1;
        });
        w.tbStart->trigger();
        QTRY_VERIFY(statuses.count(u"Done"_s) == 2 && !entry->Running());
        QVERIFY(oldKeptUntilEnd);
        QCOMPARE(mostRunning, 1);
        QCOMPARE(w.RunningCount(), 0);
        // The old run ends with its own end handling, then the new one begins.
        const qsizetype firstDone = statuses.indexOf(u"Done"_s);
        QCOMPARE(statuses.first(), u"Copying.."_s);
        QCOMPARE(statuses.at(firstDone + 1), u"Copying.."_s);
        QCOMPARE(statuses.constLast(), u"Done"_s);
        QCOMPARE(w.EntryList().Image(0), 19);
        // Three files by the old run, then all forty listed by the new one.
        QCOMPARE(LogLinesWith(w, u"Copying: "_s), 43);
        QCOMPARE(LogLinesWith(w, u"Run ended (Stopped): "_s), 1);
        QCOMPARE(LogLinesWith(w, u"Run ended (Done): "_s), 1);
        QCOMPARE(Copied(u"restart"_s), u"40 files, 0 differ, 0 temporary"_s);
        QVERIFY(script.messages.isEmpty());
    }

    void selectionRuleWithSeveralRows()
    {
        TDialogScript script;
        TformMain w;
        w.show();
        QList<TDataObject *> entries;
        for (int i = 0; i < 4; ++i) {
            entries << AddTree(w, u"sel%1"_s.arg(i), 30);
            QVERIFY(entries.constLast());
            // Each run is held the first time it reaches its second file.
            AtProgress(w, entries.constLast(), u"Copying.."_s, 2, [&w, e = entries.constLast()] { w.PauseEntry(e); });
        }
        TEntryList &list = w.EntryList();

        // Two rows selected (the lower one first): both run, in list order, the others not.
        w.lvMain->selectionModel()->select(list.index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        w.lvMain->selectionModel()->select(list.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        w.tbStart->trigger();
        QCOMPARE(list.Image(1), 17);
        QCOMPARE(list.Image(3), 17);
        QCOMPARE(list.Image(0), 19);
        QCOMPARE(list.Image(2), 19);
        QTRY_VERIFY(Held(entries[1]) && Held(entries[3]));
        QVERIFY(!entries[0]->Running() && !entries[2]->Running());
        QCOMPARE(Status(w, 0), QString());
        w.RefreshStatus();
        QCOMPARE(w.sbPanel[1]->text(), u"2 / 4"_s);

        // One row selected: only that one is resumed.
        Select(w, {1});
        w.tbPause->trigger();
        QCOMPARE(Status(w, 1), u"Copying.."_s);
        QCOMPARE(Status(w, 3), u"Paused"_s);
        QTRY_COMPARE(Status(w, 1), u"Done"_s);

        // All selected: the paused row resumes, the idle ones start.
        Select(w, {0, 1, 2, 3});
        w.tbStart->trigger();
        QTRY_VERIFY(Held(entries[0]) && Held(entries[2]));
        QTRY_VERIFY(Status(w, 1) == u"Done"_s && Status(w, 3) == u"Done"_s && w.RunningCount() == 2);
        // Row 3 went on with its first run rather than starting over (a line
        // per file, and each run's summary line).
        QCOMPARE(LogLinesWith(w, Src(u"sel3"_s)), 30 + 1);
        QCOMPARE(LogLinesWith(w, Src(u"sel1"_s)), 60 + 2);

        // Stop on all: the held ones stop, the finished ones keep "Done".
        w.tbStop->trigger();
        QCOMPARE(Status(w, 0), u"Stopped"_s);
        QCOMPARE(Status(w, 2), u"Stopped"_s);
        QCOMPARE(Status(w, 1), u"Done"_s);
        QCOMPARE(Status(w, 3), u"Done"_s);
        QCOMPARE(w.RunningCount(), 0);
        QTRY_VERIFY(!entries[0]->Running() && !entries[2]->Running());

        // Nothing selected: nothing happens.
        w.lvMain->clearSelection();
        w.tbStart->trigger();
        QVERIFY(!entries[0]->Running());
        QCOMPARE(Status(w, 0), u"Stopped"_s);
        QVERIFY(script.messages.isEmpty());
    }

    void statusPanelsAndTrayAroundARun()
    {
        TDialogScript script;
        TformMain w;
        w.show();
        TDataObject *entry = AddTree(w, u"status"_s, 30);
        QVERIFY(entry);
        w.AddEntryRow(u"/nowhere/a"_s, u"/nowhere/b"_s, u"*.*"_s, false, skNone, 0, 0, QString(), QString(), ctCopy);
        w.AddEntryRow(u"/nowhere/c"_s, u"/nowhere/d"_s, u"*.*"_s, false, skNone, 0, 0, QString(), QString(), ctCopy);
        Select(w, {0});
        AtProgress(w, entry, u"Copying.."_s, 3, [&w] { w.tbPause->trigger(); });

        // Schedules disabled (a first start): a run by hand does not switch the tray.
        QVERIFY(w.cbSuspend->isChecked());
        w.tbStart->trigger();
        QTRY_VERIFY(Held(entry));
        QCOMPARE(w.TrayList(), tiDisabled);

        // Unticked: the window's refresh shows the run; the hint stays.
        w.cbSuspend->click();
        QCOMPARE(w.TrayList(), tiActive);
        QCOMPARE(w.sbPanel[1]->text(), u"1 / 3"_s);
        QCOMPARE(w.TrayHint(), u"Vantor Disabled"_s);
        // The scheduler's hand-overs keep it so, and the active images alternate.
        const quint64 passes = w.FScheduler->Passes();
        QTRY_VERIFY(w.FScheduler->Passes() > passes + 1);
        QCOMPARE(w.TrayList(), tiActive);
        QCOMPARE(w.sbPanel[1]->text(), u"1 / 3"_s);
        const int frame = w.TrayFrame();
        QTRY_VERIFY_WITH_TIMEOUT(w.TrayFrame() != frame, 2000);

        // After the run the scheduler's next hand-over turns the tray back, hint untouched.
        w.tbPause->trigger();
        QTRY_COMPARE(Status(w, 0), u"Done"_s);
        QTRY_COMPARE(w.TrayList(), tiPassive);
        QTRY_COMPARE(w.sbPanel[1]->text(), u"0 / 3"_s);
        QCOMPARE(w.TrayHint(), u"Vantor Disabled"_s);

        // Ticked again: the single disabled image and its hint; unticked: passive again.
        w.cbSuspend->click();
        QCOMPARE(w.TrayList(), tiDisabled);
        QCOMPARE(w.TrayHint(), u"Vantor Disabled"_s);
        QCOMPARE(w.trayIcon->toolTip(), u"Vantor Disabled"_s);
        QCOMPARE(w.sbPanel[1]->text(), u"0 / 3"_s);
        w.cbSuspend->click();
        QCOMPARE(w.TrayList(), tiPassive);
        QCOMPARE(w.TrayHint(), u"Vantor"_s);
        QVERIFY(script.messages.isEmpty());
    }

    // What a run ends with: "Done" only when every file operation succeeded;
    // failures and guards each have their own status. Either way the last and
    // next run are set, and one summary line closes the run's log.
    void runOutcomeStatusAndSummary_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("copyType");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("counts");
        QTest::newRow("clean") << u"clean"_s << int(ctReplicate) << u"Done"_s << u"6 copied, 1 deleted, 0 failed"_s;
        QTest::newRow("destination cannot be written")
            << u"dest is a file"_s << int(ctCopy) << u"Failed"_s << u"0 copied, 0 deleted, 6 failed"_s;
        QTest::newRow("source does not exist")
            << u"no source"_s << int(ctCopy) << u"Failed"_s << u"0 copied, 0 deleted, 1 failed"_s;
        QTest::newRow("replicate, source does not exist")
            << u"no source"_s << int(ctReplicate) << u"Refused"_s << u"0 copied, 0 deleted, 1 failed"_s;
        QTest::newRow("replicate, source folder empty")
            << u"empty source"_s << int(ctReplicate) << u"Refused"_s << u"0 copied, 0 deleted, 0 failed"_s;
        QTest::newRow("no source folder set")
            << u"unset source"_s << int(ctCopy) << u"Refused"_s << u"0 copied, 0 deleted, 0 failed"_s;
        QTest::newRow("mask leaves the folder")
            << u"outside mask"_s << int(ctCopy) << u"Refused"_s << u"0 copied, 0 deleted, 0 failed"_s;
        QTest::newRow("relative destination")
            << u"relative dest"_s << int(ctCopy) << u"Refused"_s << u"0 copied, 0 deleted, 0 failed"_s;
    }

    void runOutcomeStatusAndSummary()
    {
        QFETCH(QString, setup);
        QFETCH(int, copyType);
        QFETCH(QString, status);
        QFETCH(QString, counts);
        TCopyThread::SetHandOverAhead(TCopyThread::kDefaultHandOverAhead);
        const QString name = u"outcome-"_s + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_');
        QVERIFY(MakeSourceTree(FDir.filePath(name), 6));
        QString src = Src(name), dst = Dst(name), mask = u"*.*"_s;
        QVERIFY(QDir().mkpath(dst));
        QFile orphan(dst + u"/gone.txt"_s);
        QVERIFY(orphan.open(QIODevice::WriteOnly) && orphan.write("x") == 1);
        orphan.close();
        if (setup == u"dest is a file") {
            QVERIFY(QDir(dst).removeRecursively());
            QFile file(dst);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        } else if (setup == u"no source") {
            src = FDir.filePath(name + u"/missing"_s);
        } else if (setup == u"empty source") {
            src = FDir.filePath(name + u"/empty"_s);
            QVERIFY(QDir().mkpath(src));
        } else if (setup == u"unset source") {
            src.clear();
        } else if (setup == u"outside mask") {
            mask = u"../*.*"_s;
        } else if (setup == u"relative dest") {
            dst = u"relative/backup"_s;
        }

        TDialogScript script;
        TformMain w;
        w.show();
        TDataObject *entry = w.AddEntryRow(src, dst, mask, false, skDaily, 0, 0, QString(), QString(),
                                           quint8(copyType));
        w.FModified = false;
        Select(w, {0});
        w.tbStart->trigger();
        QTRY_VERIFY(!entry->Running());

        QCOMPARE(Status(w, 0), status);
        QCOMPARE(w.EntryList().Image(0), 19);
        QVERIFY(entry->FLastRun > 0);
        QVERIFY(entry->FNextRun > entry->FLastRun);
        QCOMPARE(w.EntryList().Text(0, ecLastCopy), DateTimeText(entry->FLastRun));
        QVERIFY(w.FModified);
        const TLogModel *log = w.memo->LogModel();
        const QString last = log->Line(log->LineCount() - 1);
        QVERIFY2(last.endsWith(u"Run ended (%1): %2 > %3, %4"_s.arg(status, entry->FSource, entry->FDest, counts)),
                 qPrintable(last));
        QCOMPARE(LogLinesWith(w, u"Run ended "_s), 1);
        if (setup == u"dest is a file")
            QCOMPARE(LogLinesWith(w, u"Copy failed: "_s), 6);
        QVERIFY(script.messages.isEmpty());
    }

    // A stopped run keeps "Stopped"; its summary comes when its worker has
    // ended and counts what it did up to the stop.
    void stoppedRunSummary()
    {
        TDialogScript script;
        TformMain w;
        w.show();
        TDataObject *entry = AddTree(w, u"stopped-summary"_s, 30);
        QVERIFY(entry);
        Select(w, {0});
        AtProgress(w, entry, u"Copying.."_s, 4, [&w] { w.tbStop->trigger(); });
        w.tbStart->trigger();
        QTRY_VERIFY(!entry->Running());
        QCOMPARE(Status(w, 0), u"Stopped"_s);
        QCOMPARE(LogLinesWith(w, u"Run ended "_s), 1);
        QCOMPARE(LogLinesWith(w, u"Run ended (Stopped): %1 > %2, 4 copied, 0 deleted, 0 failed"_s
                                     .arg(entry->FSource, entry->FDest)),
                 1);
        QVERIFY(script.messages.isEmpty());
    }

    // Hidden in the tray, the user hears of a run that failed; a visible window,
    // or a run that went well, shows nothing extra.
    void failedRunShowsTrayMessageWhenHidden()
    {
        TDialogScript script;
        TformMain w;
        w.show();
        // The icon is shown only where there is a tray; here it is shown by hand.
        w.trayIcon->show();
        TDataObject *good = AddTree(w, u"tray-good"_s, 4);
        QVERIFY(good);
        TDataObject *bad = w.AddEntryRow(FDir.filePath(u"tray-missing"_s), FDir.filePath(u"tray-bad-dst"_s),
                                         u"*.*"_s, false, skNone, 0, 0, QString(), QString(), ctCopy);
        QSignalSpy shown(&w, &TformMain::TrayMessageShown);

        Select(w, {0, 1});
        w.tbStart->trigger();
        QTRY_VERIFY(!good->Running() && !bad->Running());
        QCOMPARE(Status(w, 1), u"Failed"_s);
        QCOMPARE(shown.count(), 0);   // the window was visible

        w.hide();
        w.tbStart->trigger();
        QTRY_VERIFY(!good->Running() && !bad->Running());
        QCOMPARE(shown.count(), 1);
        const QString text = shown.constFirst().constFirst().toString();
        QVERIFY2(text.startsWith(u"Run ended (Failed): "_s + bad->FSource), qPrintable(text));

        // Without the tray icon nothing is shown.
        w.trayIcon->hide();
        w.tbStart->trigger();
        QTRY_VERIFY(!good->Running() && !bad->Running());
        QCOMPARE(shown.count(), 1);
        QVERIFY(script.messages.isEmpty());
    }

    // Exit from the menu or the tray offers unsaved entries for saving; it
    // never refuses because of a run (a held one here), it abandons it.
    void exitAsksToSaveChanges_data()
    {
        QTest::addColumn<bool>("fromTray");
        QTest::addColumn<bool>("named");      // the job list has a file already
        QTest::addColumn<int>("answer");      // 0: no changes, nothing asked
        QTest::addColumn<QString>("saveAs");  // the name given to the save dialog
        QTest::addColumn<bool>("ends");
        QTest::addColumn<int>("entriesOnDisk");
        const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
        QTest::newRow("menu, unchanged") << false << true << 0 << QString() << true << 1;
        QTest::newRow("menu, Yes saves") << false << true << yes << QString() << true << 2;
        QTest::newRow("menu, No discards") << false << true << no << QString() << true << 1;
        QTest::newRow("menu, Cancel keeps running") << false << true << cancel << QString() << false << 1;
        QTest::newRow("tray, Yes saves") << true << true << yes << QString() << true << 2;
        QTest::newRow("tray, No discards") << true << true << no << QString() << true << 1;
        QTest::newRow("tray, Cancel keeps running") << true << true << cancel << QString() << false << 1;
        QTest::newRow("menu, Yes, new list named") << false << false << yes << u"named.vnt"_s << true << 2;
        // The save was not made after all: leaving now would lose the entries.
        QTest::newRow("menu, Yes, name not given") << false << false << yes << QString() << false << 0;
    }

    void exitAsksToSaveChanges()
    {
        QFETCH(bool, fromTray);
        QFETCH(bool, named);
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, ends);
        QFETCH(int, entriesOnDisk);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).remove(u',').replace(u' ', u'_');
        QDir(FDir.filePath(tag)).mkpath(u"."_s);
        const QString jobs = FDir.filePath(tag + u"/jobs.vnt"_s);
        const QString chosen = FDir.filePath(tag + u"/"_s + saveAs);
        const auto entriesIn = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? int(file.readAll().count("\nSrc=")) : 0;
        };

        TDialogScript script;
        TformMain w;
        w.show();
        TDataObject *entry = AddTree(w, tag, 20);
        QVERIFY(entry);
        if (named)
            w.SaveJobList(jobs);
        QCOMPARE(entriesIn(jobs), named ? 1 : 0);
        if (answer != 0)
            w.AddEntryRow(FDir.filePath(tag + u"/src"_s), FDir.filePath(tag + u"/more"_s), u"*.*"_s, false,
                          skNone, 0, 0, QString(), QString(), ctCopy);
        // A run in progress, held.
        Select(w, {0});
        AtProgress(w, entry, u"Copying.."_s, 3, [&w] { w.tbPause->trigger(); });
        w.tbStart->trigger();
        QTRY_VERIFY(Held(entry));
        w.FModified = answer != 0;
        if (fromTray)
            w.hide();

        if (answer != 0)
            script.answers << QMessageBox::StandardButton(answer);
        if (answer == QMessageBox::Yes && !named)
            script.paths << (saveAs.isEmpty() ? QString() : chosen);
        QSignalSpy ended(&w, &TformMain::Terminated);
        (fromTray ? w.miTrayExit : w.miExit)->trigger();

        QCOMPARE(script.Texts(), answer != 0 ? QStringList{u"Save Changes?"_s} : QStringList());
        QCOMPARE(script.fileDialogs.size(), answer == QMessageBox::Yes && !named ? 1 : 0);
        QCOMPARE(script.unexpected, 0);
        QCOMPARE(ended.count(), ends ? 1 : 0);
        QCOMPARE(entriesIn(named || saveAs.isEmpty() ? jobs : chosen), entriesOnDisk);
        if (ends) {
            // The run was abandoned, not waited for, and left no partial file.
            QVERIFY(!entry->Running());
            QCOMPARE(CompareTrees(Src(tag), Dst(tag)).strays, 0);
            QVERIFY(w.close());
        } else {
            // Still running, with the list and its changes as they were.
            QCOMPARE(w.isVisible(), !fromTray);
            QCOMPARE(w.EntryCount(), 2);
            QVERIFY(w.FModified);
            QVERIFY(Held(entry));
            QCOMPARE(w.RunningCount(), 1);
        }
    }

    // An hourly entry of 0 hours (or fewer) from a job list would run back to
    // back for ever: it shows its schedule but is never due.
    void hourlyZeroFromJobListIsNeverDue()
    {
        if (!MakeSourceTree(FDir.filePath(u"hourly0"_s), 4))
            QFAIL("no source tree");
        const QString jobs = FDir.filePath(u"hourly0/jobs.vnt"_s);
        QFile file(jobs);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // Hours are written as a date-time: 0 is day 0, -2 two days before it.
        QByteArray text = "[Main]\r\nDefault Destination=\r\n";
        const QList<QByteArray> counts{FormatShortDate(QDate(1899, 12, 30)).toUtf8(),
                                       FormatShortDate(QDate(1899, 12, 28)).toUtf8(),
                                       FormatShortDate(QDate(1900, 1, 1)).toUtf8()};
        const QDateTime last(QDate(2024, 5, 10), QTime(10, 0));
        for (int i = 0; i < counts.size(); ++i)
            text += "[" + QByteArray::number(i) + "]\r\nActive=1\r\nSrc=" + Src(u"hourly0"_s).toUtf8()
                    + "\r\nDest=" + FDir.filePath(u"hourly0/dst%1"_s.arg(i)).toUtf8()
                    + "\r\nFileExt=*.*\r\nSchedule=3\r\nSchedule Time=" + counts[i]
                    + "\r\nLast=" + DateTimeText(OleFromDateTime(last)).toUtf8() + "\r\nCopyType=2\r\n";
        QVERIFY(file.write(text) == text.size());
        file.close();

        TDialogScript script;
        TformMain w;
        w.show();
        w.LoadJobList(jobs);
        QCOMPARE(w.EntryCount(), 3);
        const QStringList schedules{u"Every 0 Hour(s)"_s, u"Every -2 Hour(s)"_s, u"Every 2 Hour(s)"_s};
        for (int row = 0; row < 3; ++row)
            QCOMPARE(w.EntryList().Text(row, ecSchedule), schedules[row]);
        QCOMPARE(w.EntryAt(0)->FNextRun, 0.0);
        QCOMPARE(w.EntryAt(1)->FNextRun, 0.0);
        QCOMPARE(w.EntryList().Text(0, ecNextCopy), QString());
        QCOMPARE(w.EntryList().Text(1, ecNextCopy), QString());
        // The sound one, long overdue, is started by the scheduler; the others never.
        QCOMPARE(DateTimeFromOle(w.EntryAt(2)->FNextRun), last.addSecs(2 * 3600));
        w.cbSuspend->click();
        QTRY_COMPARE(w.EntryList().Text(2, ecStatus), u"Done"_s);
        const quint64 passes = w.FScheduler->Passes();
        QTRY_VERIFY(w.FScheduler->Passes() > passes + 3);
        QCOMPARE(w.EntryList().Text(0, ecStatus), QString());
        QCOMPARE(w.EntryList().Text(1, ecStatus), QString());
        QVERIFY(!QDir(FDir.filePath(u"hourly0/dst0"_s)).exists());
        QVERIFY(!QDir(FDir.filePath(u"hourly0/dst1"_s)).exists());

        // Run by hand, it runs once and stays never due.
        Select(w, {0});
        w.tbStart->trigger();
        QTRY_COMPARE(w.EntryList().Text(0, ecStatus), u"Done"_s);
        QCOMPARE(w.EntryAt(0)->FNextRun, 0.0);
        const quint64 after = w.FScheduler->Passes();
        QTRY_VERIFY(w.FScheduler->Passes() > after + 3);
        QCOMPARE(LogLinesWith(w, FDir.filePath(u"hourly0/dst0/sub/"_s)), 2);
        QVERIFY(script.messages.isEmpty());
    }

};

QTEST_MAIN(tst_frm_Main_Run)
#include "tst_frm_Main_Run.moc"
