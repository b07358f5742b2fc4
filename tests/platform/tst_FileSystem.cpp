// Tests of listing by mask, file facts and the replacing copy, on real folders.
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "FileSystem.h"
#include "OleDateTime.h"
#include "../engine/TestFolders.h"

class tst_FileSystem : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { DropFileAccessOverride(); }
    void masks_data();
    void masks();
    void namesAsBytes_data();
    void namesAsBytes();
    void listing();
    void fileFacts();
    void dosTimesAcrossZoneChanges();
    void dosTimesAtCalendarEdges();
    void copyCarriesContentsModeAndTime();
    void copyFailureKeepsOldTarget_data();
    void copyFailureKeepsOldTarget();
    void copyFromOpenedFile_data();
    void copyFromOpenedFile();
    void failedNewCopyLeavesNothing_data();
    void failedNewCopyLeavesNothing();
};

void tst_FileSystem::masks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("match");
    QTest::newRow("*.* no dot") << u"README"_qs << u"*.*"_qs << true;
    QTest::newRow("*.* hidden") << u".profile"_qs << u"*.*"_qs << true;
    QTest::newRow("case ignored") << u"Photo.JPG"_qs << u"*.jpg"_qs << true;
    QTest::newRow("other extension") << u"photo.jpeg"_qs << u"*.jpg"_qs << false;
    QTest::newRow("? one char") << u"a1.txt"_qs << u"a?.txt"_qs << true;
    QTest::newRow("? not zero chars") << u"a.txt"_qs << u"a?.txt"_qs << false;
    QTest::newRow("star in middle") << u"report-2024.doc"_qs << u"rep*24.doc"_qs << true;
    QTest::newRow("backtracking") << u"aXbXc"_qs << u"a*b*c"_qs << true;
    QTest::newRow("prefix.* without dot") << u"abc"_qs << u"ab*.*"_qs << true;
    QTest::newRow("trailing dot, no ext") << u"Makefile"_qs << u"*."_qs << true;
    QTest::newRow("trailing dot, ext") << u"a.txt"_qs << u"*."_qs << false;
    QTest::newRow("exact") << u"a.txt"_qs << u"A.TXT"_qs << true;
    QTest::newRow("empty mask") << u"a.txt"_qs << QString() << false;
}

void tst_FileSystem::masks()
{
    QFETCH(QString, name);
    QFETCH(QString, mask);
    QFETCH(bool, match);
    QCOMPARE(MatchesMask(name, mask), match);
}

void tst_FileSystem::namesAsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QByteArray("a/b.txt") << u"a/b.txt"_qs;
    QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9/\xf0\x9f\x98\x80") << u"café/😀"_qs;
    QTest::newRow("lone byte") << QByteArray("a\xff.txt") << u"a\xdcff.txt"_qs;
    QTest::newRow("cut sequence") << QByteArray("b\xc3.txt") << u"b\xdcc3.txt"_qs;
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << u"\xdcc0\xdcaf"_qs;
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xb3\xbf") << u"\xdced\xdcb3\xdcbf"_qs;
    QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80")
                                   << u"\xdcf4\xdc90\xdc80\xdc80"_qs;
}

// Every byte string maps to a text and back to the same bytes, and valid
// UTF-8 reads as the usual text.
void tst_FileSystem::namesAsBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(PathFromNative(bytes.constData(), bytes.size()), text);
    QCOMPARE(NativePath(text), bytes);
}

