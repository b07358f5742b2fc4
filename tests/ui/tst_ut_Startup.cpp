// The program's start-up and end through its real main routine: the windows it
// makes and their order, a close that asks once and ends the loop, Exit,
// which ends it without the close rules, with unsaved changes or with a run in
// progress, and a second start of the program in a process of its own that
// finds everything as the first one left it.
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTextStream>
#include <cmath>
#include <QCheckBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "DialogScript.h"
#include "RunFixture.h"
#include "UserRegistry.h"
#include "frm_About.h"
#include "frm_EditFile.h"
#include "frm_Main.h"
#include "frm_Options.h"
#include "ut_Startup.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

namespace {

// Counts the close requests a window receives.
class TCloseCounter : public QObject
{
public:
    int closes = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            ++closes;
        return QObject::eventFilter(watched, event);
    }
};

// What a start of the program shows, one line per fact, for the test to compare.
QStringList Describe(TformMain *w)
{
    QStringList lines;
    lines << u"suspended=%1"_s.arg(w->cbSuspend->isChecked());
    lines << u"list=%1"_s.arg(w->FJobListFile);
    const QRect normal = w->normalGeometry();
    lines << u"place=%1,%2 %3x%4"_s.arg(normal.x()).arg(normal.y()).arg(normal.width()).arg(normal.height());
    for (int row = 0; row < w->EntryCount(); ++row) {
        const TDataObject *entry = w->EntryAt(row);
        lines << u"entry=%1|%2|%3|%4|%5|%6"_s.arg(entry->FSource, entry->FDest)
                     .arg(entry->FSchedule)
                     .arg(entry->ScheduleText(), w->EntryList().IsChecked(row) ? u"on"_s : u"off"_s)
                     .arg(entry->FNextRun, 0, 'f', 6);
    }
    return lines;
}

// The program as a separate process (this executable started again):
//   save <job list>: makes two entries, saves them, lets the schedules run,
//                    moves the window and closes it by the close rules;
//   show:            prints what it shows once the window is up, then exits.
int ChildProgram(QApplication &app, const QString &mode, const QString &jobList)
{
    // A question neither start should ask is answered Cancel and reported.
    TDialogScript script;
    const int code = RunProgram(app, [&](const TProgramWindows &windows) {
        TformMain *w = windows.formMain;
        QTimer::singleShot(0, w, [w, mode, jobList] {
            if (mode == u"save"_s) {
                w->setGeometry(60, 70, 700, 400);
                // Run last a minute ago: neither is due during the test.
                const double lastRun = std::floor((CurrentOle() - 1.0 / 1440) * 86400) / 86400;
                w->AddEntryRow(u"/data/a"_s, u"/backup/a"_s, u"*.*"_s, true, skDaily, 0.5, lastRun, QString(),
                               QString(), ctReplicate);
                w->AddEntryRow(u"/data/b"_s, u"/backup/b"_s, u"*.txt"_s, false, skHourly, 3, lastRun, QString(),
                               QString(), ctCopy);
                w->SaveJobList(jobList);
                w->cbSuspend->click();
                w->FStartDisabled = false;
                w->close();
                return;
            }
            const QStringList lines = Describe(w) << u"minimized=%1"_s.arg(w->isMinimized());
            QTextStream(stdout) << lines.join(u'\n') << Qt::endl;
            w->miExit->trigger();
        });
    });
    for (const QString &text : script.Texts())
        QTextStream(stdout) << u"message="_s << text << Qt::endl;
    return code;
}

} // namespace

class tst_ut_Startup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;

