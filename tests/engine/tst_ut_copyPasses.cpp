// Tests of the passes of a run over real temporary folders.
#include <QTest>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>
#include "TestFolders.h"
#include "VantorHost.h"
#include "ut_classes.h"
#include "ut_General.h"
#include <cerrno>

namespace {
class FakeHost : public TVantorHost {
public:
    void AddLog(const QString &text) override { log << text; }
    bool Modified() const override { return modified; }
    void SetModified(bool m) override { modified = m; }
    bool SchedulesDisabled() const override { return false; }
    void SetStatusPanel(int, const QString &) override {}
    void SetTrayImageList(TTrayImageList) override {}
    TEntryList &EntryList() override { return list; }
    QStringList log;
    bool modified = false;
    TEntryList list;
};

// Records the status texts and lets a test act at a progress hand-over.
class RecordingPasses : public TCopyPasses {
public:
    using TCopyPasses::TCopyPasses;
    QStringList statuses;
    std::function<void(RecordingPasses &)> onProgress;
protected:
    void SetStatus(const QString &text) override
    {
        statuses << text;
        TCopyPasses::SetStatus(text);
    }
    void ShowProgress() override
    {
        TCopyPasses::ShowProgress();
        if (onProgress)
            onProgress(*this);
    }
};

const QStringList kAllStatuses{u"Copying.."_qs, u"Checking.."_qs, u"Deleting.."_qs};
} // namespace

class tst_ut_copyPasses : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { DropFileAccessOverride(); }
    void copyTypes_data();
    void copyTypes();
    void changeRule();
    void failuresAreLoggedBeforeTheirLine();
    void namedPipeDoesNotHoldTheRun();
    void refusedRuns_data();
    void refusedRuns();
    void replicateKeepsWhatItCannotSee();
    void nestedTreesAndLinkLoops();
    void stopDuringCheckStillDeletesListed();

private:
    TDataObject *MakeEntry(FakeHost &host, const QString &src, const QString &dst,
                           const QString &mask, quint8 type)
    {
        TDataObject *e = host.list.AddRow();
        e->FSource = src;
        e->FDest = dst;
        e->FFileMask = mask;
        e->FCopyType = type;
        return e;
    }
};

void tst_ut_copyPasses::copyTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("destTree");
    QTest::addColumn<QString>("processed");
    QTest::addColumn<int>("copyLines");
    QTest::addColumn<QStringList>("deleted");
    const QStringList copied{u".hidden.txt"_qs, u"a.txt"_qs, u"keep.dat"_qs, u"ro.txt"_qs,
                             u"sub/b.txt"_qs};
    QTest::newRow("replicate") << int(ctReplicate) << copied << u"6"_qs << 4
                               << QStringList{u"gone.txt"_qs, u"oldsub/gone2.txt"_qs};
    QTest::newRow("copy only") << int(ctCopy)
                               << (copied + QStringList{u"gone.txt"_qs, u"oldsub/gone2.txt"_qs})
                               << u"4"_qs << 4 << QStringList();
    QTest::newRow("nothing") << int(ctNothing)
                             << QStringList{u"gone.txt"_qs, u"keep.dat"_qs, u"oldsub/gone2.txt"_qs}
                             << QString() << 0 << QStringList();
}

