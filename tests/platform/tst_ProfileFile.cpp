// Profile files: reading rules, name lists, integer forms, and atomic writes.
#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class tst_ProfileFile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void readString_data();
    void readString();
    void readInteger_data();
    void readInteger();
    void readBool_data();
    void readBool();
    void longValueIsCut();
    void namesInFileOrderWithinTheBuffer();
    void writesCreateAndUpdateInPlace();
    void eraseSectionAndDeleteKey();
    void batchWritesSaveOnce();
    void failedWriteReportsPathAndKeepsOldFile();

private:
    QString write(const QByteArray &data, const QString &name = QStringLiteral("t.ini"));
    QByteArray contents(const QString &path);
    QTemporaryDir *dir = nullptr;
    std::unique_ptr<QTemporaryDir> dirOwner;
};

void tst_ProfileFile::init()
{
    dirOwner = std::make_unique<QTemporaryDir>();
    dir = dirOwner.get();
    QVERIFY(dir->isValid());
}

QString tst_ProfileFile::write(const QByteArray &data, const QString &name)
{
    const QString path = dir->filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot create fixture");
    f.write(data);
    return path;
}

QByteArray tst_ProfileFile::contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

static const QByteArray sample =
    "; leading comment\r\n"
    "orphan=before any section\r\n"
    "[Settings]\r\n"
    "  Protocol =  FTP  \r\n"
    "Empty=\r\n"
    "bare line\r\n"
    "; Hidden=1\r\n"
    "Url=http://h/a?x=1\n"       // LF only
    "Dup=first\r"                // CR only
    "dup=second\r\n"
    "\xEF\xBB\xBFodd=x\r\n"      // a stray BOM inside is just text
    "[settings]\r\n"             // a second section of the same name is never read
    "Later=1\r\n"
    "[ Spaced ]\r\n"
    "Name = Umlaut \xC3\xA4\r\n";

void tst_ProfileFile::readString_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("trimmed, case ignored") << "SETTINGS" << "protocol" << "FTP";
    QTest::newRow("present but empty") << "Settings" << "Empty" << "";
    QTest::newRow("line without =") << "Settings" << "bare line" << "";
    QTest::newRow("value after the first =") << "Settings" << "Url" << "http://h/a?x=1";
    QTest::newRow("first occurrence wins") << "Settings" << "DUP" << "first";
    QTest::newRow("commented key") << "Settings" << "Hidden" << "<def>";
    QTest::newRow("key outside any section") << "" << "orphan" << "<def>";
    QTest::newRow("second section of a name") << "Settings" << "Later" << "<def>";
    QTest::newRow("missing section") << "Nope" << "Protocol" << "<def>";
    QTest::newRow("section name trimmed, UTF-8") << "spaced" << "name" << "Umlaut \u00e4";
}

void tst_ProfileFile::readString()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const TProfileFile ini(write(sample));
    QCOMPARE(ini.ReadString(section, key, QStringLiteral("<def>")), expected);
    QCOMPARE(ini.ValueExists(section, key), expected != u"<def>");
}

void tst_ProfileFile::readInteger_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    const int def = -77;
    QTest::newRow("decimal") << QByteArray("8080") << 8080;
    QTest::newRow("negative") << QByteArray("-12") << -12;
    QTest::newRow("plus sign") << QByteArray("+12") << 12;
    QTest::newRow("0x") << QByteArray("0x1F90") << 8080;
    QTest::newRow("0X lower digits") << QByteArray("0X1f90") << 8080;
    QTest::newRow("dollar") << QByteArray("$1F90") << 8080;
    QTest::newRow("full hex pattern") << QByteArray("$FFFFFFFF") << -1;
    QTest::newRow("int min") << QByteArray("-2147483648") << INT32_MIN;
    QTest::newRow("too big") << QByteArray("2147483648") << def;
    QTest::newRow("hex too long") << QByteArray("0x100000000") << def;
    QTest::newRow("prefix only") << QByteArray("0x") << def;
    QTest::newRow("word") << QByteArray("true") << def;
    QTest::newRow("trailing text") << QByteArray("12abc") << def;
    QTest::newRow("inner blank") << QByteArray("1 2") << def;
    QTest::newRow("empty") << QByteArray("") << def;
    QTest::newRow("blanks around") << QByteArray("   42   ") << 42;
}

