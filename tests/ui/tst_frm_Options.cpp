// The Options dialog through the real windows: its boxes and buttons, OK that
// saves every setting at once and acts only at the next start, Cancel, and the
// start-at-login entry it writes, removes and reads back.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "DialogScript.h"
#include "UserRegistry.h"
#include "frm_Main.h"
#include "frm_Options.h"
#include "ut_Autostart.h"
#include "ut_classes.h"
#include "ut_regUtils.h"

using namespace Qt::StringLiterals;

namespace {

const QString kOptionsKey = u"\\software\\Zarnoth\\Vantor\\Options"_s;

// Opens the dialog as the menu does; `act` runs once it is up and must close it.
void WithOptions(TformMain &w, const std::function<void(TFormOptions *)> &act)
{
    bool acted = false;
    QTimer::singleShot(0, &w, [&] {
        auto *dialog = w.findChild<TFormOptions *>(u"FormOptions"_s);
        // Whatever fails inside, the dialog must go, or the test hangs in it.
        const auto closeDialog = qScopeGuard([dialog] {
            if (dialog && dialog->isVisible())
                dialog->reject();
        });
        QVERIFY(dialog && dialog->isVisible());
        acted = true;
        act(dialog);
    });
    w.Options1->trigger();
    QVERIFY(acted);
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_frm_Options : public QObject
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
        QFile::remove(AutostartFileName());
    }

    void layoutAndNames()
    {
        TformMain w;
        TFormOptions *f = OptionsDialog(&w);
        QCOMPARE(OptionsDialog(&w), f);
        QCOMPARE(f->objectName(), u"FormOptions"_s);
        QCOMPARE(f->windowTitle(), u"Options"_s);
        QCOMPARE(f->size(), QSize(424, 226));
        QVERIFY(f->isModal());
        const QList<QCheckBox *> boxes = f->findChildren<QCheckBox *>();
        QStringList texts, names;
        for (const QCheckBox *box : boxes) {
            texts << box->text();
            names << box->objectName();
        }
        QCOMPARE(texts, QStringList({u"Start Vantor Disabled"_s, u"Start Vantor Miminized"_s,
                                     u"Start Vantor when I log in"_s}));
        QCOMPARE(names, QStringList({u"cbOptStartDisabled"_s, u"cbOptStartMinimized"_s, u"cbOptStartAtLogin"_s}));
        QVERIFY(f->btnOK->isDefault());
        QCOMPARE(f->btnOK->text(), u"OK"_s);
        QCOMPARE(f->btnCancel->text(), u"Cancel"_s);
    }

    // OK: the options, the placement and the open job list are all in the
    // store at once; the schedules of this run are not touched.
    void okSavesEverythingAndActsNextStart()
    {
        TDialogScript script;
        const QString jobs = FDir.filePath(u"ok.vnt"_s);
        TformMain w;
        w.setGeometry(30, 40, 500, 300);
        w.show();
        w.AddEntryRow(u"/a"_s, u"/b"_s, u"*.*"_s, true, skNone, 0, 0, QString(), QString(), ctCopy);
        w.SaveJobList(jobs);
        QVERIFY(!TUserRegistry().KeyExists(u"\\software"_s));
        QVERIFY(w.cbSuspend->isChecked());

        WithOptions(w, [](TFormOptions *f) {
            QVERIFY(f->cbOptStartDisabled->isChecked());
            QVERIFY(f->cbOptStartMinimized->isChecked());
            f->cbOptStartDisabled->setChecked(false);
            f->btnOK->click();
            QVERIFY(!f->isVisible());
        });
        QCOMPARE(w.FStartDisabled, false);
        QCOMPARE(ReadRegValue(kOptionsKey, u"Start Disabled"_s, true), false);
        QCOMPARE(ReadRegValue(kOptionsKey, u"Start Minimized"_s, false), true);
        QCOMPARE(ReadRegValue(u"\\software\\Zarnoth\\Vantor"_s, u"LastConfig"_s, QString()), jobs);
        QCOMPARE(ReadRegValue(u"\\software\\Zarnoth\\Vantor\\View"_s, u"Language"_s, u"x"_s), QString());
        const QString pos = u"\\software\\Zarnoth\\Vantor\\Pos\\formMain"_s;
        QCOMPARE(ReadRegValue(pos, u"ShowCmd"_s, 0), 1);
        QCOMPARE(ReadRegValue(pos, u"NormPosLeft"_s, 0), 30);
        QCOMPARE(ReadRegValue(pos, u"NormPosBottom"_s, 0), 340);
        // Acts at the next start only.
        QVERIFY(w.cbSuspend->isChecked());
        QVERIFY(w.SchedulesDisabled());
        QVERIFY(script.messages.isEmpty());
    }

