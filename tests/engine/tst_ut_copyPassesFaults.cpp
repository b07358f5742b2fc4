// Fault tests of the passes: disks that vanish, links, nested trees, files
// rewritten or copies killed half way, odd names and deep trees, all built
// for real on temporary folders. Each test compares checksums of everything
// the run was not allowed to change.
#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include "FileSystem.h"
#include "TestFolders.h"
#include "VantorHost.h"
#include "ut_classes.h"
#include "ut_General.h"

namespace {
class FakeHost : public TVantorHost {
public:
    void AddLog(const QString &text) override { log << text; }
    bool Modified() const override { return false; }
    void SetModified(bool) override {}
    bool SchedulesDisabled() const override { return false; }
    void SetStatusPanel(int, const QString &) override {}
    void SetTrayImageList(TTrayImageList) override {}
    TEntryList &EntryList() override { return list; }
    QStringList log;
    TEntryList list;
};

// Lets a test act at each progress hand-over.
class SeamPasses : public TCopyPasses {
public:
    using TCopyPasses::TCopyPasses;
    std::function<void(SeamPasses &)> onProgress;
protected:
    void ShowProgress() override
    {
        TCopyPasses::ShowProgress();
        if (onProgress)
            onProgress(*this);
    }
};

QByteArray Native(const QString &path) { return NativePath(path); }

// Every file and link below `root`, by relative path, with a checksum of its
// contents (a link by its target), read through raw bytes so odd names count.
QMap<QByteArray, QByteArray> Snapshot(const QString &root)
{
    QMap<QByteArray, QByteArray> sums;
    std::function<void(int, const QByteArray &)> walk = [&](int dirFd, const QByteArray &prefix) {
        const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
        if (!dir)
            return;
        while (dirent *e = ::readdir(dir)) {
            const QByteArray name(e->d_name);
            if (name == "." || name == "..")
                continue;
            struct stat st;
            if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                const int sub = ::openat(fd, e->d_name, O_PATH | O_DIRECTORY | O_CLOEXEC);
                walk(sub, prefix + name + '/');
                ::close(sub);
            } else if (S_ISLNK(st.st_mode)) {
                char target[4096];
                const ssize_t n = ::readlinkat(fd, e->d_name, target, sizeof target);
                sums.insert(prefix + name, "-> " + QByteArray(target, int(std::max<ssize_t>(n, 0))));
            } else {
                QCryptographicHash hash(QCryptographicHash::Sha1);
                const int file = ::openat(fd, e->d_name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
                char buffer[65536];
                ssize_t n;
                while (file >= 0 && (n = ::read(file, buffer, sizeof buffer)) > 0)
                    hash.addData(QByteArrayView(buffer, n));
                if (file >= 0)
                    ::close(file);
                sums.insert(prefix + name, hash.result().toHex());
            }
        }
        ::closedir(dir);
    };
    const int rootFd = ::open(Native(root).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (rootFd >= 0) {
        walk(rootFd, QByteArray());
        ::close(rootFd);
    }
    return sums;
}

QByteArray Sha1(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

// The child of the killed-copy test: copies its source over its target and
// stops for good in the middle, after it said so on its output.
void PauseForEver(void *)
{
    ::write(STDOUT_FILENO, "x", 1);
    for (;;)
        ::pause();
}
} // namespace

class tst_ut_copyPassesFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { DropFileAccessOverride(); }
    void emptySourceDeletesNothing();
    void unmountedSourceDeletesNothing();
    void failedWritesDeleteNothing();
    void sourceLostBetweenPasses_data();
    void sourceLostBetweenPasses();
    void subfolderReplacedAfterCopyPass();
    void linksInDestinationAreFenced();
    void linkSwappedInBeforeDeleting();
    void sourceInsideDestinationIsNeverWritten();
    void fileRewrittenDuringItsCopy();
    void killedCopyLeavesNoTemporary();
    void longNamesCanBeUpdated_data();
    void longNamesCanBeUpdated();
    void namesThatAreNotUtf8();
    void treeDeeperThanPathMax();

private:
    TDataObject *MakeEntry(FakeHost &host, const QString &src, const QString &dst,
                           quint8 type = ctReplicate, const QString &mask = u"*.*"_qs)
    {
        TDataObject *e = host.list.AddRow();
        e->FSource = src;
        e->FDest = dst;
        e->FFileMask = mask;
        e->FCopyType = type;
        return e;
    }
};

void tst_ut_copyPassesFaults::emptySourceDeletesNothing()
{
    TestFolders f;
    f.createDir(u"src"_qs);
    f.createFile(u"dst/a.txt"_qs, "a");
    f.createFile(u"dst/sub/b.txt"_qs, "b");
    const auto before = Snapshot(f.path());
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    TCopyPasses passes(e, &host);
    passes.Execute();
    QCOMPARE(Snapshot(f.path()), before);
    QCOMPARE(host.log, QStringList{UiText::sSourceEmpty.arg(f.path(u"src/"_qs))});
    QCOMPARE(passes.FOutcome.Refused, host.log.first());
    QCOMPARE(passes.FOutcome.Deleted, 0);

    // A source holding only an empty folder is not empty: the orphans go.
    f.createDir(u"src/sub"_qs);
    host.log.clear();
    passes.Execute();
    QCOMPARE(passes.FOutcome.Refused, QString());
    QCOMPARE(passes.FOutcome.Deleted, 2);
    QCOMPARE(f.tree(u"dst"_qs), QStringList());
}

void tst_ut_copyPassesFaults::unmountedSourceDeletesNothing()
{
    if (::geteuid() != 0)
        QSKIP("mounting a file system needs root");
    TestFolders f;
    const QString src = f.createDir(u"src"_qs);
    if (::mount("tmpfs", Native(src).constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP("no tmpfs can be mounted here");
    f.createFile(u"src/a.txt"_qs, "a");
    f.createFile(u"src/sub/b.txt"_qs, "b");
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    TCopyPasses(e, &host).Execute();
    QCOMPARE(f.tree(u"dst"_qs), (QStringList{u"a.txt"_qs, u"sub/b.txt"_qs}));

    // The disk goes away and leaves its empty mount point.
    QCOMPARE(::umount(Native(src).constData()), 0);
    const auto before = Snapshot(f.path());
    host.log.clear();
    TCopyPasses(e, &host).Execute();
    QCOMPARE(Snapshot(f.path()), before);
    QCOMPARE(host.log, QStringList{UiText::sSourceEmpty.arg(f.path(u"src/"_qs))});

    // Unmounted between the copy and the check pass.
    QCOMPARE(::mount("tmpfs", Native(src).constData(), "tmpfs", 0, "size=1m"), 0);
    f.createFile(u"src/a.txt"_qs, "a");
    f.createFile(u"src/sub/b.txt"_qs, "b");
    f.createFile(u"dst/orphan.txt"_qs, "o");
    SeamPasses passes(e, &host);
    passes.onProgress = [&](SeamPasses &p) {
        if (p.FPhase == phCopy && p.FCount == 2)
            ::umount2(Native(src).constData(), MNT_DETACH);
    };
    passes.Execute();
    QCOMPARE(passes.FOutcome.Refused, UiText::sSourceLost.arg(f.path(u"src/"_qs)));
    QCOMPARE(f.tree(u"dst"_qs), (QStringList{u"a.txt"_qs, u"orphan.txt"_qs, u"sub/b.txt"_qs}));
}

namespace {
// A real ext4 disk whose writes fail once a few megabytes have gone to it: its
// image lies on a tmpfs too small for it. Root only (a loop device).
class FailingDisk {
public:
    FailingDisk(const QString &back, const QString &mountPoint)
        : FBack(back), FMount(mountPoint)
    {
        if (::geteuid() != 0) {
            FWhy = u"a loop device needs root"_qs;
            return;
        }
        if (::mount("tmpfs", Native(back).constData(), "tmpfs", 0, "size=6m") != 0) {
            FWhy = u"no tmpfs can be mounted here"_qs;
            return;
        }
        FBackMounted = true;
        const QString image = back + u"/disk.img"_qs;
        QFile(image).open(QIODevice::WriteOnly);
        QFile(image).resize(qint64(64) << 20);
        if (!Run(u"mkfs.ext4"_qs, {u"-q"_qs, image}, nullptr)
            || !Run(u"losetup"_qs, {u"-f"_qs, u"--show"_qs, image}, &FDevice)) {
            FWhy = u"no loop device with ext4 here"_qs;
            return;
        }
        if (::mount(FDevice.constData(), Native(mountPoint).constData(), "ext4", 0, nullptr) != 0) {
            FWhy = u"the loop device cannot be mounted"_qs;
            return;
        }
        FMounted = true;
    }
    ~FailingDisk()
    {
        if (FMounted)
            ::umount2(Native(FMount).constData(), MNT_DETACH);
        if (!FDevice.isEmpty())
            Run(u"losetup"_qs, {u"-d"_qs, QString::fromLocal8Bit(FDevice)}, nullptr);
        if (FBackMounted)
            ::umount2(Native(FBack).constData(), MNT_DETACH);
    }
    // Empty when the disk is there; else why not.
    QString Why() const { return FWhy; }

private:
    static bool Run(const QString &program, const QStringList &args, QByteArray *out)
    {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return false;
        if (out)
            *out = p.readAllStandardOutput().trimmed();
        return true;
    }
    QString FBack;
    QString FMount;
    QString FWhy;
    QByteArray FDevice;
    bool FBackMounted = false;
    bool FMounted = false;
};
} // namespace

void tst_ut_copyPassesFaults::failedWritesDeleteNothing()
{
    // The copies are accepted into memory and fail only on their way to the
    // disk, also when the run itself had the system write them back earlier.
    // The run must hear of it and delete nothing.
    TestFolders f;
    const QString dst = f.createDir(u"dst"_qs);
    FailingDisk disk(f.createDir(u"back"_qs), dst);
    if (!disk.Why().isEmpty())
        QSKIP(qPrintable(disk.Why()));
    f.createFile(u"dst/orphan.txt"_qs, "kept until the copies are safe");
    ::sync();
    QByteArray block(1 << 20, 'x');
    for (int i = 0; i < 24; ++i) {
        block[0] = char('a' + i);
        f.createFile(u"src/f%1.bin"_qs.arg(i), block);
    }
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    TCopyPasses passes(e, &host);
    passes.Execute();
    QCOMPARE(passes.FOutcome.Refused, UiText::sSyncFailed.arg(f.path(u"dst/"_qs)));
    QCOMPARE(passes.FOutcome.Deleted, 0);
    QVERIFY(host.log.contains(UiText::sSyncFailed.arg(f.path(u"dst/"_qs))));
    QVERIFY(QFileInfo::exists(f.path(u"dst/orphan.txt"_qs)));
}

void tst_ut_copyPassesFaults::sourceLostBetweenPasses_data()
{
    // What happens to the source, and in which pass.
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("phase");
    QTest::newRow("replaced after the copy pass") << u"replace"_qs << int(phCopy);
    QTest::newRow("removed after the copy pass") << u"remove"_qs << int(phCopy);
    QTest::newRow("made unreadable after the copy pass") << u"lock"_qs << int(phCopy);
    QTest::newRow("replaced during the check pass") << u"replace"_qs << int(phCheck);
    QTest::newRow("removed during the check pass") << u"remove"_qs << int(phCheck);
}

void tst_ut_copyPassesFaults::sourceLostBetweenPasses()
{
    QFETCH(QString, what);
    QFETCH(int, phase);
    TestFolders f;
    f.createFile(u"src/a.txt"_qs, "a");
    f.createFile(u"src/b.txt"_qs, "b");
    f.createFile(u"dst/orphan1.txt"_qs, "o1");
    f.createFile(u"dst/sub/orphan2.txt"_qs, "o2");
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    const QString src = f.path(u"src"_qs);
    SeamPasses passes(e, &host);
    bool done = false;
    passes.onProgress = [&](SeamPasses &p) {
        if (done || p.FPhase != phase || p.FCount != 2)
            return;
        done = true;
        if (what == u"replace") {
            QVERIFY(QDir().rename(src, f.path(u"src.old"_qs)));
            f.createFile(u"src/other.txt"_qs, "another folder in its place");
        } else if (what == u"remove") {
            QVERIFY(QDir(src).removeRecursively());
        } else {
            QFile::setPermissions(src, QFile::ExeOwner);
        }
    };
    passes.Execute();
    QFile::setPermissions(src, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(done);
    QCOMPARE(f.tree(u"dst"_qs),
             (QStringList{u"a.txt"_qs, u"b.txt"_qs, u"orphan1.txt"_qs, u"sub/orphan2.txt"_qs}));
    QCOMPARE(passes.FOutcome.Refused, UiText::sSourceLost.arg(f.path(u"src/"_qs)));
    QVERIFY(host.log.contains(passes.FOutcome.Refused));
    QCOMPARE(host.log.filter(u"Deleting: "_qs), QStringList());
}

void tst_ut_copyPassesFaults::subfolderReplacedAfterCopyPass()
{
    // The check pass may answer from the copy pass's listing of a folder only
    // while it is the same folder: one put in its place since decides by its
    // own files what stays in the destination.
    TestFolders f;
    f.createFile(u"src/sub/a.txt"_qs, "a");
    f.createFile(u"src/sub/b.txt"_qs, "b");
    f.createFile(u"dst/sub/c.txt"_qs, "c");
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    SeamPasses passes(e, &host);
    bool done = false;
    passes.onProgress = [&](SeamPasses &p) {
        if (done || p.FPhase != phCopy || p.FCount != 2)
            return;
        done = true;
        QVERIFY(QDir().rename(f.path(u"src/sub"_qs), f.path(u"src/sub.old"_qs)));
        f.createFile(u"src/sub/a.txt"_qs, "a");
        f.createFile(u"src/sub/c.txt"_qs, "c, back again");
    };
    passes.Execute();
    QVERIFY(done);
    QCOMPARE(f.tree(u"dst"_qs), (QStringList{u"sub/a.txt"_qs, u"sub/c.txt"_qs}));
    QCOMPARE(passes.FOutcome.Deleted, 1);
}

void tst_ut_copyPassesFaults::linksInDestinationAreFenced()
{
    TestFolders f;
    // Outside the destination: files the run must never touch.
    f.createFile(u"outside/a.txt"_qs, "precious a");
    f.createFile(u"outside/only-here.txt"_qs, "precious b");
    f.createFile(u"outside2/c.txt"_qs, "precious c");
    f.createFile(u"src/out/a.txt"_qs, "source a");
    f.createFile(u"src/in/d.txt"_qs, "source d");
    f.createFile(u"src/real/d.txt"_qs, "source d");
    f.createFile(u"src/top.txt"_qs, "t");
    f.createDir(u"dst/real"_qs);
    QVERIFY(QFile::link(f.path(u"outside"_qs), f.path(u"dst/out"_qs)));   // source has "out"
    QVERIFY(QFile::link(f.path(u"outside2"_qs), f.path(u"dst/gone"_qs))); // source has no "gone"
    QVERIFY(QFile::link(f.path(u"dst/real"_qs), f.path(u"dst/in"_qs)));   // stays inside
    const auto outside = Snapshot(f.path(u"outside"_qs));
    const auto outside2 = Snapshot(f.path(u"outside2"_qs));

    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    TCopyPasses passes(e, &host);
    passes.Execute();
    QCOMPARE(Snapshot(f.path(u"outside"_qs)), outside);
    QCOMPARE(Snapshot(f.path(u"outside2"_qs)), outside2);
    const QString s = f.path(u"src/"_qs), d = f.path(u"dst/"_qs);
    QVERIFY2(host.log.contains(UiText::sCopyFailed.arg(s + u"out/a.txt"_qs, d + u"out/a.txt"_qs)),
             qPrintable(host.log.join(u'\n')));
    // A link that leads back into the destination is used as before.
    QCOMPARE(TestFolders::read(f.path(u"dst/real/d.txt"_qs)), QByteArray("source d"));
    QCOMPARE(TestFolders::read(f.path(u"dst/top.txt"_qs)), QByteArray("t"));
    QCOMPARE(host.log.filter(u"Checking: "_qs).filter(u"/gone/"_qs), QStringList());
    QCOMPARE(passes.FOutcome.Failed, 1);
}

void tst_ut_copyPassesFaults::linkSwappedInBeforeDeleting()
{
    // The folder of an orphan is swapped for a link to elsewhere between the
    // check and the delete pass: the file of the same name there stays.
    TestFolders f;
    f.createFile(u"src/keep.txt"_qs, "k");
    f.createFile(u"dst/sub/orphan.txt"_qs, "o");
    f.createFile(u"elsewhere/orphan.txt"_qs, "precious");
    const auto elsewhere = Snapshot(f.path(u"elsewhere"_qs));
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    SeamPasses passes(e, &host);
    passes.onProgress = [&](SeamPasses &p) {
        if (p.FPhase == phCheck && p.FDeleteList.size() == 1 && QFileInfo(f.path(u"dst/sub"_qs)).isDir()
            && !QFileInfo(f.path(u"dst/sub"_qs)).isSymLink()) {
            QVERIFY(QDir().rename(f.path(u"dst/sub"_qs), f.path(u"dst/sub.moved"_qs)));
            QVERIFY(QFile::link(f.path(u"elsewhere"_qs), f.path(u"dst/sub"_qs)));
        }
    };
    passes.Execute();
    QCOMPARE(Snapshot(f.path(u"elsewhere"_qs)), elsewhere);
    QVERIFY(host.log.contains(UiText::sDeleteFailed.arg(f.path(u"dst/sub/orphan.txt"_qs))));
    QCOMPARE(passes.FOutcome.Deleted, 0);
}

void tst_ut_copyPassesFaults::sourceInsideDestinationIsNeverWritten()
{
    TestFolders f;
    // Source top/src inside destination top: its own subfolder "src" maps
    // back onto the source itself.
    f.createFile(u"top/src/x.txt"_qs, "source x");
    f.createFile(u"top/src/src/x.txt"_qs, "inner x, must not land on source x");
    f.createFile(u"top/src/src/deeper/y.txt"_qs, "y");
    f.createFile(u"top/orphan.txt"_qs, "o");
    const auto source = Snapshot(f.path(u"top/src"_qs));
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"top/src/"_qs), f.path(u"top/"_qs));
    TCopyPasses passes(e, &host);
    passes.Execute();
    QCOMPARE(Snapshot(f.path(u"top/src"_qs)), source);
    QCOMPARE(TestFolders::read(f.path(u"top/x.txt"_qs)), QByteArray("source x"));
    QVERIFY(host.log.contains(UiText::sCopyFailed.arg(f.path(u"top/src/src/x.txt"_qs),
                                                      f.path(u"top/src/x.txt"_qs))));
    QCOMPARE(passes.FOutcome.Failed, 2);
    QVERIFY(!QFileInfo::exists(f.path(u"top/orphan.txt"_qs)));
}

void tst_ut_copyPassesFaults::fileRewrittenDuringItsCopy()
{
    TestFolders f;
    const QDateTime t(QDate(2024, 5, 6), QTime(7, 8, 10));
    const QString src = f.createFile(u"src/a.bin"_qs, QByteArray(100000, 'n'), t);
    f.createFile(u"dst/a.bin"_qs, "old version", t.addSecs(-60));
    struct Writer {
        QString path;
        bool wrote = false;
    } writer{src};
    SetCopyStepHook([](void *context) {
        auto *w = static_cast<Writer *>(context);
        if (w->wrote)
            return;
        w->wrote = true;
        QFile file(w->path);
        if (file.open(QIODevice::ReadWrite)) {
            file.write(QByteArray(5000, 'W'));   // same size, new contents
            file.close();
        }
    }, &writer);
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs), ctCopy);
    TCopyPasses passes(e, &host);
    passes.Execute();
    SetCopyStepHook(nullptr, nullptr);
    QVERIFY(writer.wrote);
    QCOMPARE(TestFolders::read(f.path(u"dst/a.bin"_qs)), QByteArray("old version"));
    QVERIFY(host.log.contains(UiText::sCopyFailed.arg(src, f.path(u"dst/a.bin"_qs))));
    QCOMPARE(f.tree(u"dst"_qs), QStringList{u"a.bin"_qs});