void tst_FileSystem::listing()
{
    TestFolders f;
    f.createFile(u"plain.txt"_qs, "a");
    f.createFile(u".hidden.txt"_qs, "b");
    const QString ro = f.createFile(u"locked.txt"_qs, "c");
    QFile::setPermissions(ro, QFile::ReadOwner);
    f.createFile(u"other.dat"_qs, "d");
    f.createDir(u"sub.txt"_qs);
    QVERIFY(QFile::link(f.path(u"sub.txt"_qs), f.path(u"link.txt"_qs)));

    const auto items = ListFolder(f.path(), u"*.txt"_qs);
    QVERIFY(items);
    QMap<QString, TFoundItem> byName;
    for (const TFoundItem &item : *items)
        byName.insert(item.name, item);
    QCOMPARE(byName.keys(), (QStringList{u".hidden.txt"_qs, u"link.txt"_qs, u"locked.txt"_qs,
                                         u"plain.txt"_qs, u"sub.txt"_qs}));
    QVERIFY(byName[u".hidden.txt"_qs].hidden);
    QVERIFY(!byName[u"plain.txt"_qs].hidden && !byName[u"plain.txt"_qs].readOnly);
    QVERIFY(byName[u"locked.txt"_qs].readOnly);
    QVERIFY(byName[u"sub.txt"_qs].isFolder && !byName[u"sub.txt"_qs].isLink);
    QVERIFY(byName[u"link.txt"_qs].isFolder && byName[u"link.txt"_qs].isLink);

    QVERIFY(!ListFolder(f.path(u"missing/"_qs), u"*.*"_qs));
    const QString closed = f.createDir(u"closed"_qs);
    QFile::setPermissions(closed, QFileDevice::Permissions());
    QVERIFY(!ListFolder(closed, u"*.*"_qs));
    QFile::setPermissions(closed, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Times read one after the other on both sides of a clock change (Berlin,
// 31 Mar 2024 01:00 UTC, and back on 27 Oct 2024 01:00 UTC) keep their own offset.
void tst_FileSystem::dosTimesAcrossZoneChanges()
{
    TestFolders f;
    struct Case { qint64 utc; QTime local; QDate date; };
    const qint64 spring = QDateTime(QDate(2024, 3, 31), QTime(1, 0), Qt::UTC).toSecsSinceEpoch();
    const qint64 autumn = QDateTime(QDate(2024, 10, 27), QTime(1, 0), Qt::UTC).toSecsSinceEpoch();
    const Case cases[] = {
        {spring - 2, QTime(1, 59, 58), QDate(2024, 3, 31)},
        {spring + 2, QTime(3, 0, 2), QDate(2024, 3, 31)},
        {spring - 4, QTime(1, 59, 56), QDate(2024, 3, 31)},
        {autumn - 2, QTime(2, 59, 58), QDate(2024, 10, 27)},
        {autumn + 2, QTime(2, 0, 2), QDate(2024, 10, 27)},
        {autumn + 900 * 4, QTime(3, 0, 0), QDate(2024, 10, 27)},
    };
    int i = 0;
    for (const Case &c : cases) {
        const QString file = f.createFile(QString::number(i++), "x");
        QFile handle(file);
        QVERIFY(handle.open(QIODevice::ReadWrite));
        QVERIFY(handle.setFileTime(QDateTime::fromSecsSinceEpoch(c.utc, Qt::UTC),
                                   QFileDevice::FileModificationTime));
        handle.close();
        const auto dos = DosDateTimeOfFile(file);
        QVERIFY(dos);
        const QDateTime read = DateTimeFromOle(DosDateTimeToOle(*dos));
        QCOMPARE(read.date(), c.date);
        QCOMPARE(read.time(), c.local);
        QCOMPARE(FileFactsOf(file).dosTime, dos);
    }
}

void tst_FileSystem::dosTimesAtCalendarEdges()
{
    // Each pair lies in one quarter hour: the first time is converted by the C
    // library, the second from the offset found for the first.
    TestFolders f;
    const QDateTime edges[] = {
        QDateTime(QDate(2024, 2, 28), QTime(23, 59, 58)),
        QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58)),
        QDateTime(QDate(2023, 2, 28), QTime(23, 59, 58)),
        QDateTime(QDate(2000, 2, 29), QTime(12, 0, 0)),
        QDateTime(QDate(2100, 2, 28), QTime(23, 59, 58)),
        QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58)),
        QDateTime(QDate(1980, 1, 1), QTime(0, 14, 58)),
        QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58)),
        QDateTime(QDate(2024, 4, 30), QTime(23, 59, 58)),
    };
    int i = 0;
    for (const QDateTime &edge : edges) {
        for (const QDateTime &when : {edge.addSecs(-10), edge}) {
            const QString file = f.createFile(QString::number(i++), "x", when);
            const auto dos = DosDateTimeOfFile(file);
            QVERIFY2(dos, qPrintable(when.toString(Qt::ISODate)));
            QCOMPARE(DateTimeFromOle(DosDateTimeToOle(*dos)), when);
        }
        // The next second: another day, month or year.
        const QDateTime next = edge.addSecs(2);
        const QString file = f.createFile(QString::number(i++), "x", next);
        const auto dos = DosDateTimeOfFile(file);
        if (next.date().year() > 2107) {
            QVERIFY(!dos);
            continue;
        }
        QVERIFY(dos);
        QCOMPARE(DateTimeFromOle(DosDateTimeToOle(*dos)), next);
    }
}

