// Standard-folders import: tails, destinations, and the command in the real main
// window over a user-dirs file written by the test.
#include "ShellFolders.h"
#include "TEntryList.h"
#include "UserDirs.h"
#include "frm_EditFile.h"
#include "frm_Main.h"
#include "ut_Dialogs.h"
#include "ut_classes.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Answers every dialog; records the message boxes.
class TRecordingDialogs : public TDialogs
{
public:
    QStringList messages;
    QMessageBox::StandardButton Message(QWidget *, QMessageBox::Icon, const QString &text,
                                        QMessageBox::StandardButtons) override
    {
        messages << text;
        return QMessageBox::Ok;
    }
    QString OpenFileName(QWidget *, const QString &, const QString &, const QString &) override { return {}; }
    QString SaveFileName(QWidget *, const QString &, const QString &, const QString &, const QString &) override
    {
        return {};
    }
    QString ExistingDirectory(QWidget *, const QString &, const QString &) override { return {}; }
};

} // namespace

class tst_ShellFolders : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pathTail_data();
    void pathTail();
    void destinations_data();
    void destinations();
    void importAddsUserDirsInFileOrder();
    void importTwiceAddsEverythingTwice();
    void badValueStopsWithMessageAndKeepsEarlierEntries();
    void missingFileFallsBackToStandardLocations();

private:
    void writeUserDirs(const QByteArray &text);
    QStringList column(TformMain &w, int col) const;

    TRecordingDialogs FDialogs;
};

void tst_ShellFolders::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    SetDialogs(&FDialogs);
}

void tst_ShellFolders::init()
{
    QFile::remove(UserDirsFilePath());
    FDialogs.messages.clear();
}

void tst_ShellFolders::cleanup()
{
    QFile::remove(UserDirsFilePath());
}