    // The next run heals it.
    passes.Execute();
    QCOMPARE(Sha1(TestFolders::read(f.path(u"dst/a.bin"_qs))), Sha1(TestFolders::read(src)));
    QCOMPARE(passes.FOutcome.Copied, 1);
}

void tst_ut_copyPassesFaults::killedCopyLeavesNoTemporary()
{
    TestFolders f;
    QByteArray big(24 << 20, '\0');
    for (int i = 0; i < big.size(); i += 4096)
        big[i] = char(i / 4096);
    const QString src = f.createFile(u"src/big.bin"_qs, big);
    const QString dst = f.createFile(u"dst/big.bin"_qs, "old version");
    for (const bool unnamed : {true, false}) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--copy-and-hang"_qs, src, dst, unnamed ? u"1"_qs : u"0"_qs});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(30000));   // in the middle of the copy now
        child.kill();                              // SIGKILL
        QVERIFY(child.waitForFinished());
        QCOMPARE(TestFolders::read(dst), QByteArray("old version"));
        if (unnamed) {
            QCOMPARE(f.tree(u"dst"_qs), QStringList{u"big.bin"_qs});
        } else {
            // Where the file system has no unnamed files a named temporary
            // is left; a replicate run removes it like any orphan.
            QCOMPARE(f.tree(u"dst"_qs).size(), 2);
        }
    }
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    TCopyPasses(e, &host).Execute();
    QCOMPARE(f.tree(u"dst"_qs), QStringList{u"big.bin"_qs});
    QCOMPARE(Sha1(TestFolders::read(dst)), Sha1(big));
}

