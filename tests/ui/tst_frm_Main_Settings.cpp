// How the main window comes back at start and what it keeps at close, through
// the real window and the user's store: a first start, the last job list
// reopened or forgotten, the start options, the placement; and the Help menu:
// F1 and Index in the help viewer, the about box, the update program.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>

#include "DialogScript.h"
#include "ShellOpen.h"
#include "UserRegistry.h"
#include "frm_About.h"
#include "frm_EditFile.h"
#include "frm_Main.h"
#include "ut_HelpViewer.h"
#include "ut_classes.h"
#include "ut_regUtils.h"

using namespace Qt::StringLiterals;

namespace {

const QString kVantorKey = u"\\software\\Zarnoth\\Vantor"_s;
const QString kOptionsKey = u"\\software\\Zarnoth\\Vantor\\Options"_s;

QString AppHelpFile()
{
    return qEnvironmentVariable("VANTOR_APP_DIR") + u"/help/Vantor.html"_s;
}

// The help viewer of `w` once it is shown.
THelpViewer *ShownViewer(TformMain &w)
{
    auto *viewer = w.findChild<THelpViewer *>(u"helpViewer"_s);
    return viewer && viewer->isVisible() ? viewer : nullptr;
}

} // namespace

class tst_frm_Main_Settings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;

    // A job list with one ticked entry from a folder with a file; `schedule`
    // and `lastRun` as given.
    QString MakeJobList(const QString &name, int schedule, double scheduleTime, double lastRun)
    {
        const QString root = FDir.filePath(name);
        QDir().mkpath(root + u"/src"_s);
        QFile file(root + u"/src/a.txt"_s);
        file.open(QIODevice::WriteOnly);
        file.write("a");
        file.close();
        TformMain w;
        w.AddEntryRow(root + u"/src"_s, root + u"/dst"_s, u"*.*"_s, true, schedule, scheduleTime, lastRun, QString(),
                      QString(), ctCopy);
        const QString path = root + u"/jobs.vnt"_s;
        w.SaveJobList(path);
        return path;
    }

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

    void firstStart()
    {
        TDialogScript script;
        TformMain w;
        QVERIFY(!w.StartsMinimized()); // a first start always shows the window
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.size(), QSize(842, 435));
        const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY((w.frameGeometry().center() - centre).manhattanLength() <= 4);
        QVERIFY(w.cbSuspend->isChecked());
        QVERIFY(w.SchedulesDisabled());
        QCOMPARE(w.TrayList(), tiDisabled);
        QCOMPARE(w.TrayHint(), u"Vantor Disabled"_s);
        QCOMPARE(w.EntryCount(), 0);
        QCOMPARE(w.sbPanel[2]->text(), QString());
        QCOMPARE(w.FLanguageFile, QString());
        QVERIFY(w.FStartMinimized);
        QCOMPARE(QApplication::focusWidget(), w.lvMain);
        QVERIFY(script.messages.isEmpty());
    }

    // The last job list is back, and closing at once asks nothing.
    void lastJobListReopened()
    {
        const QString jobs = MakeJobList(u"reopen"_s, skNone, 0, 0);
        WriteRegValue(kVantorKey, u"LastConfig"_s, jobs);
        TDialogScript script;
        TformMain w;
        QSignalSpy ended(&w, &TformMain::Terminated);
        w.show();
        QCOMPARE(w.EntryCount(), 1);
        QCOMPARE(w.sbPanel[2]->text(), jobs);
        QVERIFY(!w.FModified);
        QVERIFY(w.close());
        QCOMPARE(ended.size(), 1);
        QVERIFY(script.messages.isEmpty());
        QCOMPARE(ReadRegValue(kVantorKey, u"LastConfig"_s, QString()), jobs);
    }

    // A list whose file is gone is forgotten without a word, and stored empty.
    void lastJobListGone()
    {
        WriteRegValue(kVantorKey, u"LastConfig"_s, FDir.filePath(u"gone.vnt"_s));
        TDialogScript script;
        TformMain w;
        w.show();
        QCOMPARE(w.FJobListFile, QString());
        QCOMPARE(w.EntryCount(), 0);
        QVERIFY(w.close());
        QVERIFY(script.messages.isEmpty());
        QCOMPARE(ReadRegValue(kVantorKey, u"LastConfig"_s, u"x"_s), QString());
    }

    // The list is read at the first showing only: a window brought back from
    // the tray keeps the list as the user left it.
    void shownAgainKeepsTheList()
    {
        const QString jobs = MakeJobList(u"again"_s, skNone, 0, 0);
        WriteRegValue(kVantorKey, u"LastConfig"_s, jobs);
        TDialogScript script;
        TformMain w;
        w.show();
        w.AddEntryRow(u"/x"_s, u"/y"_s, u"*.*"_s, false, skNone, 0, 0, QString(), QString(), ctCopy);
        w.Hide1Click();
        w.miShowClick();
        QCOMPARE(w.EntryCount(), 2);
        QVERIFY(w.FModified);
        QVERIFY(script.messages.isEmpty());
    }

    // With "Start Disabled" off an overdue entry runs at start, untouched.
    void startEnabledRunsOverdueEntry()
    {
        // Hourly, last run two hours ago: due since an hour.
        const QString jobs = MakeJobList(u"overdue"_s, skHourly, 1, CurrentOle() - 2.0 / 24);
        WriteRegValue(kVantorKey, u"LastConfig"_s, jobs);
        WriteRegValue(kOptionsKey, u"Start Disabled"_s, false);
        TformMain w;
        QVERIFY(!w.cbSuspend->isChecked());
        QVERIFY(!w.SchedulesDisabled());
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(FDir.filePath(u"overdue/dst/a.txt"_s)), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w.RunningCount(), 0, 20000);
        TDialogScript script;
        script.answers << QMessageBox::No;
        w.close();
    }

    void closedMaximisedOpensMaximised()
    {
        {
            TformMain w;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.setWindowState(Qt::WindowMaximized);
            QVERIFY(w.close());
        }
        QCOMPARE(ReadRegValue(u"\\software\\Zarnoth\\Vantor\\Pos\\formMain"_s, u"ShowCmd"_s, 0), 3);
        TformMain w;
        w.show();
        QVERIFY(w.isMaximized());
        QCOMPARE(w.normalGeometry().size(), QSize(842, 435));
    }

    // Exit saves nothing.
    void exitSavesNothing()
    {
        TformMain w;
        w.show();
        w.miExit->trigger();
        QVERIFY(!QFile::exists(TUserRegistry::DefaultFileName()));
    }

    void startMinimisedOnlyOnceSettingsExist()
    {
        WriteRegValue(kOptionsKey, u"Start Minimized"_s, true);
        TformMain minimised;
        QVERIFY(minimised.StartsMinimized());
        WriteRegValue(kOptionsKey, u"Start Minimized"_s, false);
        TformMain shown;
        QVERIFY(!shown.StartsMinimized());
    }

    // F1 opens the topic of the focused control, or of its nearest parent that
    // has one; Index and the toolbar's Help open the start of the file.
    void helpTopics()
    {
        QVERIFY2(QFile::exists(AppHelpFile()), qPrintable(AppHelpFile()));
        TformMain w;
        QCOMPARE(w.HelpFile(), TformMain::InitialHelpFile());
        QCOMPARE(TformMain::InitialHelpFile(), QCoreApplication::applicationDirPath() + u"/help/Vantor.html"_s);
        w.SetHelpFile(AppHelpFile());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        w.edDef->setFocus();
        QTest::keyClick(w.edDef, Qt::Key_F1);
        THelpViewer *viewer = ShownViewer(w);
        QVERIFY(viewer);
        QCOMPARE(viewer->FileName(), AppHelpFile());
        QCOMPARE(viewer->CurrentAnchor(), u"context-2"_s);
        QTRY_VERIFY(viewer->hvBrowser->verticalScrollBar()->value() > 0);
        QVERIFY(viewer->lbTopics->count() >= 10);
        QVERIFY(w.edDef->text().isEmpty()); // the key went to help, not into the box

        viewer->hide();
        w.lvMain->setFocus();
        QTest::keyClick(w.lvMain, Qt::Key_F1);
        QVERIFY(ShownViewer(w));
        QCOMPARE(viewer->CurrentAnchor(), u"context-1"_s);

        // Back returns to the topic before.
        viewer->acBack->trigger();
        QCOMPARE(viewer->CurrentAnchor(), u"context-2"_s);

        viewer->hide();
        w.miIndex->trigger();
        QVERIFY(ShownViewer(w));
        QCOMPARE(viewer->CurrentAnchor(), QString());
        viewer->hide();
        w.tbHelp->trigger();
        QVERIFY(ShownViewer(w));
        QCOMPARE(viewer->hvBrowser->verticalScrollBar()->value(), 0);
    }

    // In the modal entry editor F1 still opens the help, as a window the user
    // can reach next to the editor.
    void helpFromTheEditor()
    {
        TformMain w;
        w.SetHelpFile(AppHelpFile());
        w.show();
        TformEditFile *editor = EntryEditor(&w);
        QString anchor;
        QWidget *viewerParent = nullptr;
        QTimer::singleShot(0, &w, [&] {
            const auto closeEditor = qScopeGuard([editor] { editor->reject(); });
            QVERIFY(editor->isVisible());
            editor->edSrc->setFocus();
            QTest::keyClick(editor->edSrc, Qt::Key_F1);
            if (THelpViewer *viewer = ShownViewer(w)) {
                anchor = viewer->CurrentAnchor();
                viewerParent = viewer->parentWidget();
                viewer->hide();
            }
        });
        TDialogScript script;
        w.tbAdd->trigger();
        QCOMPARE(anchor, u"context-1"_s);
        QCOMPARE(viewerParent, editor);
    }

    void missingHelpFileShownInTheViewerOnly()
    {
        TDialogScript script;
        TformMain w;
        w.SetHelpFile(FDir.filePath(u"none/Vantor.html"_s));
        w.miIndex->trigger();
        THelpViewer *viewer = ShownViewer(w);
        QVERIFY(viewer);
        QVERIFY(viewer->hvBrowser->toPlainText().contains(u"cannot be read"_s));
        QVERIFY(script.messages.isEmpty());
    }

    // The window gives F1 back to whoever had it when it goes.
    void helpHandlerPutBack()
    {
        int asked = -1;
        const THelpRequestHandler before = SetHelpRequestHandler([&asked](int context) {
            asked = context;
            return true;
        });
        {
            TformMain w;
            w.SetHelpFile(AppHelpFile());
        }
        QWidget other;
        other.setProperty("helpContext", 7);
        other.show();
        other.setFocus();
        QTest::keyClick(&other, Qt::Key_F1);
        QCOMPARE(asked, 7);
        SetHelpRequestHandler(before);
    }

    void aboutBox()
    {
        QStringList opened;
        const ShellOpenHandler previous =
            SetShellOpenHandler([&opened](const QString &target, const QString &) { opened << target; });
        TformMain w;
        w.SetHelpFile(AppHelpFile());
        w.show();
        bool checked = false;
        QRect aboutFrame;
        QTimer::singleShot(0, &w, [&] {
            auto *about = w.findChild<TformAbout *>(u"formAbout"_s);
            // Whatever fails below, the box must go, or the test hangs in it.
            const auto closeBox = qScopeGuard([about] {
                if (about && about->isVisible())
                    about->reject();
            });
            QVERIFY(about && about->isVisible() && about->isModal());
            aboutFrame = about->frameGeometry();
            QCOMPARE(about->windowTitle(), u"Credits:"_s);
            QCOMPARE(about->lblName->text(), u"Vantor 1.00 (Build: 13)"_s);
            QCOMPARE(about->lblProgramming->text(), u"programming:"_s);
            QCOMPARE(about->minimumSize(), about->maximumSize());

            // Hot while the mouse is over a link, and back to normal after.
            TLinkLabel *link = about->lblHelpLink;
            const QPalette::ColorRole role = QPalette::WindowText;
            const QColor normal = link->palette().color(role);
            QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
            QApplication::sendEvent(link, &enter);
            QVERIFY(link->font().bold() && link->font().underline());
            QVERIFY(link->palette().color(role) != normal);
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(link, &leave);
            QVERIFY(!link->font().bold() && !link->font().underline());
            QCOMPARE(link->palette().color(role), normal);

            QTest::mouseClick(link, Qt::LeftButton);
            QTest::mouseClick(about->lblReadmeLink, Qt::LeftButton);
            QTest::keyClick(about->lblCredit, Qt::Key_Escape);
            checked = !about->isVisible();
        });
        w.miAbout->trigger();
        SetShellOpenHandler(previous);
        QVERIFY(checked);
        const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY2((aboutFrame.center() - centre).manhattanLength() <= 4,
                 qPrintable(u"%1,%2"_s.arg(aboutFrame.center().x()).arg(aboutFrame.center().y())));
        QCOMPARE(opened, QStringList({AppHelpFile(), QCoreApplication::applicationDirPath() + u"/help/README.md"_s}));
        // What the links open is there in the program folder.
        QVERIFY(QFile::exists(qEnvironmentVariable("VANTOR_APP_DIR") + u"/help/README.md"_s));
    }

    void updateStartsTheUpdateProgram()
    {
        QStringList opened;
        const ShellOpenHandler previous = SetShellOpenHandler(
            [&opened](const QString &target, const QString &parameters) { opened << target << parameters; });
        TformMain w;
        w.Update1->trigger();
        SetShellOpenHandler(previous);
        QCOMPARE(opened, QStringList({QCoreApplication::applicationDirPath() + u"/Update/Updater"_s, QString()}));
    }
};

QTEST_MAIN(tst_frm_Main_Settings)
#include "tst_frm_Main_Settings.moc"
