// The program's start-up and end through its real main routine: the windows it
// makes and their order, a close that asks once and ends the loop, and Exit,
// which ends it without the close rules (after offering unsaved changes for
// saving), also with a run in progress.
#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "DialogScript.h"
#include "RunFixture.h"
#include "frm_EditFile.h"
#include "frm_Main.h"
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

    void windowsMadeInOrderAndKept()
    {
        TDialogScript script;
        bool schedulerRanFirst = false;
        bool editorOwned = false;
        bool editorReused = false;
        const int code = RunProgram(*qApp, [&](const TProgramWindows &windows) {
            // The main window is complete (its scheduler started) before the editor exists.
            schedulerRanFirst = windows.formMain->FScheduler->isRunning();
            editorOwned = windows.formEditFile && windows.formEditFile->parent() == windows.formMain
                          && !windows.formEditFile->isVisible();
            editorReused = EntryEditor(windows.formMain) == windows.formEditFile;
            QTimer::singleShot(0, windows.formMain, [w = windows.formMain] { w->miExit->trigger(); });
        });
        QCOMPARE(code, 0);
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
        // The list has unsaved changes: Exit asks first, and No leaves them.
        script.answers << QMessageBox::No;
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
        // Only the question about the changes, no close rules.
        QCOMPARE(script.Texts(), QStringList({u"Save Changes?"_s}));
        QCOMPARE(script.unexpected, 0);
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

QTEST_MAIN(tst_ut_Startup)
#include "tst_ut_Startup.moc"
