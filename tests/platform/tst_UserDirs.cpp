// User-dirs reader: which lines count, how values unquote and expand, and the file.
#include "UserDirs.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_UserDirs : public QObject
{
    Q_OBJECT
private slots:
    void values_data();
    void values();
    void keepsFileOrderAndSkipsOtherLines();
    void readsFileAndReportsMissingOne();
};

void tst_UserDirs::values_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("isString");
    QTest::addColumn<QString>("path");

    QTest::newRow("home-relative") << u"\"$HOME/Desktop\""_s << true << u"/home/ann/Desktop"_s;
    QTest::newRow("home itself") << u"\"$HOME\""_s << true << u"/home/ann"_s;
    QTest::newRow("absolute") << u"\"/srv/music\""_s << true << u"/srv/music"_s;
    QTest::newRow("$HOME inside is literal") << u"\"/x/$HOME/y\""_s << true << u"/x/$HOME/y"_s;
    QTest::newRow("$HOMEX is not the variable") << u"\"$HOMEX/a\""_s << true << u"$HOMEX/a"_s;
    QTest::newRow("escaped quote and blank") << u"\"$HOME/My \\\"Docs\\\"\""_s << true
                                             << u"/home/ann/My \"Docs\""_s;
    QTest::newRow("trailing comment") << u"\"$HOME/Music\"   # mine"_s << true << u"/home/ann/Music"_s;
    QTest::newRow("empty string") << u"\"\""_s << true << QString();
    QTest::newRow("bare word") << u"$HOME/Desktop"_s << false << QString();
    QTest::newRow("unterminated") << u"\"$HOME/Desktop"_s << false << QString();
    QTest::newRow("text after quote") << u"\"$HOME/a\"b"_s << false << QString();
    QTest::newRow("single quotes") << u"'$HOME/a'"_s << false << QString();
    QTest::newRow("nothing") << QString() << false << QString();
}

void tst_UserDirs::values()
{
    QFETCH(QString, value);
    QFETCH(bool, isString);
    QFETCH(QString, path);
    const QList<TUserDir> dirs = ParseUserDirs(u"XDG_DOCUMENTS_DIR="_s + value + u'\n', u"/home/ann/"_s);
    QCOMPARE(dirs.size(), 1);
    QCOMPARE(dirs[0].Name, u"XDG_DOCUMENTS_DIR"_s);
    QCOMPARE(dirs[0].IsString, isString);
    QCOMPARE(dirs[0].Path, path);
}

void tst_UserDirs::keepsFileOrderAndSkipsOtherLines()
{
    const QString text = u"# This file is written by xdg-user-dirs-update\r\n"
                         "\r\n"
                         "XDG_MUSIC_DIR=\"$HOME/Music\"\r\n"
                         "LANG=C\n"
                         "#XDG_VIDEOS_DIR=\"$HOME/Old\"\n"
                         "  XDG_DESKTOP_DIR = \"$HOME/Desktop\"\r"
                         "XDG_MUSIC_DIR=\"/srv/music\""_s;
    const QList<TUserDir> dirs = ParseUserDirs(text, u"/"_s);
    QCOMPARE(dirs.size(), 3);
    QCOMPARE(dirs[0].Name, u"XDG_MUSIC_DIR"_s);
    QCOMPARE(dirs[0].Path, u"/Music"_s); // a home of "/" gives no double separator
    QCOMPARE(dirs[1].Name, u"XDG_DESKTOP_DIR"_s);
    QCOMPARE(dirs[1].Path, u"/Desktop"_s);
    QCOMPARE(dirs[2].Path, u"/srv/music"_s);
}

void tst_UserDirs::readsFileAndReportsMissingOne()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(UserDirsFilePath().endsWith(u"/user-dirs.dirs"_s));
    QVERIFY(!UserDirsFilePath().startsWith(QStandardPaths::writableLocation(QStandardPaths::HomeLocation)
                                            + u"/.config/"_s));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QList<TUserDir> dirs{TUserDir{}};
    QVERIFY(!ReadUserDirs(dir.filePath(u"user-dirs.dirs"_s), &dirs));
    QVERIFY(dirs.isEmpty());

    QFile f(dir.filePath(u"user-dirs.dirs"_s));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("XDG_PICTURES_DIR=\"$HOME/Bilder \xC3\xBC\"\n");
    f.close();
    QVERIFY(ReadUserDirs(f.fileName(), &dirs));
    QCOMPARE(dirs.size(), 1);
    QCOMPARE(dirs[0].Path, QDir::homePath() + u"/Bilder \u00fc"_s);
}

QTEST_GUILESS_MAIN(tst_UserDirs)
#include "tst_UserDirs.moc"