void tst_ProfileFile::readInteger()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    const TProfileFile ini(write("[S]\r\nN=" + value + "\r\n"));
    QCOMPARE(ini.ReadInteger(QStringLiteral("s"), QStringLiteral("n"), -77), expected);
    QCOMPARE(ini.ReadInteger(QStringLiteral("s"), QStringLiteral("missing"), -77), -77);
}

void tst_ProfileFile::readBool_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("withFalseDefault");
    QTest::addColumn<bool>("withTrueDefault");
    QTest::newRow("1") << QByteArray("1") << true << true;
    QTest::newRow("2") << QByteArray("2") << true << true;
    QTest::newRow("-1") << QByteArray("-1") << true << true;
    QTest::newRow("0") << QByteArray("0") << false << false;
    QTest::newRow("true, the word") << QByteArray("true") << false << true;
    QTest::newRow("yes") << QByteArray("yes") << false << true;
}

void tst_ProfileFile::readBool()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, withFalseDefault);
    QFETCH(bool, withTrueDefault);
    const TProfileFile ini(write("[S]\r\nB=" + value + "\r\n"));
    QCOMPARE(ini.ReadBool(QStringLiteral("S"), QStringLiteral("B"), false), withFalseDefault);
    QCOMPARE(ini.ReadBool(QStringLiteral("S"), QStringLiteral("B"), true), withTrueDefault);
}

void tst_ProfileFile::longValueIsCut()
{
    const QByteArray longValue(3000, 'v');
    const TProfileFile ini(write("[S]\r\nK=" + longValue + "\r\n"));
    QCOMPARE(ini.ReadString(QStringLiteral("S"), QStringLiteral("K"), QString()),
             QString(TProfileFile::MaxValueLength, u'v'));
}

void tst_ProfileFile::namesInFileOrderWithinTheBuffer()
{
    // 1637 keys of 9 bytes + terminator fill 16370 bytes; with the list's closing
    // zero another key of 12 bytes still fits (16384), a 13-byte one would not.
    QByteArray data = "[Big]\r\n";
    QStringList expected;
    for (int i = 0; i < 1637; ++i) {
        const QByteArray key = "k" + QByteArray::number(10000000 + i);
        data += key + "=1\r\n";
        expected << QString::fromLatin1(key);
    }
    data += "last_fits_12=1\r\nnot_seen=1\r\n";
    expected << QStringLiteral("last_fits_12");
    data += "[Zeta]\r\n[alpha]\r\n[BIG]\r\n[Gamma]\r\n";
    const TProfileFile ini(write(data));
    const QStringList keys = ini.ReadSection(QStringLiteral("big"));
    QCOMPARE(keys.size(), expected.size());
    QCOMPARE(keys, expected);
    QCOMPARE(ini.ReadSections(), QStringList({QStringLiteral("Big"), QStringLiteral("Zeta"),
                                              QStringLiteral("alpha"), QStringLiteral("Gamma")}));
    QVERIFY(ini.ReadSection(QStringLiteral("missing")).isEmpty());

    const TProfileFile small(write("[S]\r\nb = 2\r\n; c=3\r\n\r\nnote\r\na=1 \r\nB=9\r\n", QStringLiteral("s.ini")));
    QCOMPARE(small.ReadSection(QStringLiteral("s")),
             QStringList({QStringLiteral("b"), QStringLiteral("note"), QStringLiteral("a"), QStringLiteral("B")}));
    QCOMPARE(small.ReadSectionValues(QStringLiteral("s")),
             QStringList({QStringLiteral("b=2"), QStringLiteral("note="), QStringLiteral("a=1"), QStringLiteral("B=2")}));
}