private slots:
    void initTestCase()
    {
        QVERIFY(FDir.isValid());
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void init()
    {
        QDir(QFileInfo(TUserRegistry::DefaultFileName()).path()).removeRecursively();
    }

    // Two runs of the program, each a process of its own over the same
    // settings: the second shows what the first left, schedules included.
    void secondStartFindsWhatTheFirstLeft()
    {
        const QString jobs = FDir.filePath(u"two starts.vnt"_s);
        const auto run = [](const QStringList &arguments) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), arguments);
            if (!child.waitForFinished(60000))
                child.kill();
            return std::make_pair(child.exitCode(), QString::fromUtf8(child.readAllStandardOutput()).trimmed());
        };
        const auto [savedCode, savedOut] = run({u"--child"_s, u"save"_s, jobs});
        QCOMPARE(savedOut, QString());
        QCOMPARE(savedCode, 0);
        QVERIFY(QFile::exists(jobs));
        const auto [shownCode, shownOut] = run({u"--child"_s, u"show"_s});
        QCOMPARE(shownCode, 0);
        const QStringList shown = shownOut.split(u'\n');

        // What this process reads from the same file, as the first one left it.
        TDialogScript script;
        TformMain expected;
        expected.LoadJobList(jobs);
        QStringList want = Describe(&expected);
        want[0] = u"suspended=0"_s;
        want[1] = u"list="_s + jobs;
        want[2] = u"place=60,70 700x400"_s;
        want << u"minimized=1"_s; // "Start Minimized" acts from the second start on
        QCOMPARE(shown, want);
        QVERIFY(shown.filter(u"entry="_s).size() == 2);
    }

    void windowsMadeInOrderAndKept()
    {
        TDialogScript script;
        bool schedulerRanFirst = false;
        bool editorOwned = false;
        bool editorReused = false;
        QStringList order;
        const int code = RunProgram(*qApp, [&](const TProgramWindows &windows) {
            // The main window is complete (its scheduler started) before the editor exists.
            schedulerRanFirst = windows.formMain->FScheduler->isRunning();
            editorOwned = windows.formEditFile && windows.formEditFile->parent() == windows.formMain
                          && !windows.formEditFile->isVisible();
            editorReused = EntryEditor(windows.formMain) == windows.formEditFile;
            // Made in this order, all kept by the main window until it goes.
            for (QObject *child : windows.formMain->children())
                if (child == windows.formAbout || child == windows.formEditFile || child == windows.FormOptions)
                    order << child->objectName();
            QTimer::singleShot(0, windows.formMain, [w = windows.formMain] { w->miExit->trigger(); });
        });
        QCOMPARE(code, 0);
        QCOMPARE(order, QStringList({u"formAbout"_s, u"formEditFile"_s, u"FormOptions"_s}));
        QVERIFY(schedulerRanFirst);
        QVERIFY(editorOwned);
        QVERIFY(editorReused);
        QCOMPARE(QApplication::applicationDisplayName(), u"Vantor"_s);
        QVERIFY(!QApplication::quitOnLastWindowClosed());
        QVERIFY(script.messages.isEmpty());
    }

    // A close that passes the rules asks its question once and ends the loop;
    // ending the loop does not ask the window to close again.
    void closeAsksOnceAndEnds()
    {
        TDialogScript script;
        script.answers << QMessageBox::No;
        TCloseCounter counter;
        const int code = RunProgram(*qApp, [&](const TProgramWindows &windows) {
            TformMain *w = windows.formMain;
            w->installEventFilter(&counter);
            w->AddEntryRow(u"/a"_s, u"/b"_s, u"*.*"_s, false, skNone, 0, 0, QString(), QString(), ctCopy);
            QTimer::singleShot(0, w, [w] { w->close(); });
        });
        QCOMPARE(code, 0);
        QCOMPARE(script.Texts(), QStringList({u"Save Changes?"_s}));
        QCOMPARE(counter.closes, 1);
        QCOMPARE(script.unexpected, 0);
    }

    void exitEndsAtOnce_data()
    {
        QTest::addColumn<QString>("during");
        QTest::newRow("unsaved changes, no run") << u"idle"_s;
        QTest::newRow("run paused") << u"paused"_s;
        QTest::newRow("run copying") << u"copying"_s;
    }

    void exitEndsAtOnce()
    {
        QFETCH(QString, during);
        const QString root = FDir.filePath(during);
        // A file bigger than one copy step, so that a copy under way can be cut off.
        QVERIFY(MakeSourceTree(root, 40, qint64(20) << 20));
        TDialogScript script;
        TCloseCounter counter;
        int terminated = 0;
        int runningAtEnd = -1;
        bool workerLeft = true;
        if (during == u"paused"_s)
            TCopyThread::SetHandOverAhead(0);
        const int code = RunProgram(*qApp, [&](const TProgramWindows &windows) {
            TformMain *w = windows.formMain;
            w->installEventFilter(&counter);
            TDataObject *entry = w->AddEntryRow(root + u"/src"_s, root + u"/dst"_s, u"*.*"_s, false, skNone, 0, 0,
                                                QString(), QString(), ctReplicate);
            QVERIFY(w->FModified);
            connect(w, &TformMain::Terminated, w, [&, w, entry] {
                ++terminated;
                runningAtEnd = w->RunningCount();
                workerLeft = entry->FWorker != nullptr;
            });
            const auto exitSoon = [w] { QTimer::singleShot(0, w, [w] { w->miExit->trigger(); }); };
            if (during == u"idle"_s) {
                exitSoon();
                return;
            }
            w->lvMain->selectionModel()->select(w->EntryList().index(0, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
            AtProgress(*w, entry, u"Copying.."_s, 3, [w, during, exitSoon] {
                if (during == u"paused"_s)
                    w->tbPause->trigger();
                exitSoon();
            });
            QTimer::singleShot(0, w, [w] { w->tbStart->trigger(); });
        });
        TCopyThread::SetHandOverAhead(TCopyThread::kDefaultHandOverAhead);

        QCOMPARE(code, 0);
        QCOMPARE(terminated, 1);
        // No question, no close rules.
        QVERIFY(script.messages.isEmpty());
        QCOMPARE(counter.closes, 0);
        // The runs were ended before the program: none counted, none left.
        QCOMPARE(runningAtEnd, 0);
        QVERIFY(!workerLeft);
        // Whatever was copied is whole; no partial or temporary file remains.
        const TTreeCompare copy = CompareTrees(root + u"/src"_s, root + u"/dst"_s);
        QCOMPARE(copy.strays, 0);
        QCOMPARE(copy.mismatches, 0);
        if (during == u"paused"_s)
            QCOMPARE(copy.files.size(), 3);
        if (during == u"idle"_s)
            QCOMPARE(copy.files.size(), 0);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Both processes read and write job lists in the same locale.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    if (argc >= 3 && QByteArray(argv[1]) == "--child")
        return ChildProgram(app, QString::fromLocal8Bit(argv[2]), argc >= 4 ? QString::fromLocal8Bit(argv[3]) : QString());
    app.setAttribute(Qt::AA_Use96Dpi, true);
    tst_ut_Startup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_ut_Startup.moc"