void tst_ut_copyPassesFaults::longNamesCanBeUpdated_data()
{
    QTest::addColumn<bool>("unnamed");
    QTest::newRow("unnamed temporaries") << true;
    QTest::newRow("named temporaries") << false;
}

void tst_ut_copyPassesFaults::longNamesCanBeUpdated()
{
    QFETCH(bool, unnamed);
    UseUnnamedTemporaries(unnamed);
    TestFolders f;
    const QString name = QString(246, u'n') + u".txt"_qs;   // 250 bytes
    const QDateTime t(QDate(2024, 1, 1), QTime(1, 0));
    f.createFile(u"src/"_qs + name, "first", t);
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    TCopyPasses(e, &host).Execute();
    f.createFile(u"src/"_qs + name, "second version", t.addSecs(10));
    TCopyPasses passes(e, &host);
    passes.Execute();
    UseUnnamedTemporaries(true);
    QCOMPARE(passes.FOutcome.Copied, 1);
    QCOMPARE(TestFolders::read(f.path(u"dst/"_qs + name)), QByteArray("second version"));
    QCOMPARE(f.tree(u"dst"_qs), QStringList{name});
    QCOMPARE(host.log.filter(u"failed"_qs), QStringList());
}

void tst_ut_copyPassesFaults::namesThatAreNotUtf8()
{
    TestFolders f;
    f.createDir(u"src"_qs);
    // Two names that differ only in a byte that is not UTF-8; decoded the
    // usual way they would both become the same replacement character.
    const QByteArray names[] = {QByteArray("a\xff.txt"), QByteArray("a\xfe.txt"),
                                QByteArray("dir\xe9/b\xc3.txt")};
    const QByteArray root = Native(f.path(u"src/"_qs));
    QCOMPARE(::mkdir((root + "dir\xe9").constData(), 0700), 0);
    for (const QByteArray &n : names) {
        const int fd = ::open((root + n).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, n.constData(), size_t(n.size())), ssize_t(n.size()));
        ::close(fd);
    }
    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    TCopyPasses passes(e, &host);
    passes.Execute();
    QCOMPARE(passes.FOutcome.Copied, 3);
    QCOMPARE(Snapshot(f.path(u"dst"_qs)), Snapshot(f.path(u"src"_qs)));

    // Deleted at the source, deleted exactly at the destination.
    QCOMPARE(::unlink((root + names[0]).constData()), 0);
    passes.Execute();
    QCOMPARE(passes.FOutcome.Deleted, 1);
    QCOMPARE(Snapshot(f.path(u"dst"_qs)), Snapshot(f.path(u"src"_qs)));
    QCOMPARE(host.log.filter(u"failed"_qs), QStringList());
    // The fixture's own clean-up reads names the usual, lossy way.
    QProcess::execute(u"rm"_qs, {u"-rf"_qs, f.path(u"src"_qs), f.path(u"dst"_qs)});
}