void tst_ut_copyPasses::copyTypes()
{
    QFETCH(int, type);
    QFETCH(QStringList, destTree);
    QFETCH(QString, processed);
    QFETCH(int, copyLines);
    QFETCH(QStringList, deleted);
    destTree.sort();
    TestFolders f;
    const QDateTime t(QDate(2024, 1, 2), QTime(3, 4, 6));
    f.createFile(u"src/a.txt"_qs, "a", t);
    f.createFile(u"src/.hidden.txt"_qs, "h", t);
    const QString ro = f.createFile(u"src/ro.txt"_qs, "r", t);
    QFile::setPermissions(ro, QFile::ReadOwner);
    f.createFile(u"src/sub/b.txt"_qs, "b", t);
    f.createFile(u"src/sub/skip.dat"_qs, "s", t);
    f.createDir(u"src/empty"_qs);
    f.createFile(u"dst/gone.txt"_qs, "g");
    f.createFile(u"dst/keep.dat"_qs, "k");
    f.createFile(u"dst/oldsub/gone2.txt"_qs, "g2");

    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs), u"*.txt"_qs,
                               quint8(type));
    RecordingPasses passes(e, &host);
    passes.Execute();

    QCOMPARE(passes.FPhase, qint32(phFinished));
    QCOMPARE(passes.statuses, kAllStatuses);
    QCOMPARE(f.tree(u"dst"_qs), destTree);
    QVERIFY(QFileInfo(f.path(u"dst/oldsub"_qs)).isDir());   // folders always stay
    QVERIFY(!QFileInfo::exists(f.path(u"dst/empty"_qs)));   // made only for files
    QCOMPARE(host.list.Text(0, ecProcessed), processed);
    if (type != ctNothing) {
        QCOMPARE(QFileInfo(f.path(u"dst/sub/b.txt"_qs)).lastModified(), t);
        QVERIFY(!(QFileInfo(f.path(u"dst/ro.txt"_qs)).permissions() & QFile::WriteOwner));
    }

    // Log: every examined source file, files of a folder before its subfolders,
    // then the check lines (replicate only), then the deletions in list order.
    const QString s = f.path(u"src/"_qs), d = f.path(u"dst/"_qs);
    QStringList copying = host.log.filter(u"Copying: "_qs);
    QCOMPARE(copying.size(), copyLines);
    if (copyLines) {
        QCOMPARE(copying.last(), UiText::sCopyingLog.arg(s + u"sub/b.txt"_qs, d + u"sub/b.txt"_qs));
        QVERIFY(copying.contains(UiText::sCopyingLog.arg(s + u".hidden.txt"_qs, d + u".hidden.txt"_qs)));
    }
    const QStringList checking = host.log.filter(u"Checking: "_qs);
    QCOMPARE(checking.size(), type == ctReplicate ? 6 : 0);
    if (type == ctReplicate) {
        QVERIFY(checking.contains(UiText::sCheckingLog.arg(d + u"gone.txt"_qs, s + u"gone.txt"_qs)));
        QVERIFY(host.log.indexOf(checking.first()) > host.log.indexOf(copying.last()));
    }
    QStringList expectedDeleting;
    for (const QString &name : deleted)
        expectedDeleting << UiText::sDeletingLog.arg(d + name);
    QCOMPARE(host.log.filter(u"Deleting: "_qs), expectedDeleting);
    QCOMPARE(host.log.size(), copyLines + checking.size() + expectedDeleting.size());
    QCOMPARE(passes.FOutcome.Copied, copyLines);
    QCOMPARE(passes.FOutcome.Deleted, qint32(deleted.size()));
    QCOMPARE(passes.FOutcome.Failed, 0);
    QCOMPARE(passes.FOutcome.Refused, QString());
}

