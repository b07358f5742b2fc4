// The main window driven offscreen: layout and names, entry rows, delete and
// its log lines, the close rules, Exit, keys, the status bar and the tray.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include "DialogScript.h"
#include "frm_Main.h"
#include "ut_General.h"
#include "ut_LogView.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

// Collects the regions painted on a widget.
class TPaintRecorder : public QObject
{
public:
    explicit TPaintRecorder(QRegion *painted) : FPainted(painted) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            *FPainted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }

private:
    QRegion *FPainted;
};

class tst_frm_Main : public QObject
{
    Q_OBJECT

private:
    static TDataObject *Add(TformMain &w, const QString &src, const QString &dest, bool active = true)
    {
        return w.AddEntryRow(src, dest, u"*.*"_s, active, skNone, 0, 0, QString(), QString(), ctCopy);
    }
    static void Select(TformMain &w, const QList<int> &rows)
    {
        w.lvMain->clearSelection();
        for (int row : rows)
            w.lvMain->selectionModel()->select(w.EntryList().index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    static QStringList MenuTexts(const QMenu *menu)
    {
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts << (action->isSeparator() ? u"|"_s : action->text());
        return texts;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void layoutNamesAndCommands()
    {
        TformMain w;
        QCOMPARE(w.objectName(), u"formMain"_s);
        QCOMPARE(w.windowTitle(), u"Vantor"_s);
        QCOMPARE(w.size(), QSize(842, 435));
        for (const char *name : {"lvMain", "memo", "sb", "edDef", "cbSuspend", "tbMain", "tbOpen", "tbSave",
                                 "tbStart", "tbStop", "tbPause", "tbAdd", "tbDelete", "tbEdit", "ToolButton3",
                                 "tbHelp", "menuMain", "miFile", "miNew", "miOpen", "miSave", "miSaveAs", "miExit",
                                 "Hide1", "miTools", "miLanguages", "Options1", "miHelp", "Update1", "pmTray", "miShow"})
            QVERIFY2(w.findChild<QObject *>(QString::fromLatin1(name)), name);

        // Toolbar buttons are found by name as widgets too, at their fixed size.
        auto *open = w.tbMain->findChild<QWidget *>(u"tbOpen"_s, Qt::FindDirectChildrenOnly);
        QVERIFY(open);
        QCOMPARE(open->size(), QSize(27, 29));
        QCOMPARE(w.tbOpen->toolTip(), u"Open *.vnt (CTRL+O)"_s);
        QCOMPARE(w.tbDelete->toolTip(), u"Remove Selected Entries (CTRL+DEL)"_s);
        QCOMPARE(w.edDef->width(), 178);
        QCOMPARE(w.cbSuspend->text(), u"&Disable All Schedules"_s);

        QCOMPARE(MenuTexts(w.miFile), QStringList({u"&New"_s, u"|"_s, u"&Open"_s, u"&Save"_s, u"|"_s,
                                                   u"Save &As.."_s, u"|"_s, u"E&xit"_s}));
        QCOMPARE(MenuTexts(w.miTools).size(), 14);
        QCOMPARE(MenuTexts(w.miTools).at(4), u"|"_s);
        QCOMPARE(MenuTexts(w.miTools).at(11), u"Language"_s);
        QCOMPARE(MenuTexts(w.miHelp), QStringList({u"&Index"_s, u"|"_s, u"&Update"_s, u"|"_s, u"&About"_s}));
        QCOMPARE(MenuTexts(w.pmTray), QStringList({u"&Show"_s, u"|"_s, u"&Exit"_s}));
        QCOMPARE(w.miSaveAs->shortcut(), QKeySequence(u"Ctrl+V"_s));
        QCOMPARE(w.miDeleteEntries->shortcut(), QKeySequence(u"Ctrl+Del"_s));
        QCOMPARE(w.Options1->shortcut(), QKeySequence(u"Ctrl+Alt+O"_s));

        const QList<int> widths{200, 200, 100, 50, 150, 80, 80};
        QCOMPARE(w.lvMain->header()->count(), 7);
        for (int c = 0; c < 7; ++c)
            QCOMPARE(w.lvMain->columnWidth(c), widths.at(c));
        QCOMPARE(w.EntryList().headerData(3, Qt::Horizontal).toString(), u"Processed files"_s);
        QCOMPARE(w.lvMain->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(w.lvMain->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(!w.lvMain->isSortingEnabled());
    }

    void addedRowShowsEntry()
    {
        TformMain w;
        QVERIFY(!w.FModified);
        TDataObject *ticked = Add(w, u"/data/src"_s, u"/backup/src"_s, true);
        TDataObject *unticked = Add(w, u"/data/b/"_s, u""_s, false);
        QVERIFY(w.FModified);
        QCOMPARE(w.EntryCount(), 2);
        TEntryList &list = w.EntryList();
        QCOMPARE(ticked->FSource, u"/data/src/"_s);
        QCOMPARE(list.Text(0, ecSource), u"/data/src/"_s);
        QCOMPARE(list.Text(0, ecDest), u"/backup/src/"_s);
        QCOMPARE(list.Text(0, ecStatus), QString());
        QCOMPARE(list.Text(0, ecProcessed), QString());
        QCOMPARE(list.Text(0, ecSchedule), u"No Schedule"_s);
        QCOMPARE(list.Image(0), 19);
        QVERIFY(list.IsChecked(0));
        QVERIFY(!list.IsChecked(1));
        QCOMPARE(unticked->FDest, QString());
        QCOMPARE(list.index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    }

    void deleteSelectedLogsEachFirstSelectedFirst()
    {
        TformMain w;
        for (int i = 0; i < 5; ++i)
            Add(w, u"/s%1"_s.arg(i), u"/d%1"_s.arg(i));
        w.FModified = false;
        w.tbDelete->trigger(); // nothing selected: nothing happens
        QCOMPARE(w.EntryCount(), 5);
        QCOMPARE(w.memo->LogModel()->LineCount(), 0);

        Select(w, {3, 0, 2});
        w.tbDelete->trigger();
        QCOMPARE(w.EntryCount(), 2);
        QCOMPARE(w.EntryAt(0)->FSource, u"/s1/"_s);
        QCOMPARE(w.EntryAt(1)->FSource, u"/s4/"_s);
        QVERIFY(w.FModified);
        TLogModel *log = w.memo->LogModel();
        QCOMPARE(log->LineCount(), 3);
        const QRegularExpression line(u"^\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d{2}:\\d{2}( [AP]M)? Deleted Source: "
                                      "/s(\\d)/ Destination: /d\\2/$"_s);
        QStringList order;
        for (int i = 0; i < 3; ++i) {
            const auto match = line.match(log->Line(i));
            QVERIFY2(match.hasMatch(), qPrintable(log->Line(i)));
            order << match.captured(2);
        }
        QCOMPARE(order, QStringList({u"0"_s, u"2"_s, u"3"_s}));
        // The view shows them once the batch is flushed.
        QTRY_COMPARE(log->rowCount(), 3);
    }

    void closeRules_data()
    {
        QTest::addColumn<bool>("modified");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<bool>("failingSave");
        const QStringList save{u"Save Changes?"_s};
        QTest::newRow("unchanged") << false << false << 0 << true << QStringList() << false;
        QTest::newRow("cancel keeps window") << true << false << int(QMessageBox::Cancel) << false << save << false;
        QTest::newRow("no closes unsaved") << true << false << int(QMessageBox::No) << true << save << false;
        QTest::newRow("yes saves, cancelled name still closes") << true << false << int(QMessageBox::Yes) << true
                                                                << save << false;
        // The changes would be lost: the window stays, with the error shown.
        QTest::newRow("yes, failed save keeps window")
            << true << false << int(QMessageBox::Yes) << false
            << QStringList{u"Save Changes?"_s, u"Unable to write to /nonexistent-folder/jobs.vnt"_s} << true;
        QTest::newRow("running refused before asking") << true << true << 0 << false
                                                        << QStringList{u"Active copy. Can not close."_s} << false;
    }

    void closeRules()
    {
        QFETCH(bool, modified);
        QFETCH(bool, running);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(QStringList, asked);
        QFETCH(bool, failingSave);
        TDialogScript script;
        if (answer)
            script.answers << QMessageBox::StandardButton(answer);
        if (answer == QMessageBox::Yes && !failingSave)
            script.paths << QString(); // the save asks for a name: cancel it
        TformMain w;
        w.show();
        Add(w, u"/a"_s, u"/b"_s);
        if (failingSave)
            w.FJobListFile = u"/nonexistent-folder/jobs.vnt"_s;
        w.FModified = modified;
        if (running)
            w.IncRunningCount();
        QSignalSpy ended(&w, &TformMain::Terminated);
        QCOMPARE(w.close(), closes);
        QCOMPARE(w.isVisible(), !closes);
        QCOMPARE(ended.count(), closes ? 1 : 0);
        QCOMPARE(script.Texts(), asked);
        QCOMPARE(script.fileDialogs.size(), answer == QMessageBox::Yes && !failingSave ? 1 : 0);
        QCOMPARE(script.unexpected, 0);
        if (running)
            w.DecRunningCount();
    }

    // Without unsaved changes; with them Exit asks first (tst_frm_Main_Run).
    void exitEndsWithoutAsking()
    {
        TDialogScript script;
        TformMain w;
        w.show();
        Add(w, u"/a"_s, u"/b"_s);
        w.FModified = false;
        QSignalSpy ended(&w, &TformMain::Terminated);
        w.miExit->trigger();
        QCOMPARE(ended.count(), 1);
        QVERIFY(script.messages.isEmpty());
        QVERIFY(script.fileDialogs.isEmpty());
        // The window may now go away without the close rules.
        QVERIFY(w.close());
    }

    void menuShortcutsWinOverTheRootBox()
    {
        TDialogScript script;
        script.paths << QString(); // Save As.. dialog: cancel
        TformMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.edDef->setText(u"/root"_s);
        w.edDef->setFocus();
        QTest::keyClick(w.edDef, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(script.fileDialogs, QStringList({u"save:VNT"_s}));
        QCOMPARE(w.edDef->text(), u"/root"_s);
    }

    void escapeClosesOnlyFromTheWindow()
    {
        TDialogScript script;
        TformMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QSignalSpy ended(&w, &TformMain::Terminated);
        w.lvMain->setFocus();
        QTest::keyClick(w.lvMain, Qt::Key_Escape);
        QCOMPARE(ended.count(), 0);
        w.setFocus();
        QCOMPARE(QApplication::focusWidget(), &w);
        QTest::keyClick(&w, Qt::Key_Escape);
        QCOMPARE(ended.count(), 1);
    }

    void disableBoxSetsTrayAndStatus()
    {
        TformMain w;
        w.show();
        Add(w, u"/a"_s, u"/b"_s);
        Add(w, u"/c"_s, u"/d"_s);
        // A first start has schedules disabled.
        QVERIFY(w.cbSuspend->isChecked());
        QCOMPARE(w.TrayList(), tiDisabled);

        w.cbSuspend->click();
        QVERIFY(!w.FSchedulesDisabled.load());
        QCOMPARE(w.TrayList(), tiPassive);
        QCOMPARE(w.TrayHint(), u"Vantor"_s);

        w.cbSuspend->click();
        QVERIFY(w.FSchedulesDisabled.load());
        QCOMPARE(w.TrayList(), tiDisabled);
        QCOMPARE(w.TrayHint(), u"Vantor Disabled"_s);
        QCOMPARE(w.trayIcon->toolTip(), u"Vantor Disabled"_s);
        QCOMPARE(w.sbPanel[1]->text(), u"0 / 2"_s);
        QVERIFY(QRegularExpression(u"^\\d{1,2}:\\d{2}:\\d{2}"_s).match(w.sbPanel[0]->text()).hasMatch());

        // A run in progress wins over the box and leaves the hint alone.
        w.IncRunningCount();
        w.cbSuspend->click();
        QCOMPARE(w.TrayList(), tiActive);
        QCOMPARE(w.TrayHint(), u"Vantor Disabled"_s);
        QCOMPARE(w.sbPanel[1]->text(), u"1 / 2"_s);
        // The two active images alternate every half second.
        const int frame = w.TrayFrame();
        QTRY_VERIFY_WITH_TIMEOUT(w.TrayFrame() != frame, 2000);
        w.DecRunningCount();
    }

    void runAndStopThroughToolbarOnRealFolders()
    {
        QTemporaryDir dir;
        for (const QString &name : {u"a"_s, u"b"_s})
            for (int i = 0; i < 30; ++i) {
                QDir().mkpath(dir.filePath(name + u"/src/sub"_s));
                QFile file(dir.filePath(name + u"/src/sub/f%1.txt"_s.arg(i)));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(QByteArray(100 + i, 'x'));
            }
        TformMain w;
        w.show();
        TDataObject *a = w.AddEntryRow(dir.filePath(u"a/src"_s), dir.filePath(u"a/dst"_s), u"*.*"_s, false, skNone, 0,
                                       0, QString(), QString(), ctReplicate);
        w.AddEntryRow(dir.filePath(u"b/src"_s), dir.filePath(u"b/dst"_s), u"*.*"_s, false, skNone, 0, 0, QString(),
                      QString(), ctCopy);
        w.FModified = false;
        TEntryList &list = w.EntryList();

        w.tbStop->trigger(); // nothing selected, nothing running: nothing changes
        Select(w, {1});
        w.tbStop->trigger();
        QCOMPARE(list.Text(1, ecStatus), QString());

        Select(w, {0, 1});
        w.tbStart->trigger();
        QCOMPARE(list.Image(0), 17);
        QCOMPARE(list.Image(1), 17);
        QTRY_COMPARE(list.Text(0, ecStatus), u"Done"_s);
        QTRY_COMPARE(list.Text(1, ecStatus), u"Done"_s);
        QTRY_COMPARE(w.RunningCount(), 0);
        QCOMPARE(list.Image(0), 19);
        QCOMPARE(list.Image(1), 19);
        QCOMPARE(list.Text(0, ecProcessed), u"30"_s);
        QVERIFY(a->FLastRun > 0);
        QVERIFY(w.FModified);
        QVERIFY(QFile::exists(dir.filePath(u"a/dst/sub/f29.txt"_s)));
        QVERIFY(QFile::exists(dir.filePath(u"b/dst/sub/f0.txt"_s)));
        w.memo->Flush();
        QVERIFY(w.memo->LogModel()->LineCount() >= 60);

        // Deleting an entry in a run: the row goes at once, the entry later.
        Select(w, {0});
        w.tbStart->trigger();
        w.tbDelete->trigger();
        QCOMPARE(w.EntryCount(), 1);
        QTRY_COMPARE(w.RunningCount(), 0);
        QTRY_COMPARE(list.RetiredCount(), 0);
    }

    void minimizeInTrayStaysReachable()
    {
        TformMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.Hide1->trigger();
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            QTRY_VERIFY(!w.isVisible());
        } else {
            // No tray to come back from: an ordinary minimised window instead.
            QTRY_VERIFY(w.isMinimized());
            QVERIFY(w.isVisible());
        }
        w.miShow->trigger();
        QTRY_VERIFY(w.isVisible() && !w.isMinimized());

        // A maximised window goes to the tray and comes back maximised.
        w.showMaximized();
        QTRY_VERIFY(w.isMaximized());
        w.Hide1->trigger();
        if (QSystemTrayIcon::isSystemTrayAvailable())
            QTRY_VERIFY(!w.isVisible());
        else
            QTRY_VERIFY(w.isMinimized());
        w.miShow->trigger();
        QTRY_VERIFY(w.isVisible() && !w.isMinimized());
        QVERIFY(w.isMaximized());
    }

    // A run rewrites the Status and Processed files cells for every file; the
    // view gathers those changes and repaints each changed cell once, without
    // measuring the row again. Every changed cell of a turn must be repainted,
    // on the first row as on any other, and a row removed before the repaint
    // is simply left out.
    void rowTextChangesRepaintTheirCells()
    {
        TformMain w;
        for (int i = 0; i < 3; ++i)
            Add(w, u"/data%1/"_s.arg(i), u"/backup%1/"_s.arg(i));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TEntryList &list = w.EntryList();
        QRegion painted;
        TPaintRecorder recorder(&painted);
        w.lvMain->viewport()->installEventFilter(&recorder);
        QApplication::processEvents();
        painted = QRegion();
        for (int count = 1; count <= 3; ++count)
            for (int row : {0, 1, 2}) {
                list.SetText(row, ecProcessed, QString::number(count));
                list.SetText(row, ecStatus, count == 3 ? u"Checking.."_s : u"Copying.."_s);
            }
        for (int row : {0, 1, 2})
            for (int column : {int(ecStatus), int(ecProcessed)}) {
                const QRect cell = w.lvMain->visualRect(list.index(row, column));
                QVERIFY(!cell.isEmpty());
                QTRY_VERIFY2(painted.contains(cell), qPrintable(u"row %1 column %2"_s.arg(row).arg(column)));
            }
        // Nothing else of the list needed repainting.
        QVERIFY(!painted.contains(w.lvMain->visualRect(list.index(0, ecSchedule))));

        list.SetText(2, ecProcessed, u"4"_s);
        list.SetText(1, ecProcessed, u"4"_s);
        list.RemoveRow(2);
        QTRY_COMPARE(w.lvMain->model()->rowCount(), 2);
        QApplication::processEvents();
        QCOMPARE(list.Text(1, ecProcessed), u"4"_s);
    }

    void logKeepsEveryLine()
    {
        TformMain w;
        for (int i = 0; i < 20000; ++i)
            w.AddLog(u"Copying: /src/file%1 > /dst/file%1"_s.arg(i));
        TLogModel *log = w.memo->LogModel();
        QCOMPARE(log->LineCount(), 20000);
        QVERIFY(log->Line(19999).endsWith(u"Copying: /src/file19999 > /dst/file19999"_s));
        QVERIFY(log->Line(0).endsWith(u"file0 > /dst/file0"_s));
        QTRY_COMPARE(log->rowCount(), 20000);
        QVERIFY(w.memo->editTriggers() == QAbstractItemView::NoEditTriggers);
    }
};

QTEST_MAIN(tst_frm_Main)
#include "tst_frm_Main.moc"
