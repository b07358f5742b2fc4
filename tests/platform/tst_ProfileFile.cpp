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
    void integersReadBackAsWritten();
    void longValueIsCut();
    void everyNameListedInFileOrder();
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
    // Around the 32-bit limits, in every form. A sign before a hexadecimal
    // number negates its 32-bit pattern.
    QTest::newRow("int max") << QByteArray("2147483647") << INT32_MAX;
    QTest::newRow("above int max") << QByteArray("2147483648") << def;
    QTest::newRow("below int min") << QByteArray("-2147483649") << def;
    QTest::newRow("far below") << QByteArray("-99999999999999999999") << def;
    QTest::newRow("$7FFFFFFF") << QByteArray("$7FFFFFFF") << INT32_MAX;
    QTest::newRow("$80000000") << QByteArray("$80000000") << INT32_MIN;
    QTest::newRow("0x80000000") << QByteArray("0x80000000") << INT32_MIN;
    QTest::newRow("-$80000000") << QByteArray("-$80000000") << INT32_MIN;
    QTest::newRow("-0x80000000") << QByteArray("-0x80000000") << INT32_MIN;
    QTest::newRow("-0X80000000") << QByteArray("-0X80000000") << INT32_MIN;
    QTest::newRow("+$80000000") << QByteArray("+$80000000") << INT32_MIN;
    QTest::newRow("leading zero $080000000") << QByteArray("$080000000") << INT32_MIN;
    QTest::newRow("-$7FFFFFFF") << QByteArray("-$7FFFFFFF") << -INT32_MAX;
    QTest::newRow("-$80000001") << QByteArray("-$80000001") << INT32_MAX;
    QTest::newRow("-$FFFFFFFF") << QByteArray("-$FFFFFFFF") << 1;
    QTest::newRow("-$1") << QByteArray("-$1") << -1;
    QTest::newRow("-$100000000") << QByteArray("-$100000000") << def;
    QTest::newRow("sign only") << QByteArray("-") << def;
    QTest::newRow("sign and $") << QByteArray("-$") << def;
    QTest::newRow("two signs") << QByteArray("--1") << def;
    QTest::newRow("sign after $") << QByteArray("$-1") << def;
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

// Every 32-bit value written reads back as written, and so do its hexadecimal
// forms, the negated ones included ("-$80000000" is the smallest integer).
void tst_ProfileFile::integersReadBackAsWritten()
{
    QList<qint32> values{0, INT32_MIN, INT32_MAX};
    for (int bit = 0; bit < 31; ++bit) {
        const qint32 power = qint32(1) << bit;
        values << power << power - 1 << power + 1 << -power << -power - 1 << 1 - power;
    }
    const QString path = dir->filePath(QStringLiteral("ints.ini"));
    {
        TProfileFile ini(path);
        ini.SetAutoSave(false);
        for (int i = 0; i < values.size(); ++i)
            ini.WriteInteger(QStringLiteral("I"), QString::number(i), values.at(i));
        ini.Save();
    }
    const TProfileFile ini(path);
    for (int i = 0; i < values.size(); ++i) {
        const qint32 v = values.at(i);
        QCOMPARE(ini.ReadInteger(QStringLiteral("I"), QString::number(i), v == 5 ? 6 : 5), v);
        const auto bits = quint32(v);
        const QString hex = QString::number(bits, 16);
        QStringList forms{QStringLiteral("$") + hex.toUpper(), QStringLiteral("0x") + hex,
                          QStringLiteral("0X") + hex.rightJustified(8, u'0')};
        if (v < 0)
            forms << QStringLiteral("-$") + QString::number(0u - bits, 16) << QStringLiteral("-0x") + QString::number(0u - bits, 16);
        for (const QString &form : forms)
            QCOMPARE(TProfileFile::ParseInteger(form), std::optional<int>(v));
    }
}

void tst_ProfileFile::longValueIsCut()
{
    const QByteArray longValue(3000, 'v');
    const TProfileFile ini(write("[S]\r\nK=" + longValue + "\r\n"));
    QCOMPARE(ini.ReadString(QStringLiteral("S"), QStringLiteral("K"), QString()),
             QString(TProfileFile::MaxValueLength, u'v'));
}

void tst_ProfileFile::everyNameListedInFileOrder()
{
    // Far more names than a 16 KB name list holds: none may be dropped, since a
    // job list read without them would lose those entries at the next save.
    QByteArray data = "[Big]\r\n";
    QStringList expected;
    for (int i = 0; i < 4000; ++i) {
        const QByteArray key = "k" + QByteArray::number(10000000 + i);
        data += key + "=" + QByteArray::number(i) + "\r\n";
        expected << QString::fromLatin1(key);
    }
    QStringList sections{QStringLiteral("Big")};
    for (int i = 0; i < 6000; ++i) {
        data += "[" + QByteArray::number(i) + "]\r\nSrc=/s" + QByteArray::number(i) + "\r\n";
        sections << QString::number(i);
    }
    data += "[Zeta]\r\n[alpha]\r\n[BIG]\r\n[Gamma]\r\n";
    sections << QStringLiteral("Zeta") << QStringLiteral("alpha") << QStringLiteral("Gamma");
    const TProfileFile ini(write(data));
    QCOMPARE(ini.ReadSection(QStringLiteral("big")), expected);
    const QStringList values = ini.ReadSectionValues(QStringLiteral("BIG"));
    QCOMPARE(values.size(), expected.size());
    QCOMPARE(values.constLast(), QStringLiteral("k10003999=3999"));
    QCOMPARE(ini.ReadSections(), sections);
    QCOMPARE(ini.ReadString(QStringLiteral("5999"), QStringLiteral("src"), QString()), QStringLiteral("/s5999"));
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
    // What is left is found where it now stands.
    QCOMPARE(ini.ReadString(QStringLiteral("B"), QStringLiteral("Z"), QString()), QStringLiteral("3"));
    QVERIFY(!ini.SectionExists(QStringLiteral("A")));
    QVERIFY(ini.SectionExists(QStringLiteral("c")));
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