void tst_ut_copyPasses::changeRule()
{
    TestFolders f;
    const QDateTime t(QDate(2024, 1, 2), QTime(3, 4, 6));
    f.createFile(u"src/same.txt"_qs, "AAAA", t);
    f.createFile(u"dst/same.txt"_qs, "BBBB", t.addSecs(1));  // same size, same 2-s slot
    f.createFile(u"src/size.txt"_qs, "new!", t);
    f.createFile(u"dst/size.txt"_qs, "old", t);
    f.createFile(u"src/time.txt"_qs, "new", t);
    f.createFile(u"dst/time.txt"_qs, "old", t.addSecs(-2));

    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs), u"*.*"_qs, ctCopy);
    TCopyPasses(e, &host).Execute();
    QCOMPARE(TestFolders::read(f.path(u"dst/same.txt"_qs)), QByteArray("BBBB"));
    QCOMPARE(TestFolders::read(f.path(u"dst/size.txt"_qs)), QByteArray("new!"));
    QCOMPARE(TestFolders::read(f.path(u"dst/time.txt"_qs)), QByteArray("new"));
    QCOMPARE(QFileInfo(f.path(u"dst/time.txt"_qs)).lastModified(), t);
    QCOMPARE(host.log.size(), 3);  // unchanged files are logged too
    QCOMPARE(host.list.Text(0, ecProcessed), u"3"_qs);

    // A second run finds everything equal and copies nothing.
    f.createFile(u"dst/size.txt"_qs, "XXXX", t);
    host.log.clear();
    TCopyPasses(e, &host).Execute();
    QCOMPARE(TestFolders::read(f.path(u"dst/size.txt"_qs)), QByteArray("XXXX"));
    QCOMPARE(host.log.filter(u"failed"_qs), QStringList());
}

void tst_ut_copyPasses::failuresAreLoggedBeforeTheirLine()
{
    TestFolders f;
    const QString s = f.path(u"src/"_qs), d = f.path(u"dst/"_qs);
    const QString secret = f.createFile(u"src/secret.txt"_qs, "s");
    QFile::setPermissions(secret, QFileDevice::Permissions());
    f.createFile(u"src/locked/new.txt"_qs, "n");
    f.createFile(u"dst/locked/orphan.txt"_qs, "o");
    const auto rx = QFile::ReadOwner | QFile::ExeOwner;
    QFile::setPermissions(f.path(u"dst/locked"_qs), rx);

    f.createFile(u"src/fine.txt"_qs, "f");
    const QString unreadable = f.createDir(u"src/unreadable"_qs);
    QFile::setPermissions(unreadable, QFileDevice::Permissions());

    FakeHost host;
    TDataObject *e = MakeEntry(host, s, d, u"*.txt"_qs, ctReplicate);
    TCopyPasses passes(e, &host);
    passes.Execute();
    QFile::setPermissions(f.path(u"dst/locked"_qs), rx | QFile::WriteOwner);
    QFile::setPermissions(unreadable, rx | QFile::WriteOwner);
    // Two copies, one delete and one folder that could not be read.
    QCOMPARE(passes.FOutcome.Failed, 4);
    QCOMPARE(passes.FOutcome.Copied, 1);
    QCOMPARE(passes.FOutcome.Deleted, 0);

    // Each failure line, then the system's reason, then the file's own line.
    const QString denied = UiText::sFailureReason.arg(SystemErrorText(EACCES));
    auto before = [&](const QString &first, const QString &second) {
        const qsizetype at = host.log.indexOf(second);
        QVERIFY2(at > 1 && host.log.at(at - 2) == first && host.log.at(at - 1) == denied,
                 qPrintable(host.log.join(u'\n')));
    };
    before(UiText::sCopyFailed.arg(s + u"secret.txt"_qs, d + u"secret.txt"_qs),
           UiText::sCopyingLog.arg(s + u"secret.txt"_qs, d + u"secret.txt"_qs));
    before(UiText::sCopyFailed.arg(s + u"locked/new.txt"_qs, d + u"locked/new.txt"_qs),
           UiText::sCopyingLog.arg(s + u"locked/new.txt"_qs, d + u"locked/new.txt"_qs));
    before(UiText::sDeleteFailed.arg(d + u"locked/orphan.txt"_qs),
           UiText::sDeletingLog.arg(d + u"locked/orphan.txt"_qs));
    QCOMPARE(f.tree(u"dst"_qs), (QStringList{u"fine.txt"_qs, u"locked/orphan.txt"_qs}));  // no partial files
}