void tst_FileSystem::fileFacts()
{
    TestFolders f;
    // 10:00:03 local: the DOS form keeps even seconds only.
    const QString file = f.createFile(u"a.bin"_qs, QByteArray(1234, 'x'),
                                      QDateTime(QDate(2024, 7, 1), QTime(10, 0, 3)));
    QCOMPARE(FileSizeOfPath(file), std::optional<qint64>(1234));
    QVERIFY(!FileSizeOfPath(f.path()));
    QVERIFY(!FileSizeOfPath(f.path(u"none"_qs)));

    const auto dos = DosDateTimeOfFile(file);
    QVERIFY(dos);
    QCOMPARE(DosDateTimeToOle(*dos), OleFromDateTime(QDateTime(QDate(2024, 7, 1), QTime(10, 0, 2))));
    QVERIFY(!DosDateTimeOfFile(f.path(u"none"_qs)));
    const QString old = f.createFile(u"old"_qs, "", QDateTime(QDate(1975, 1, 1), QTime(0, 0)));
    QVERIFY(!DosDateTimeOfFile(old));  // before 1980: no DOS form

    QVERIFY(FileExists(file));
    QVERIFY(!FileExists(f.path()));
    QVERIFY(FileIsMissing(f.path(u"none"_qs)));
    QVERIFY(FileIsMissing(f.path()));          // a folder is not the file
    QVERIFY(FileIsMissing(file + u"/below"_qs)); // ENOTDIR
    QVERIFY(!FileIsMissing(file));
    const QString closed = f.createDir(u"closed"_qs);
    QFile::setPermissions(closed, QFileDevice::Permissions());
    QVERIFY(!FileIsMissing(closed + u"/x"_qs));  // unknown, not missing
    QFile::setPermissions(closed, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY(!DeleteFileAt(f.path(u"closed"_qs)));
    QVERIFY(DeleteFileAt(file));
    QVERIFY(!QFile::exists(file));
}

void tst_FileSystem::copyCarriesContentsModeAndTime()
{
    TestFolders f;
    const QDateTime mtime(QDate(2023, 3, 4), QTime(5, 6, 7, 250));
    QByteArray big(3 * 1024 * 1024 + 17, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 31 % 251);
    const QString src = f.createFile(u"src/big.bin"_qs, big, mtime);
    ::chmod(QFile::encodeName(src).constData(), 0640);
    const QString dst = f.createFile(u"dst/big.bin"_qs, "old contents");
    ::chmod(QFile::encodeName(dst).constData(), 0666);

    QString error;
    QVERIFY2(CopyFileReplacing(src, dst, nullptr, &error), qPrintable(error));
    QCOMPARE(TestFolders::read(dst), big);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(dst).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, 0640u);
    QCOMPARE(QFileInfo(dst).lastModified(), mtime);
    QCOMPARE(f.tree(u"dst"_qs), QStringList{u"big.bin"_qs});  // no temporary left

    // Read-only source: the copy is read-only too and can be replaced again.
    ::chmod(QFile::encodeName(src).constData(), 0444);
    QVERIFY(CopyFileReplacing(src, dst));
    QVERIFY(CopyFileReplacing(src, dst));
    QCOMPARE(f.tree(u"dst"_qs), QStringList{u"big.bin"_qs});
}

