// Job list files through the real window: the exact file written, reading
// defaults, date-times under several locales, and the File commands' rules.
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

#include "DialogScript.h"
#include "JobListSample.h"
#include "ProfileFile.h"
#include "frm_Main.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

class tst_frm_Main_JobList : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;

    QString PathOf(const QString &name) const { return FDir.filePath(name); }
    static void Write(const QString &path, const QByteArray &data)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(data);
    }
    static QByteArray Read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void savesExactFormat()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TformMain w;
        w.edDef->setText(u"/backup"_s);
        // Weekly, Wednesday 18:00; last run 1 March 2024 10:30:15.
        const TDateTime last = OleFromDateTime(QDateTime(QDate(2024, 3, 1), QTime(10, 30, 15)));
        w.AddEntryRow(u"/data/docs"_s, u"/backup/docs"_s, u"*.txt"_s, true, skWeekly, 2.75, last, u"/bin/true"_s,
                      QString(), ctReplicate);
        w.AddEntryRow(u"/data/pics/"_s, u"/backup/pics/"_s, u"*.*"_s, false, skUnset, 0, 0, QString(),
                      u"https://example.org/"_s, ctCopy);
        // Week of the last run, one week on because that Wednesday has passed.
        const QString next = u"06.03.2024 18:00:00"_s;
        QCOMPARE(w.EntryList().Text(0, ecNextCopy), next);
        w.SaveJobList(PathOf(u"format.vnt"_s));
        QVERIFY(!w.FModified);
        QCOMPARE(w.sbPanel[2]->text(), PathOf(u"format.vnt"_s));

        const QByteArray expected = "[Main]\r\n"
                                    "Default Destination=/backup\r\n"
                                    "[0]\r\n"
                                    "Caption=/data/docs/\r\n"
                                    "Active=1\r\n"
                                    "Src=/data/docs/\r\n"
                                    "Dest=/backup/docs/\r\n"
                                    "FileExt=*.txt\r\n"
                                    "Schedule=4\r\n"
                                    "Schedule Time=01.01.1900 18:00:00\r\n"
                                    "Last=01.03.2024 10:30:15\r\n"
                                    "Next="
                                    + next.toUtf8()
                                    + "\r\n"
                                      "ActionBefore=/bin/true\r\n"
                                      "ActionAfter=\r\n"
                                      "CopyType=1\r\n"
                                      "[1]\r\n"
                                      "Caption=/data/pics/\r\n"
                                      "Active=0\r\n"
                                      "Src=/data/pics/\r\n"
                                      "Dest=/backup/pics/\r\n"
                                      "FileExt=*.*\r\n"
                                      "Schedule=-1\r\n"
                                      "Schedule Time=30.12.1899\r\n"
                                      "Last=30.12.1899\r\n"
                                      "Next=30.12.1899\r\n"
                                      "ActionBefore=\r\n"
                                      "ActionAfter=https://example.org/\r\n"
                                      "CopyType=2\r\n";
        QCOMPARE(Read(PathOf(u"format.vnt"_s)), expected);
    }

    void dateTimesRoundTrip_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<double>("value");
        const QList<QPair<const char *, QLocale>> locales{
            {"C", QLocale::c()},
            {"en_US", QLocale(QLocale::English, QLocale::UnitedStates)},
            {"de_DE", QLocale(QLocale::German, QLocale::Germany)},
            {"fr_FR", QLocale(QLocale::French, QLocale::France)},
            {"ja_JP", QLocale(QLocale::Japanese, QLocale::Japan)},
            {"cs_CZ", QLocale(QLocale::Czech, QLocale::CzechRepublic)},
        };
        // 0, a weekly value, a date alone, a date and time, a time alone, and the
        // night the clocks go forward in Berlin (02:30 does not exist there).
        const QDateTime march(QDate(2024, 3, 31), QTime(0, 0));
        const double spring = static_cast<double>(QDate(1899, 12, 30).daysTo(march.date())) + 2.5 / 24;
        const QList<QPair<const char *, double>> values{
            {"zero", 0}, {"weekly", 2.75}, {"date", 45000}, {"date-time", 45000 + (13 * 3600 + 7 * 60 + 9) / 86400.0},
            {"time", 0.5}, {"dst gap", spring}};
        for (const auto &[localeName, locale] : locales)
            for (const auto &[valueName, value] : values)
                QTest::addRow("%s %s", localeName, valueName) << locale << value;
    }

    void dateTimesRoundTrip()
    {
        QFETCH(QLocale, locale);
        QFETCH(double, value);
        QLocale::setDefault(locale);
        const QString path = PathOf(u"dates.vnt"_s);
        {
            TformMain w;
            w.AddEntryRow(u"/s"_s, u"/d"_s, u"*.*"_s, true, skFixed, value, value, QString(), QString(), ctCopy);
            w.SaveJobList(path);
        }
        TformMain w;
        w.LoadJobList(path);
        QCOMPARE(w.EntryCount(), 1);
        QCOMPARE(w.EntryAt(0)->FScheduleTime, value);
        QCOMPARE(w.EntryAt(0)->FLastRun, value);
    }

    // A moment less than half a millisecond before midnight is written as that
    // midnight: the next calendar day, on either side of day 0 (whose date part
    // counts towards zero, so -1.9999... is 29 Dec 1899 late in the evening).
    void nearMidnightRoundsToTheNextDay_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("readBack");
        const double almost = 0.9999999999;
        QTest::newRow("after day 0") << 45000 + almost << 45001.0;
        QTest::newRow("on day 0") << -almost << 1.0;
        QTest::newRow("before day 0") << -1 - almost << 0.0;
        QTest::newRow("two days before") << -2 - almost << -1.0;
    }

    void nearMidnightRoundsToTheNextDay()
    {
        QFETCH(double, value);
        QFETCH(double, readBack);
        const QString path = PathOf(u"midnight.vnt"_s);
        {
            TformMain w;
            w.AddEntryRow(u"/s"_s, u"/d"_s, u"*.*"_s, true, skFixed, value, 0, QString(), QString(), ctCopy);
            w.SaveJobList(path);
        }
        TformMain w;
        w.LoadJobList(path);
        QCOMPARE(w.EntryCount(), 1);
        QCOMPARE(w.EntryAt(0)->FScheduleTime, readBack);
    }

    // The time is left out only at exactly midnight: under a second past it is
    // written as 00:00:00 and read back as that second.
    void timeWrittenUnlessExactlyMidnight_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<double>("readBack");
        const double second = 1.0 / 86400;
        QTest::newRow("midnight") << 45000.0 << QByteArray("15.03.2023") << 45000.0;
        QTest::newRow("0.4 s past") << 45000 + 0.4 * second << QByteArray("15.03.2023 00:00:00") << 45000.0;
        QTest::newRow("0.999 s past") << 45000 + 0.999 * second << QByteArray("15.03.2023 00:00:00") << 45000.0;
        QTest::newRow("1 s past") << 45000 + second << QByteArray("15.03.2023 00:00:01") << 45000 + second;
        QTest::newRow("time alone, 0.5 s") << 0.5 * second << QByteArray("30.12.1899 00:00:00") << 0.0;
    }

    void timeWrittenUnlessExactlyMidnight()
    {
        QFETCH(double, value);
        QFETCH(QByteArray, written);
        QFETCH(double, readBack);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString path = PathOf(u"midnight-time.vnt"_s);
        {
            TformMain w;
            w.AddEntryRow(u"/s"_s, u"/d"_s, u"*.*"_s, true, skFixed, value, 0, QString(), QString(), ctCopy);
            w.SaveJobList(path);
        }
        QVERIFY(Read(path).contains("Schedule Time=" + written + "\r\n"));
        TformMain w;
        w.LoadJobList(path);
        QCOMPARE(w.EntryAt(0)->FScheduleTime, readBack);
    }

    // A list far beyond what a 16 KB section list held comes back whole, every
    // field equal; a second save of it writes the same file.
    void largeListRoundTrip()
    {
        // Next runs of entries that never ran count from now: the clock stands still.
        SetCurrentDateTimeSource([] { return QDateTime(QDate(2024, 5, 1), QTime(12, 0)); });
        const auto restoreClock = qScopeGuard([] { SetCurrentDateTimeSource({}); });
        const QString path = PathOf(u"large.vnt"_s);
        TformMain w;
        FillSampleJobList(w, 5000);
        w.SaveJobList(path);
        TformMain opened;
        opened.LoadJobList(path);
        QCOMPARE(CompareJobLists(w, opened), QString());
        QCOMPARE(opened.EntryList().Text(4999, ecSource), w.EntryList().Text(4999, ecSource));
        const QString again = PathOf(u"large-again.vnt"_s);
        opened.SaveJobList(again);
        QCOMPARE(Read(again), Read(path));
    }

    void readsDefaultsAndIgnoresNext()
    {
        const QString path = PathOf(u"defaults.vnt"_s);
        Write(path, "[Main]\r\n"
                    "default destination=  /root  \r\n"
                    "[A]\r\n"
                    "Src=/data\r\n"
                    "Dest=/backup/data\r\n"
                    "FileExt=\r\n"
                    "Schedule=-1\r\n"
                    "[B]\n"
                    "src=/daily/\n"
                    "Active=0x0\n"
                    "Schedule=0X2\n"
                    "Last=3/1/2024 10:05:00 AM\n"
                    "Next=1/1/2030\n"
                    "CopyType=junk\n");
        TformMain w;
        w.LoadJobList(path);
        QVERIFY(!w.FModified);
        QCOMPARE(w.FJobListFile, path);
        QCOMPARE(w.edDef->text(), u"/root"_s);
        QCOMPARE(w.EntryCount(), 2);
        TEntryList &list = w.EntryList();
        TDataObject *a = w.EntryAt(0);
        QCOMPARE(a->FSource, u"/data/"_s);
        QCOMPARE(a->FFileMask, u"*.*"_s);      // empty mask
        QVERIFY(list.IsChecked(0));           // no "Active"
        QCOMPARE(a->FSchedule, -1);
        QCOMPARE(a->FNextRun, 0.0);
        QCOMPARE(list.Text(0, ecSchedule), QString());
        TDataObject *b = w.EntryAt(1);
        QVERIFY(!list.IsChecked(1));
        QCOMPARE(b->FSchedule, int(skDaily));
        QCOMPARE(b->FCopyType, quint8(ctNothing));
        const TDateTime last = OleFromDateTime(QDateTime(QDate(2024, 3, 1), QTime(10, 5)));
        QCOMPARE(b->FLastRun, last);
        QCOMPARE(b->FNextRun, last + 1); // "Next" is computed again, not read

        // Saved again: the sections are renumbered and -1 survives.
        w.SaveJobList(path);
        const TProfileFile saved(path);
        QCOMPARE(saved.ReadSections(), QStringList({u"Main"_s, u"0"_s, u"1"_s}));
        QCOMPARE(saved.ReadString(u"0"_s, u"Schedule"_s, QString()), u"-1"_s);
        QCOMPARE(saved.ReadString(u"0"_s, u"Caption"_s, QString()), u"/data/"_s);
        QCOMPARE(saved.ReadString(u"1"_s, u"Src"_s, QString()), u"/daily/"_s);
    }

    void saveOverLeavesOnlyCurrentEntries()
    {
        const QString path = PathOf(u"five.vnt"_s);
        TformMain w;
        for (int i = 0; i < 5; ++i)
            w.AddEntryRow(u"/s%1"_s.arg(i), u"/d"_s, u"*.*"_s, true, skNone, 0, 0, QString(), QString(), ctCopy);
        w.SaveJobList(path);
        QCOMPARE(TProfileFile(path).ReadSections().size(), 6);
        for (int i = 0; i < 3; ++i)
            w.DeleteEntry(w.EntryAt(1));
        w.miSave->trigger();
        const TProfileFile saved(path);
        QCOMPARE(saved.ReadSections(), QStringList({u"Main"_s, u"0"_s, u"1"_s}));
        QCOMPARE(saved.ReadString(u"1"_s, u"Src"_s, QString()), u"/s4/"_s);
    }

    void fileCommandsAskAndRefuse()
    {
        TDialogScript script;
        TformMain w;
        w.AddEntryRow(u"/s"_s, u"/d"_s, u"*.*"_s, true, skNone, 0, 0, QString(), QString(), ctCopy);

        // Save without a file is Save As..; cancelling it changes nothing.
        script.paths << QString();
        w.tbSave->trigger();
        QCOMPARE(script.fileDialogs, QStringList({u"save:VNT"_s}));
        QVERIFY(w.FModified);
        QVERIFY(w.FJobListFile.isEmpty());

        // Open with unsaved changes: Cancel keeps the list.
        script.answers << QMessageBox::Cancel;
        w.tbOpen->trigger();
        QCOMPARE(script.Texts(), QStringList({u"Save Changes?"_s}));
        QCOMPARE(w.EntryCount(), 1);

        // Open while a run is active is refused before anything else.
        w.IncRunningCount();
        w.miOpen->trigger();
        w.miNew->trigger();
        QCOMPARE(script.Texts().mid(1),
                 QStringList({u"Active copy. Can not close."_s, u"Active copy. Can not close."_s}));
        QCOMPARE(script.fileDialogs.size(), 1);
        QCOMPARE(w.EntryCount(), 1);
        w.DecRunningCount();

        // Open of a file that is not there: cleared list bound to that path.
        script.answers << QMessageBox::No;
        script.paths << PathOf(u"missing.vnt"_s);
        w.miOpen->trigger();
        QCOMPARE(w.EntryCount(), 0);
        QCOMPARE(w.FJobListFile, PathOf(u"missing.vnt"_s));
        QVERIFY(!w.FModified);

        // New clears without asking and leaves the list marked changed.
        w.edDef->setText(u"/root"_s);
        w.miNew->trigger();
        QVERIFY(w.FModified);
        QVERIFY(w.FJobListFile.isEmpty());
        QVERIFY(w.edDef->text().isEmpty());
        QCOMPARE(w.sbPanel[2]->text(), QString());
        QCOMPARE(script.unexpected, 0);
    }

    void failedSaveKeepsOldFile()
    {
        const QString path = PathOf(u"kept.vnt"_s);
        Write(path, "[Main]\r\nDefault Destination=/old\r\n");
        TDialogScript script;
        TformMain w;
        w.LoadJobList(path);
        for (int i = 0; i < 40; ++i)
            w.AddEntryRow(u"/source/%1"_s.arg(i), u"/dest"_s, u"*.*"_s, true, skNone, 0, 0, QString(), QString(),
                          ctCopy);
        const QString target = PathOf(u"new.vnt"_s);
        Write(target, "[Main]\r\nDefault Destination=/older\r\n");
        const QByteArray before = Read(target);

        // A file size limit makes the write fail part-way, like a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 512;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        script.paths << target;
        w.miSaveAs->trigger();
        setrlimit(RLIMIT_FSIZE, &old);

        QCOMPARE(script.Texts(), QStringList({u"Unable to write to "_s + target}));
        QCOMPARE(script.messages.constFirst().icon, QMessageBox::Critical);
        QCOMPARE(Read(target), before);
        QCOMPARE(w.FJobListFile, target);
        QVERIFY(w.FModified);
    }
};

QTEST_MAIN(tst_frm_Main_JobList)
#include "tst_frm_Main_JobList.moc"