void tst_ut_copyPasses::namedPipeDoesNotHoldTheRun()
{
    // A named pipe has no writer: opening it for reading would wait for one
    // for ever, and a stop could not end the run.
    TestFolders f;
    const QString s = f.path(u"src/"_qs), d = f.path(u"dst/"_qs);
    f.createFile(u"src/a.txt"_qs, "a");
    const QByteArray pipe = QFile::encodeName(s + u"pipe.txt"_qs);
    QVERIFY(::mkfifo(pipe.constData(), 0600) == 0);

    FakeHost host;
    TDataObject *e = MakeEntry(host, s, d, u"*.*"_qs, ctReplicate);
    auto run = std::async(std::launch::async, [&] { TCopyPasses(e, &host).Execute(); });
    const bool ended = run.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    while (run.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        // Release the stuck run so the test can end.
        const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }
    QVERIFY(ended);
    QVERIFY(host.log.contains(UiText::sCopyFailed.arg(s + u"pipe.txt"_qs, d + u"pipe.txt"_qs)));
    QCOMPARE(f.tree(u"dst"_qs), QStringList{u"a.txt"_qs});
}

void tst_ut_copyPasses::refusedRuns_data()
{
    QTest::addColumn<QString>("src");
    QTest::addColumn<QString>("dst");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("line");
    QTest::newRow("empty source") << QString() << u"dst/"_qs << u"*.*"_qs << UiText::sNoSourceFolder;
    QTest::newRow("empty destination") << u"src/"_qs << QString() << u"*.*"_qs << UiText::sNoDestFolder;
    QTest::newRow("mask climbs out") << u"src/"_qs << u"dst/"_qs << u"../*"_qs
                                     << UiText::sMaskLeavesFolder.arg(u"../*"_qs);
    QTest::newRow("mask climbs out deeper") << u"src/"_qs << u"dst/"_qs << u"a/../../*.txt"_qs
                                            << UiText::sMaskLeavesFolder.arg(u"a/../../*.txt"_qs);
    QTest::newRow("absolute mask") << u"src/"_qs << u"dst/"_qs << u"/tmp/*"_qs
                                   << UiText::sMaskLeavesFolder.arg(u"/tmp/*"_qs);
    // Relative folders (marked "rel:") would be taken from the current folder.
    QTest::newRow("relative source") << u"rel:src/"_qs << u"dst/"_qs << u"*.*"_qs
                                     << UiText::sSourceNotAbsolute.arg(u"src/"_qs);
    QTest::newRow("relative destination") << u"src/"_qs << u"rel:dst/"_qs << u"*.*"_qs
                                          << UiText::sDestNotAbsolute.arg(u"dst/"_qs);
}

void tst_ut_copyPasses::refusedRuns()
{
    QFETCH(QString, src);
    QFETCH(QString, dst);
    QFETCH(QString, mask);
    QFETCH(QString, line);
    TestFolders f;
    f.createFile(u"src/a.txt"_qs, "a");
    f.createFile(u"dst/b.txt"_qs, "b");
    f.createFile(u"other.txt"_qs, "o");
    const QStringList before = f.tree();
    FakeHost host;
    auto folder = [&](const QString &given) {
        if (given.startsWith(u"rel:"_qs))
            return given.mid(4);
        return given.isEmpty() ? given : f.path(given);
    };
    // Run from the fixture, where a relative folder would find files.
    const QString current = QDir::currentPath();
    QDir::setCurrent(f.path());
    TDataObject *e = MakeEntry(host, folder(src), folder(dst), mask, ctReplicate);
    RecordingPasses passes(e, &host);
    passes.Execute();
    QDir::setCurrent(current);
    QCOMPARE(host.log, QStringList{line});
    QCOMPARE(passes.FOutcome.Refused, line);
    QCOMPARE(passes.statuses, QStringList());
    QCOMPARE(f.tree(), before);
    QCOMPARE(passes.FPhase, qint32(phFinished));
}