void tst_FileSystem::copyFailureKeepsOldTarget_data()
{
    QTest::addColumn<QString>("why");
    QTest::newRow("stopped") << u"stopped"_qs;
    QTest::newRow("read-only folder") << u"readonly"_qs;
    QTest::newRow("unreadable source") << u"unreadable"_qs;
    QTest::newRow("missing source") << u"missing"_qs;
    QTest::newRow("target is a folder") << u"folder"_qs;
}

void tst_FileSystem::copyFailureKeepsOldTarget()
{
    QFETCH(QString, why);
    TestFolders f;
    QString src = f.createFile(u"src/a.txt"_qs, "new contents");
    QString dst = f.createFile(u"dst/a.txt"_qs, "old contents");
    std::atomic<bool> stop{false};
    if (why == u"stopped")
        stop = true;
    else if (why == u"readonly")
        QFile::setPermissions(f.path(u"dst"_qs), QFile::ReadOwner | QFile::ExeOwner);
    else if (why == u"unreadable")
        QFile::setPermissions(src, QFileDevice::Permissions());
    else if (why == u"missing")
        src = f.path(u"src/none.txt"_qs);
    else if (why == u"folder")
        dst = f.createDir(u"dst/a.txt.d"_qs);

    QString error;
    QVERIFY(!CopyFileReplacing(src, dst, &stop, &error));
    QVERIFY(!error.isEmpty());
    QFile::setPermissions(f.path(u"dst"_qs),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(TestFolders::read(f.path(u"dst/a.txt"_qs)), QByteArray("old contents"));
    const QStringList expected = why == u"folder"
        ? QStringList{u"a.txt"_qs, u"a.txt.d"_qs} : QStringList{u"a.txt"_qs};
    QCOMPARE(QDir(f.path(u"dst"_qs)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             expected);
}

namespace {
QStringList EntriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                  | QDir::NoDotAndDotDot);
}

// Whether the folder's file system can hold unnamed files at all.
bool HasUnnamedFiles(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

struct TUnnamedSwitch {
    explicit TUnnamedSwitch(bool on) { UseUnnamedTemporaries(on); }
    ~TUnnamedSwitch() { UseUnnamedTemporaries(true); }
};
} // namespace

void tst_FileSystem::copyFromOpenedFile_data()
{
    // unnamed: new targets may be unnamed files; exists: a target is there
    // already; hint: what the caller says it found.
    QTest::addColumn<bool>("unnamed");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("hint");
    QTest::newRow("new target, unnamed file") << true << false << true;
    QTest::newRow("new target, named temporary") << false << false << true;
    QTest::newRow("target there after all") << true << true << true;
    QTest::newRow("target replaced") << true << true << false;
    QTest::newRow("no target, none expected") << true << false << false;
}

void tst_FileSystem::copyFromOpenedFile()
{
    QFETCH(bool, unnamed);
    QFETCH(bool, exists);
    QFETCH(bool, hint);
    TestFolders f;
    const QString dstFolder = f.createDir(u"dst"_qs);
    if (unnamed && !HasUnnamedFiles(dstFolder))
        QSKIP("the test folder's file system has no unnamed files");
    const TUnnamedSwitch unnamedSwitch(unnamed);
    const QDateTime mtime(QDate(2022, 8, 9), QTime(10, 11, 12, 500));
    const QByteArray data(70000, 'n');
    const QString src = f.createFile(u"src/a.bin"_qs, data, mtime);
    // Read-only with a group bit: neither what open gives nor what a umask leaves.
    ::chmod(QFile::encodeName(src).constData(), 0454);
    if (exists)
        f.createFile(u"dst/a.bin"_qs, "old contents");

    const TFolderHandle srcFolder(f.path(u"src"_qs));
    TOpenedFile opened = srcFolder.Open(u"a.bin"_qs);
    QVERIFY(opened.IsOpen());
    QCOMPARE(opened.Facts().openedSize, std::optional<qint64>(data.size()));
    const TFolderHandle folder(dstFolder);
    QString error;
    QVERIFY2(CopyFileReplacing(opened, folder, u"a.bin"_qs, hint, nullptr, &error),
             qPrintable(error));
    const QString dst = f.path(u"dst/a.bin"_qs);
    QCOMPARE(TestFolders::read(dst), data);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(dst).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, 0454u);
    QCOMPARE(st.st_nlink, nlink_t(1));
    QCOMPARE(QFileInfo(dst).lastModified(), mtime);
    QCOMPARE(EntriesOf(dstFolder), QStringList{u"a.bin"_qs});

    // The same open source copies again, from its start, over the new copy.
    QVERIFY(CopyFileReplacing(opened, folder, u"a.bin"_qs, false));
    QCOMPARE(TestFolders::read(dst), data);
    QCOMPARE(EntriesOf(dstFolder), QStringList{u"a.bin"_qs});
}