    void cancelChangesNothing()
    {
        TformMain w;
        WithOptions(w, [](TFormOptions *f) {
            f->cbOptStartDisabled->setChecked(false);
            f->cbOptStartMinimized->setChecked(false);
            f->cbOptStartAtLogin->setChecked(true);
            f->btnCancel->click();
        });
        QVERIFY(w.FStartDisabled);
        QVERIFY(w.FStartMinimized);
        QVERIFY(!QFile::exists(TUserRegistry::DefaultFileName()));
        QVERIFY(!QFile::exists(AutostartFileName()));
        // Shown again, the boxes show the options, not what was cancelled.
        WithOptions(w, [](TFormOptions *f) {
            QVERIFY(f->cbOptStartDisabled->isChecked());
            QVERIFY(!f->cbOptStartAtLogin->isChecked());
        });
    }

    // The login entry: written by ticking, read back when the dialog opens,
    // removed by unticking; an entry switched off counts as none.
    void startAtLoginEntry()
    {
        TformMain w;
        const QString entry = AutostartFileName();
        QCOMPARE(entry, qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/com.zarnoth.Vantor.desktop"_s);

        WithOptions(w, [](TFormOptions *f) {
            QVERIFY(!f->cbOptStartAtLogin->isChecked());
            f->cbOptStartAtLogin->setChecked(true);
            f->btnOK->click();
        });
        const QByteArray text = ReadAll(entry);
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nType=Application\n"));
        QVERIFY(text.contains("\nExec=" + AutostartCommand().toUtf8() + "\n"));

        WithOptions(w, [](TFormOptions *f) {
            QVERIFY(f->cbOptStartAtLogin->isChecked());
            f->cbOptStartAtLogin->setChecked(false);
            f->btnOK->click();
        });
        QVERIFY(!QFile::exists(entry));

        // Switched off by the desktop's own settings tool.
        QVERIFY(SetAutostart(true));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::Append));
        file.write("Hidden=true\n");
        file.close();
        WithOptions(w, [](TFormOptions *f) { QVERIFY(!f->cbOptStartAtLogin->isChecked()); });
    }

    // Which command the entry starts: the installed "vantor" when the PATH has
    // one, else this program by its absolute path.
    void startAtLoginCommand()
    {
        const QByteArray oldPath = qgetenv("PATH");
        const QString bin = FDir.filePath(u"bin"_s);
        QVERIFY(QDir().mkpath(bin));
        qputenv("PATH", QFile::encodeName(bin));
        const QString withoutInstall = AutostartCommand();
        QFile command(bin + u"/vantor"_s);
        QVERIFY(command.open(QIODevice::WriteOnly));
        command.write("#!/bin/sh\n");
        command.close();
        command.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString withInstall = AutostartCommand();
        qputenv("PATH", oldPath);

        QCOMPARE(withoutInstall, DesktopExecArgument(QCoreApplication::applicationFilePath()));
        QVERIFY(withoutInstall.contains(u"tst_frm_Options"_s));
        QCOMPARE(withInstall, u"vantor"_s);
    }

    void execArgumentQuoting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << u"/usr/lib/vantor/Vantor"_s << u"/usr/lib/vantor/Vantor"_s;
        QTest::newRow("space") << u"/home/a b/Vantor"_s << u"\"/home/a b/Vantor\""_s;
        QTest::newRow("dollar and quote") << u"/x/$y\"z"_s << u"\"/x/\\\\$y\\\\\"z\""_s;
        QTest::newRow("percent") << u"/x/100%"_s << u"/x/100%%"_s;
    }

    void execArgumentQuoting()
    {
        QFETCH(QString, path);
        QFETCH(QString, exec);
        QCOMPARE(DesktopExecArgument(path), exec);
    }

    // The entry cannot be written: said so, the dialog stays open, nothing saved.
    void startAtLoginFailureShown()
    {
        const QString folder = QFileInfo(AutostartFileName()).path();
        QDir(folder).removeRecursively();
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        TDialogScript script;
        TformMain w;
        WithOptions(w, [](TFormOptions *f) {
            f->cbOptStartDisabled->setChecked(false);
            f->cbOptStartAtLogin->setChecked(true);
            f->btnOK->click();
            QVERIFY(f->isVisible());
        });
        QFile::remove(folder);
        QCOMPARE(script.Texts(), QStringList({u"Unable to write to "_s + AutostartFileName()}));
        QCOMPARE(script.messages.constFirst().icon, QMessageBox::Critical);
        QVERIFY(w.FStartDisabled);
        QVERIFY(!QFile::exists(TUserRegistry::DefaultFileName()));
    }
};

QTEST_MAIN(tst_frm_Options)
#include "tst_frm_Options.moc"