void tst_ut_copyPasses::replicateKeepsWhatItCannotSee()
{
    TestFolders f;
    f.createFile(u"dst/a.txt"_qs, "a");
    f.createFile(u"dst/hidden/b.txt"_qs, "b");
    FakeHost host;
    // Source folder missing: nothing is deleted, one line says why.
    TDataObject *e = MakeEntry(host, f.path(u"nosrc/"_qs), f.path(u"dst/"_qs), u"*.*"_qs,
                               ctReplicate);
    RecordingPasses passes(e, &host);
    passes.Execute();
    QCOMPARE(host.log, QStringList{UiText::sSourceUnreadable.arg(f.path(u"nosrc/"_qs))});
    QCOMPARE(passes.FOutcome.Refused, host.log.first());
    QCOMPARE(passes.statuses, QStringList{u"Copying.."_qs});
    QCOMPARE(f.tree(u"dst"_qs), (QStringList{u"a.txt"_qs, u"hidden/b.txt"_qs}));

    // A source subfolder that cannot be read keeps its destination copies.
    f.createFile(u"src/a.txt"_qs, "a");
    f.createFile(u"src/hidden/b.txt"_qs, "b");
    const auto rwx = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    QFile::setPermissions(f.path(u"src/hidden"_qs), QFileDevice::Permissions());
    e->FSource = f.path(u"src/"_qs);
    host.log.clear();
    TCopyPasses(e, &host).Execute();
    QFile::setPermissions(f.path(u"src/hidden"_qs), rwx);
    QCOMPARE(f.tree(u"dst"_qs), (QStringList{u"a.txt"_qs, u"hidden/b.txt"_qs}));
    QCOMPARE(host.log.filter(u"Deleting"_qs), QStringList());
}

void tst_ut_copyPasses::nestedTreesAndLinkLoops()
{
    TestFolders f;
    // Destination inside the source, with a folder link looping back to the top.
    f.createFile(u"root/a.txt"_qs, "a");
    f.createFile(u"root/sub/b.txt"_qs, "b");
    QVERIFY(QFile::link(f.path(u"root"_qs), f.path(u"root/sub/loop"_qs)));
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"root/"_qs), f.path(u"root/backup/"_qs), u"*.*"_qs,
                               ctReplicate);
    TCopyPasses(e, &host).Execute();
    TCopyPasses(e, &host).Execute();
    QCOMPARE(f.tree(u"root/backup"_qs), (QStringList{u"a.txt"_qs, u"sub/b.txt"_qs}));

    // Source inside the destination: its files are never taken for orphans.
    f.createFile(u"top/src/c.txt"_qs, "c");
    f.createFile(u"top/orphan.txt"_qs, "o");
    e->FSource = f.path(u"top/src/"_qs);
    e->FDest = f.path(u"top/"_qs);
    TCopyPasses(e, &host).Execute();
    QCOMPARE(f.tree(u"top"_qs), (QStringList{u"c.txt"_qs, u"src/c.txt"_qs}));
}

void tst_ut_copyPasses::stopDuringCheckStillDeletesListed()
{
    TestFolders f;
    for (int i = 0; i < 5; ++i)
        f.createFile(u"dst/old%1.txt"_qs.arg(i), "x");
    f.createFile(u"src/sub/keep.txt"_qs, "k");
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs), u"*.*"_qs,
                               ctReplicate);
    RecordingPasses passes(e, &host);
    passes.onProgress = [](RecordingPasses &p) {
        if (p.FPhase == phCheck && p.FCount == 2)
            p.RequestStop();
    };
    passes.Execute();
    QCOMPARE(passes.FDeleteList.size(), 2);
    QCOMPARE(f.tree(u"dst"_qs).size(), 4);
    QCOMPARE(passes.statuses, kAllStatuses);
    QCOMPARE(host.list.Text(0, ecProcessed), u"2"_qs);
}

QTEST_GUILESS_MAIN(tst_ut_copyPasses)
#include "tst_ut_copyPasses.moc"