void tst_ShellFolders::writeUserDirs(const QByteArray &text)
{
    QVERIFY(QDir().mkpath(QFileInfo(UserDirsFilePath()).path()));
    QFile f(UserDirsFilePath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QStringList tst_ShellFolders::column(TformMain &w, int col) const
{
    QStringList texts;
    for (int row = 0; row < w.FEntries->Count(); ++row)
        texts << w.FEntries->Text(row, col);
    return texts;
}

void tst_ShellFolders::pathTail_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("tail");
    QTest::newRow("absolute local") << u"/home/ann/Docs"_s << u"home/ann/Docs"_s;
    QTest::newRow("network-style pair") << u"//server/share/dir"_s << u"server/share/dir"_s;
    QTest::newRow("root alone") << u"/"_s << QString();
    QTest::newRow("drive letter") << u"C:/Data/Docs"_s << u"Data/Docs"_s;
    QTest::newRow("drive with backslash") << u"C:\\Data"_s << u"Data"_s;
    QTest::newRow("bare drive") << u"C:"_s << QString();
    QTest::newRow("pair inside relative") << u"a//b/c"_s << u"b/c"_s;
    QTest::newRow("plain relative") << u"Docs/x"_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void tst_ShellFolders::pathTail()
{
    QFETCH(QString, path);
    QFETCH(QString, tail);
    QCOMPARE(PathTail(path), tail);
}

void tst_ShellFolders::destinations_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("dest");
    QTest::newRow("root with separator") << u"/backup/"_s << u"/home/ann/Docs"_s << u"/backup/home/ann/Docs"_s;
    QTest::newRow("root without separator") << u"/backup"_s << u"/home/ann/Docs"_s << u"/backup/home/ann/Docs"_s;
    QTest::newRow("empty root: relative tail") << QString() << u"/home/ann/Docs"_s << u"home/ann/Docs"_s;
    QTest::newRow("empty tail: root alone") << u"/backup"_s << u"Docs"_s << u"/backup/"_s;
}

void tst_ShellFolders::destinations()
{
    QFETCH(QString, root);
    QFETCH(QString, folder);
    QFETCH(QString, dest);
    QCOMPARE(ShellFolderDest(root, folder), dest);
}

void tst_ShellFolders::importAddsUserDirsInFileOrder()
{
    writeUserDirs("# written by hand\n"
                  "XDG_MUSIC_DIR=\"$HOME/Music\"\n"
                  "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                  "XDG_TEMPLATES_DIR=\"\"\n"          // empty: skipped
                  "XDG_PUBLICSHARE_DIR=\"Public\"\n" // no tail: the root alone
                  "XDG_VIDEOS_DIR=\"/srv/videos\"\n");
    const QString home = QDir::homePath();
    const QString homeTail = home.mid(1);

    TformMain w;
    w.edDef->setText(u"/backup"_s);
    w.FModified = false;
    w.miGetWindowsFolders->trigger();
    QCOMPARE(FDialogs.messages, QStringList());

    QCOMPARE(column(w, ecSource), QStringList({home + u"/Music/"_s, home + u"/Desktop/"_s, u"Public/"_s,
                                               u"/srv/videos/"_s}));
    QCOMPARE(column(w, ecDest),
             QStringList({u"/backup/"_s + homeTail + u"/Music/"_s, u"/backup/"_s + homeTail + u"/Desktop/"_s,
                          u"/backup/"_s, u"/backup/srv/videos/"_s}));
    QCOMPARE(w.edDef->text(), u"/backup"_s); // the root box itself is left alone
    QVERIFY(w.FModified);
    for (int row = 0; row < w.FEntries->Count(); ++row) {
        const TDataObject *e = w.FEntries->Entry(row);
        QVERIFY(w.FEntries->IsChecked(row));
        QCOMPARE(e->FFileMask, u"*.*"_s);
        QCOMPARE(e->FSchedule, qint32(skNone));
        QCOMPARE(e->FCopyType, quint8(ctReplicate));
        QCOMPARE(e->FLastRun, 0.0);
        QCOMPARE(e->FNextRun, 0.0);
        QCOMPARE(w.FEntries->Text(row, ecSchedule), u"No Schedule"_s);
        QCOMPARE(w.FEntries->Text(row, ecLastCopy), QString());
        QCOMPARE(w.FEntries->Text(row, ecNextCopy), QString());
    }
}

void tst_ShellFolders::importTwiceAddsEverythingTwice()
{
    writeUserDirs("XDG_DESKTOP_DIR=\"/home/ann/Desktop\"\nXDG_DOCUMENTS_DIR=\"/home/ann/Docs\"\n");
    TformMain w;
    w.edDef->setText(QString());
    w.ImportShellFolders();
    w.ImportShellFolders();
    QCOMPARE(column(w, ecSource), QStringList({u"/home/ann/Desktop/"_s, u"/home/ann/Docs/"_s,
                                               u"/home/ann/Desktop/"_s, u"/home/ann/Docs/"_s}));
    // With no root the destination is the tail alone.
    QCOMPARE(column(w, ecDest).constFirst(), u"home/ann/Desktop/"_s);
}

void tst_ShellFolders::badValueStopsWithMessageAndKeepsEarlierEntries()
{
    writeUserDirs("XDG_DESKTOP_DIR=\"/home/ann/Desktop\"\n"
                  "XDG_DOWNLOAD_DIR=$HOME/Downloads\n"
                  "XDG_MUSIC_DIR=\"/home/ann/Music\"\n");
    TformMain w;
    w.edDef->setText(u"/backup/"_s);
    w.miGetWindowsFolders->trigger();
    QCOMPARE(FDialogs.messages, QStringList({u"Invalid data type for 'XDG_DOWNLOAD_DIR'"_s}));
    QCOMPARE(column(w, ecSource), QStringList({u"/home/ann/Desktop/"_s}));
}

void tst_ShellFolders::missingFileFallsBackToStandardLocations()
{
    QVERIFY(!QFile::exists(UserDirsFilePath()));
    const QString home = QDir::homePath();
    QList<TShellFolder> folders = ReadShellFolders();
    QStringList paths;
    for (const TShellFolder &f : folders)
        paths << f.Path;
    QCOMPARE(paths, QStringList({home + u"/Desktop"_s, home + u"/Documents"_s, home + u"/Downloads"_s,
                                 home + u"/Music"_s, home + u"/Pictures"_s, home + u"/Videos"_s}));

    // A user-dirs file that exists but lists nothing adds nothing.
    writeUserDirs("# empty\n");
    QVERIFY(ReadShellFolders().isEmpty());
}

QTEST_MAIN(tst_ShellFolders)
#include "tst_ShellFolders.moc"