void tst_ut_copyPassesFaults::treeDeeperThanPathMax()
{
    TestFolders f;
    // 50 folders of 100 bytes: paths of more than 5,000 bytes.
    const QString step = QString(100, u'd');
    const int depth = 50;
    int fd = ::open(Native(f.createDir(u"src"_qs)).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth; ++i) {
        QCOMPARE(::mkdirat(fd, Native(step).constData(), 0700), 0);
        const int next = ::openat(fd, Native(step).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    const int file = ::openat(fd, "deep.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    QCOMPARE(::write(file, "deep", 4), ssize_t(4));
    ::close(file);
    ::close(fd);

    FakeHost host;
    TDataObject *e = MakeEntry(host, f.path(u"src/"_qs), f.path(u"dst/"_qs));
    TCopyPasses passes(e, &host);
    passes.Execute();
    QCOMPARE(passes.FOutcome.Copied, 1);
    QCOMPARE(passes.FOutcome.Failed, 0);
    QCOMPARE(Snapshot(f.path(u"dst"_qs)), Snapshot(f.path(u"src"_qs)));
    QCOMPARE(Snapshot(f.path(u"dst"_qs)).size(), 1);

    // Removed at the source: deleted at the destination just as deep down.
    QString deep = f.path(u"src/"_qs);
    fd = ::open(Native(deep).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth; ++i) {
        const int next = ::openat(fd, Native(step).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    QCOMPARE(::unlinkat(fd, "deep.txt", 0), 0);
    ::close(fd);
    passes.Execute();
    QCOMPARE(passes.FOutcome.Deleted, 1);
    QCOMPARE(Snapshot(f.path(u"dst"_qs)), (QMap<QByteArray, QByteArray>()));
    // TestFolders cannot remove what QDir cannot reach.
    QProcess::execute(u"rm"_qs, {u"-rf"_qs, f.path(u"src"_qs), f.path(u"dst"_qs)});
}

int main(int argc, char **argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--copy-and-hang") == 0) {
        UseUnnamedTemporaries(argv[4][0] == '1');
        SetCopyStepHook(PauseForEver, nullptr);
        return CopyFileReplacing(QString::fromUtf8(argv[2]), QString::fromUtf8(argv[3])) ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    tst_ut_copyPassesFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ut_copyPassesFaults.moc"