void tst_ProfileFile::writesCreateAndUpdateInPlace()
{
    const QString fresh = dir->filePath(QStringLiteral("new.ini"));
    TProfileFile a(fresh);
    a.WriteString(QStringLiteral("Settings"), QStringLiteral("Protocol"), QStringLiteral("FTP"));
    a.WriteInteger(QStringLiteral("Settings"), QStringLiteral("UpdateID"), -3);
    a.WriteBool(QStringLiteral("FTP"), QStringLiteral("UseProxy"), true);
    a.WriteString(QStringLiteral("FTP"), QStringLiteral("ProxyHost"), QStringLiteral("pr\u00f6xy\r\n[Evil]"));
    QCOMPARE(contents(fresh), QByteArray("[Settings]\r\nProtocol=FTP\r\nUpdateID=-3\r\n"
                                         "[FTP]\r\nUseProxy=1\r\nProxyHost=pr\xC3\xB6xy [Evil]\r\n"));

    // Changes land in the existing line (its spelling kept), new keys after the
    // section's last non-blank line, and everything else stays byte for byte.
    const QString path = write("; keep me\n[ftp]\nHost = a\n; note\n\n[HTTP]\nPort=1\n");
    TProfileFile b(path);
    b.WriteString(QStringLiteral("FTP"), QStringLiteral("HOST"), QStringLiteral("b"));
    b.WriteString(QStringLiteral("FTP"), QStringLiteral("Port"), QStringLiteral("21"));
    QCOMPARE(contents(path), QByteArray("; keep me\r\n[ftp]\r\nHost=b\r\n; note\r\nPort=21\r\n\r\n[HTTP]\r\nPort=1\r\n"));

    // Each automatic write starts from the file as it is now.
    write("[ftp]\nHost=c\n[Other]\nX=1\n");
    b.WriteBool(QStringLiteral("ftp"), QStringLiteral("UseProxy"), false);
    QCOMPARE(contents(path), QByteArray("[ftp]\r\nHost=c\r\nUseProxy=0\r\n[Other]\r\nX=1\r\n"));
    QCOMPARE(b.ReadString(QStringLiteral("Other"), QStringLiteral("x"), QString()), QStringLiteral("1"));
}

void tst_ProfileFile::eraseSectionAndDeleteKey()
{
    const QString path = write("[A]\r\nx=1\r\n[B]\r\ny=2\r\nz=3\r\n[a]\r\nw=4\r\n[C]\r\n");
    TProfileFile ini(path);
    ini.EraseSection(QStringLiteral("a"));
    ini.DeleteKey(QStringLiteral("b"), QStringLiteral("Y"));
    ini.EraseSection(QStringLiteral("missing"));
    QCOMPARE(contents(path), QByteArray("[B]\r\nz=3\r\n[C]\r\n"));
}

void tst_ProfileFile::batchWritesSaveOnce()
{
    const QString path = write("[Old]\r\nk=v\r\n");
    TProfileFile ini(path);
    ini.SetAutoSave(false);
    ini.Clear();
    ini.WriteString(QStringLiteral("Main"), QStringLiteral("Default Destination"), QStringLiteral("/b"));
    ini.WriteInteger(QStringLiteral("0"), QStringLiteral("Schedule"), 2);
    QCOMPARE(contents(path), QByteArray("[Old]\r\nk=v\r\n")); // nothing on disk yet
    ini.Save();
    QCOMPARE(contents(path), QByteArray("[Main]\r\nDefault Destination=/b\r\n[0]\r\nSchedule=2\r\n"));
}

void tst_ProfileFile::failedWriteReportsPathAndKeepsOldFile()
{
    // A settings path that is a folder, and one in a folder that does not exist.
    for (const QString &path : {dir->filePath(QStringLiteral("folder.ini")), dir->filePath(QStringLiteral("no/such.ini"))}) {
        QDir().mkpath(dir->filePath(QStringLiteral("folder.ini")));
        TProfileFile ini(path);
        try {
            ini.WriteString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("v"));
            QFAIL("the write was reported as done");
        } catch (const EProfileWriteError &e) {
            QCOMPARE(e.Message(), QStringLiteral("Unable to write to ") + path);
        }
        QVERIFY(!ini.ValueExists(QStringLiteral("S"), QStringLiteral("K")));
    }

    // A write that fails halfway (the file size limit stops it) leaves the old
    // file whole and no temporary file behind. Root ignores permission bits, so
    // the limit is the honest way to make the disk refuse here.
    const QByteArray old = "[S]\r\nK=old\r\n";
    const QString path = write(old, QStringLiteral("whole.ini"));
    TProfileFile ini(path);
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 64;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &tight) == 0);
    bool raised = false;
    try {
        ini.WriteString(QStringLiteral("S"), QStringLiteral("K"), QString(500, u'n'));
    } catch (const EProfileWriteError &) {
        raised = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY(raised);
    QCOMPARE(contents(path), old);
    QCOMPARE(ini.ReadString(QStringLiteral("S"), QStringLiteral("K"), QString()), QStringLiteral("old"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files),
             QStringList({QStringLiteral("whole.ini")}));
}

QTEST_GUILESS_MAIN(tst_ProfileFile)
#include "tst_ProfileFile.moc"