void tst_FileSystem::failedNewCopyLeavesNothing_data()
{
    QTest::addColumn<bool>("unnamed");
    QTest::addColumn<QString>("why");
    for (const bool unnamed : {true, false}) {
        const char *kind = unnamed ? "unnamed" : "named";
        QTest::addRow("%s, stopped", kind) << unnamed << u"stopped"_qs;
        QTest::addRow("%s, read-only folder", kind) << unnamed << u"readonly"_qs;
        QTest::addRow("%s, folder in the way", kind) << unnamed << u"folder"_qs;
        QTest::addRow("%s, folder gone", kind) << unnamed << u"gone"_qs;
    }
}

void tst_FileSystem::failedNewCopyLeavesNothing()
{
    QFETCH(bool, unnamed);
    QFETCH(QString, why);
    TestFolders f;
    const QString dstFolder = f.createDir(u"dst"_qs);
    if (unnamed && !HasUnnamedFiles(dstFolder))
        QSKIP("the test folder's file system has no unnamed files");
    const TUnnamedSwitch unnamedSwitch(unnamed);
    f.createFile(u"src/a.txt"_qs, "new contents");
    const TFolderHandle srcFolder(f.path(u"src"_qs));
    TOpenedFile opened = srcFolder.Open(u"a.txt"_qs);
    const TFolderHandle folder(dstFolder);
    std::atomic<bool> stop{why == u"stopped"};
    if (why == u"readonly")
        QFile::setPermissions(dstFolder, QFile::ReadOwner | QFile::ExeOwner);
    else if (why == u"folder")
        f.createDir(u"dst/a.txt/inside"_qs);  // the caller did not see it coming
    else if (why == u"gone")
        QVERIFY(QDir(dstFolder).removeRecursively());

    QString error;
    QVERIFY(!CopyFileReplacing(opened, folder, u"a.txt"_qs, true, &stop, &error));
    QVERIFY(!error.isEmpty());
    QFile::setPermissions(dstFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList expected = why == u"folder" ? QStringList{u"a.txt"_qs} : QStringList();
    QCOMPARE(EntriesOf(dstFolder), expected);
    if (why == u"folder")
        QCOMPARE(EntriesOf(f.path(u"dst/a.txt"_qs)), QStringList{u"inside"_qs});
    // A source that could not be opened is refused, not copied.
    QVERIFY(!CopyFileReplacing(srcFolder.Open(u"none"_qs), folder, u"a.txt"_qs, true));
}

QTEST_GUILESS_MAIN(tst_FileSystem)
#include "tst_FileSystem.moc"
