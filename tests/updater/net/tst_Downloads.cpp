// The download operations over real FTP and HTTP servers.
#include "Downloads.h"
#include "TestServers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/resource.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray Pattern(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 31 + i / 7) & 0xff);
    return data;
}

template <typename F>
QString ErrorOf(F &&call)
{
    try {
        call();
    } catch (const ETransferError &e) {
        return e.Message();
    }
    return {};
}

} // namespace

class tst_Downloads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void downloadTarget_data();
    void downloadTarget();
    void fetchDescriptorFtp();
    void fetchDescriptorFtpEmptyRemoteFile();
    void fetchDescriptorHttp();
    void fetchDescriptorOtherProtocol();
    void ftpTotalSize();
    void downloadFtpFiles();
    void downloadFtpFilesWithoutSize();
    void downloadFtpMissingFileEndsRun();
    void downloadHttpFiles();
    void downloadHttpRedirectEndsRun();
    void downloadHttpCancelKeepsTarget();
    void connectFailures();
    void shortWriteKeepsOldTarget();
    void httpFilesShareOneConnection();
    void deliveredProgramsCanStart_data();
    void deliveredProgramsCanStart();

private:
    void configureFtp(FTP_CHECK &ftp, quint16 port)
    {
        ftp.Host = QStringLiteral("127.0.0.1");
        ftp.Port = port;
        ftp.ReadTimeout = 10000;
    }
    QString install(const QString &name) const { return m_install.filePath(name); }

    QTemporaryDir m_root;
    QTemporaryDir m_work;
    QTemporaryDir m_install;
    QString m_installDir; // with its trailing separator, as the settings hold it
    TestServers m_servers;
    quint16 m_ftp = 0;
    quint16 m_noSizeFtp = 0;
    quint16 m_http = 0;
    quint16 m_httpProxy = 0;
    QByteArray m_large;
    QStringList m_log;
    TAddLog m_addLog = [this](const QString &line) { m_log << line; };
};

void tst_Downloads::initTestCase()
{
    QVERIFY(m_root.isValid() && m_work.isValid() && m_install.isValid());
    m_installDir = m_install.path() + QLatin1Char('/');
    m_large = Pattern(5 * 1024 * 1024 + 3);
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("update.ini")), "[\\UpdateID]\r\nUpdateID=7\r\n"));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("app/app.exe")), Pattern(1000)));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("app/notes.txt")), "notes\n"));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("app/lib.bin")), Pattern(2000)));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("large.bin")), m_large));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("app/tool.sh")), "#!/bin/sh\necho tool\n"));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("app/tool.elf")), QByteArray("\x7f" "ELF\x02\x01\x01", 7)));
    m_ftp = m_servers.startFtp(m_root.path());
    QVERIFY2(m_ftp, qPrintable(m_servers.lastError()));
    TestServers::FtpOptions noSize;
    noSize.sizeUnsupported = true;
    m_noSizeFtp = m_servers.startFtp(m_root.path(), noSize);
    QVERIFY2(m_noSizeFtp, qPrintable(m_servers.lastError()));
    m_http = m_servers.startHttp(m_root.path());
    QVERIFY2(m_http, qPrintable(m_servers.lastError()));
    m_httpProxy = m_servers.startHttpProxy();
    QVERIFY2(m_httpProxy, qPrintable(m_servers.lastError()));
    QCOMPARE(DownloadConnectTimeout(), 30000);
    // Relative names resolve against the working folder, as in the program.
    QVERIFY(QDir::setCurrent(m_work.path()));
}

void tst_Downloads::init()
{
    m_log.clear();
}

void tst_Downloads::cleanupTestCase()
{
    QDir::setCurrent(QDir::tempPath());
    m_servers.stopAll();
}

void tst_Downloads::downloadTarget_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("target");
    QTest::newRow("relative") << QStringLiteral("app.exe") << QStringLiteral("/opt/app/app.exe");
    QTest::newRow("sub folder") << QStringLiteral("lang/de.bab") << QStringLiteral("/opt/app/lang/de.bab");
    QTest::newRow("absolute with *") << QStringLiteral("/tmp/notes.txt*") << QStringLiteral("/tmp/notes.txt");
    QTest::newRow("working folder with *") << QStringLiteral("notes.txt*") << QStringLiteral("notes.txt");
    QTest::newRow("* only inside") << QStringLiteral("a*b") << QStringLiteral("/opt/app/a*b");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("* alone") << QStringLiteral("*") << QString();
}

void tst_Downloads::downloadTarget()
{
    QFETCH(QString, value);
    QFETCH(QString, target);
    QCOMPARE(DownloadTarget(value, QStringLiteral("/opt/app/")), target);
}

void tst_Downloads::fetchDescriptorFtp()
{
    FTP_CHECK ftp;
    THttpClient http;
    configureFtp(ftp, m_ftp);
    ftp.LocalFile = QStringLiteral("update-ftp.ini");
    ftp.RemoteFile = QStringLiteral("/update.ini");
    QVERIFY(WriteTestFile(m_work.filePath(ftp.LocalFile), "an older copy, longer than the new one"));
    QCOMPARE(FetchDescriptor(QStringLiteral("FTP"), ftp, http, {}, m_addLog), ftp.LocalFile);
    QCOMPARE(ReadAll(m_work.filePath(ftp.LocalFile)), QByteArray("[\\UpdateID]\r\nUpdateID=7\r\n"));
    QVERIFY(!ftp.Connected());
    QVERIFY(m_log.isEmpty());
}

void tst_Downloads::fetchDescriptorFtpEmptyRemoteFile()
{
    RecordingRelay relay;
    FTP_CHECK ftp;
    THttpClient http;
    configureFtp(ftp, relay.start(m_ftp));
    ftp.LocalFile = QStringLiteral("kept.ini");
    QVERIFY(WriteTestFile(m_work.filePath(ftp.LocalFile), "older copy"));
    QCOMPARE(FetchDescriptor(QStringLiteral("FTP"), ftp, http, {}, m_addLog), QStringLiteral("kept.ini"));
    QCOMPARE(ReadAll(m_work.filePath(ftp.LocalFile)), QByteArray("older copy"));
    QVERIFY(!ftp.Connected());
    // Logged in, fetched nothing, left without QUIT.
    QTRY_COMPARE(relay.received(), QByteArray("USER vantorupdate\r\nPASS harbor\r\nTYPE I\r\nSYST\r\n"));
}

void tst_Downloads::fetchDescriptorHttp()
{
    for (bool viaProxy : {false, true}) {
        m_log.clear();
        RecordingRelay relay;
        FTP_CHECK ftp;
        THttpClient http;
        http.Host = QStringLiteral("127.0.0.1");
        http.Port = m_http;
        if (viaProxy) {
            http.ProxyParams.ProxyServer = QStringLiteral("127.0.0.1");
            http.ProxyParams.ProxyPort = relay.start(m_httpProxy);
        }
        const THttpDescriptorSource source{QStringLiteral("127.0.0.1:%1").arg(m_http), QStringLiteral("/update.ini"),
                                           QStringLiteral("update-http.ini")};
        QFile::remove(m_work.filePath(source.LocalFile));
        QCOMPARE(FetchDescriptor(QStringLiteral("HTTP"), ftp, http, source, m_addLog), source.LocalFile);
        QCOMPARE(ReadAll(m_work.filePath(source.LocalFile)), QByteArray("[\\UpdateID]\r\nUpdateID=7\r\n"));
        const QString url = QStringLiteral("http://127.0.0.1:%1/update.ini").arg(m_http);
        QCOMPARE(m_log, QStringList{url});
        QVERIFY(!http.Connected());
        if (viaProxy)
            QTRY_VERIFY(relay.received().startsWith("GET " + url.toLatin1() + " HTTP/1.1\r\n"));
    }
}

void tst_Downloads::fetchDescriptorOtherProtocol()
{
    FTP_CHECK ftp;
    THttpClient http;
    ftp.LocalFile = QStringLiteral("x.ini");
    QCOMPARE(FetchDescriptor(QStringLiteral("ftp"), ftp, http, {}, m_addLog), QString());
    QCOMPARE(FetchDescriptor(QString(), ftp, http, {}, m_addLog), QString());
    QVERIFY(!QFile::exists(m_work.filePath(QStringLiteral("x.ini"))));
}

void tst_Downloads::ftpTotalSize()
{
    FTP_CHECK ftp;
    configureFtp(ftp, m_ftp);
    const QStringList list{QStringLiteral("/app/app.exe=app.exe"), QStringLiteral("/app/lib.bin=lib.bin"),
                           QStringLiteral("=nothing"), QStringLiteral("/app/gone.txt=gone.txt")};
    QCOMPARE(FtpTotalSize(ftp, list), 1000 + 2000 - 1);
    QVERIFY(ftp.Connected()); // left open for the downloads
    ftp.Disconnect();

    configureFtp(ftp, m_noSizeFtp);
    QCOMPARE(FtpTotalSize(ftp, {QStringLiteral("/app/app.exe=a"), QStringLiteral("/app/lib.bin=b"),
                                QStringLiteral("/app/notes.txt=c")}),
             -3);
    QCOMPARE(FtpTotalSize(ftp, {}), 0);
}

void tst_Downloads::downloadFtpFiles()
{
    const QString elsewhere = m_work.filePath(QStringLiteral("notes-copy.txt"));
    FTP_CHECK ftp;
    configureFtp(ftp, m_ftp);
    QList<qint32> sizes;
    DownloadFtpFiles(ftp,
                     {QStringLiteral("/app/app.exe=app.exe"), QStringLiteral("no equals sign"),
                      QStringLiteral("/app/notes.txt=") + elsewhere + QLatin1Char('*'),
                      QStringLiteral("/app/lib.bin=")},
                     m_installDir, true, m_addLog, [&](qint32 size) { sizes << size; });
    QCOMPARE(ReadAll(install(QStringLiteral("app.exe"))), Pattern(1000));
    QCOMPARE(ReadAll(elsewhere), QByteArray("notes\n"));
    QCOMPARE(sizes, (QList<qint32>{1000, 6}));
    QCOMPARE(m_log, (QStringList{QStringLiteral("/app/app.exe"), QStringLiteral("/app/notes.txt")}));
    QVERIFY(!ftp.Connected());

    // Details off: nothing logged.
    m_log.clear();
    DownloadFtpFiles(ftp, {QStringLiteral("/app/app.exe=app2.exe")}, m_installDir, false, m_addLog, {});
    QCOMPARE(ReadAll(install(QStringLiteral("app2.exe"))), Pattern(1000));
    QVERIFY(m_log.isEmpty());
}

void tst_Downloads::downloadFtpFilesWithoutSize()
{
    FTP_CHECK ftp;
    configureFtp(ftp, m_noSizeFtp);
    QList<qint32> sizes;
    DownloadFtpFiles(ftp, {QStringLiteral("/app/lib.bin=nosize-lib.bin"), QStringLiteral("/app/notes.txt=nosize-notes.txt")},
                     m_installDir, false, m_addLog, [&](qint32 size) { sizes << size; });
    QCOMPARE(sizes, (QList<qint32>{-1, -1}));
    QCOMPARE(ReadAll(install(QStringLiteral("nosize-lib.bin"))), Pattern(2000));
    QCOMPARE(ReadAll(install(QStringLiteral("nosize-notes.txt"))), QByteArray("notes\n"));
}

void tst_Downloads::downloadFtpMissingFileEndsRun()
{
    QVERIFY(WriteTestFile(install(QStringLiteral("old.dll")), "installed library"));
    FTP_CHECK ftp;
    configureFtp(ftp, m_ftp);
    const QString error = ErrorOf([&] {
        DownloadFtpFiles(ftp,
                         {QStringLiteral("/app/notes.txt=first.txt"), QStringLiteral("/app/old.dll=old.dll"),
                          QStringLiteral("/app/lib.bin=never.bin")},
                         m_installDir, true, m_addLog, {});
    });
    QVERIFY2(error.startsWith(QStringLiteral("550 ")), qPrintable(error));
    QCOMPARE(ReadAll(install(QStringLiteral("first.txt"))), QByteArray("notes\n"));
    QCOMPARE(ReadAll(install(QStringLiteral("old.dll"))), QByteArray("installed library"));
    QVERIFY(!QFile::exists(install(QStringLiteral("never.bin"))));
    QCOMPARE(m_log, QStringList{QStringLiteral("/app/notes.txt")});
    // No temporary file is left beside the kept target.
    QVERIFY(QDir(m_install.path()).entryList({QStringLiteral("old.dll?*")}, QDir::Files | QDir::Hidden).isEmpty());
}

void tst_Downloads::downloadHttpFiles()
{
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = m_http;
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(m_http);
    const QStringList list{base + QStringLiteral("/app/app.exe=h-app.exe"), QStringLiteral("skipped"),
                           base + QStringLiteral("/chunked/app/lib.bin=h-lib.bin"),
                           base + QStringLiteral("/app/notes.txt=") + m_work.filePath(QStringLiteral("h-notes.txt*"))};
    DownloadHttpFiles(http, list, m_installDir, true, m_addLog);
    QCOMPARE(ReadAll(install(QStringLiteral("h-app.exe"))), Pattern(1000));
    QCOMPARE(ReadAll(install(QStringLiteral("h-lib.bin"))), Pattern(2000));
    QCOMPARE(ReadAll(m_work.filePath(QStringLiteral("h-notes.txt"))), QByteArray("notes\n"));
    QCOMPARE(m_log, (QStringList{base + QStringLiteral("/app/app.exe"), base + QStringLiteral("/chunked/app/lib.bin"),
                                 base + QStringLiteral("/app/notes.txt")}));
    QVERIFY(!http.Connected());
}

void tst_Downloads::downloadHttpRedirectEndsRun()
{
    QVERIFY(WriteTestFile(install(QStringLiteral("moved.txt")), "untouched"));
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = m_http;
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(m_http);
    const QString error = ErrorOf([&] {
        DownloadHttpFiles(http, {base + QStringLiteral("/redirect=moved.txt"), base + QStringLiteral("/app/notes.txt=after.txt")},
                          m_installDir, true, m_addLog);
    });
    QCOMPARE(error, QStringLiteral("HTTP/1.1 302 Moved Temporarily"));
    QCOMPARE(ReadAll(install(QStringLiteral("moved.txt"))), QByteArray("untouched"));
    QVERIFY(!QFile::exists(install(QStringLiteral("after.txt"))));
    QVERIFY(m_log.isEmpty());
}

void tst_Downloads::downloadHttpCancelKeepsTarget()
{
    QVERIFY(WriteTestFile(install(QStringLiteral("big.bin")), "previous big"));
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = m_http;
    bool cancelled = false;
    connect(&http, &THttpClient::OnWork, this, [&] {
        if (!cancelled) {
            cancelled = true;
            http.Disconnect();
        }
    });
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(m_http);
    DownloadHttpFiles(http, {base + QStringLiteral("/large.bin=big.bin"), base + QStringLiteral("/app/notes.txt=small-after.txt")},
                      m_installDir, true, m_addLog);
    QVERIFY(cancelled);
    QCOMPARE(ReadAll(install(QStringLiteral("big.bin"))), QByteArray("previous big"));
    // The run goes on with the next entry over a new connection.
    QCOMPARE(ReadAll(install(QStringLiteral("small-after.txt"))), QByteArray("notes\n"));
    QCOMPARE(m_log, (QStringList{QStringLiteral("Incomplete: ") + base + QStringLiteral("/large.bin"),
                                 base + QStringLiteral("/app/notes.txt")}));
}

void tst_Downloads::connectFailures()
{
    FTP_CHECK ftp;
    THttpClient http;
    configureFtp(ftp, FreeLoopbackPort());
    ftp.RemoteFile = QStringLiteral("/update.ini");
    ftp.LocalFile = QStringLiteral("refused.ini");
    QVERIFY(!ErrorOf([&] { FetchDescriptor(QStringLiteral("FTP"), ftp, http, {}, m_addLog); }).isEmpty());
    QVERIFY(!ErrorOf([&] { FtpTotalSize(ftp, {QStringLiteral("/a=b")}); }).isEmpty());
    QVERIFY(!ftp.Connected());
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = 0; // unset: the first connect fails
    QVERIFY(!ErrorOf([&] {
                 FetchDescriptor(QStringLiteral("HTTP"), ftp, http, {QStringLiteral("127.0.0.1"), QStringLiteral("/u.ini"),
                                                                    QStringLiteral("u.ini")},
                                 m_addLog);
             }).isEmpty());
    QVERIFY(m_log.isEmpty());
    QVERIFY(!QFile::exists(m_work.filePath(QStringLiteral("u.ini"))));
}

void tst_Downloads::shortWriteKeepsOldTarget()
{
    // A disk that fills up mid-file (here: a file-size limit below the file's
    // size) must fail the download and leave the installed file as it was.
    QVERIFY(WriteTestFile(install(QStringLiteral("limited-ftp.bin")), "installed ftp"));
    QVERIFY(WriteTestFile(install(QStringLiteral("limited-http.bin")), "installed http"));
    FTP_CHECK ftp;
    configureFtp(ftp, m_ftp);
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = m_http;
    const QString url = QStringLiteral("http://127.0.0.1:%1/app/lib.bin=limited-http.bin").arg(m_http);

    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 1500; // lib.bin has 2000 bytes
    QVERIFY(setrlimit(RLIMIT_FSIZE, &tight) == 0);
    const QString ftpError = ErrorOf([&] {
        DownloadFtpFiles(ftp, {QStringLiteral("/app/lib.bin=limited-ftp.bin")}, m_installDir, false, m_addLog, {});
    });
    const QString httpError = ErrorOf([&] { DownloadHttpFiles(http, {url}, m_installDir, false, m_addLog); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY2(ftpError.startsWith(QStringLiteral("Cannot write file")), qPrintable(ftpError));
    QVERIFY2(httpError.startsWith(QStringLiteral("Cannot write file")), qPrintable(httpError));
    QCOMPARE(ReadAll(install(QStringLiteral("limited-ftp.bin"))), QByteArray("installed ftp"));
    QCOMPARE(ReadAll(install(QStringLiteral("limited-http.bin"))), QByteArray("installed http"));
    QVERIFY(QDir(m_install.path()).entryList({QStringLiteral("limited-*.bin?*")}, QDir::Files | QDir::Hidden).isEmpty());
}

// The files of a list go over one connection while the server keeps it alive
// (nginx does); the hook before each file can end the list between two files.
void tst_Downloads::httpFilesShareOneConnection()
{
    RecordingRelay relay;
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = relay.start(m_http);
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(http.Port);
    const QStringList list{base + QStringLiteral("/app/app.exe=one-app.exe"), base + QStringLiteral("/app/lib.bin=one-lib.bin"),
                           base + QStringLiteral("/chunked/app/notes.txt=one-notes.txt")};
    int before = 0;
    DownloadHttpFiles(http, list, m_installDir, false, m_addLog, [&] { ++before; });
    QCOMPARE(before, 3);
    QCOMPARE(ReadAll(install(QStringLiteral("one-lib.bin"))), Pattern(2000));
    QCOMPARE(ReadAll(install(QStringLiteral("one-notes.txt"))), QByteArray("notes\n"));
    QCOMPARE(relay.connections(), 1);
    QVERIFY(!http.Connected()); // closed after the last entry

    struct TStop
    {
    };
    before = 0;
    QFile::remove(install(QStringLiteral("one-lib.bin")));
    QVERIFY_THROWS_EXCEPTION(TStop, DownloadHttpFiles(http, list, m_installDir, false, m_addLog, [&] {
        if (++before == 2)
            throw TStop{};
    }));
    QVERIFY(!QFile::exists(install(QStringLiteral("one-lib.bin"))));
    QCOMPARE(relay.connections(), 2);
}

void tst_Downloads::deliveredProgramsCanStart_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::newRow("FTP") << QStringLiteral("FTP");
    QTest::newRow("HTTP") << QStringLiteral("HTTP");
}

// A new file that is a program (a "#!" script or an ELF image) gets an execute
// bit beside each read bit, so that it can be started; a new document gets
// none; a replaced file keeps the mode of the file it replaces.
void tst_Downloads::deliveredProgramsCanStart()
{
    QFETCH(QString, protocol);
    const mode_t savedMask = ::umask(027);
    const auto modeOf = [](const QString &path) {
        struct stat st{};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    const QString p = protocol + u'-';
    QVERIFY(WriteTestFile(install(p + QStringLiteral("old-doc.sh")), "an old document"));
    QVERIFY(QFile::setPermissions(install(p + QStringLiteral("old-doc.sh")), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QVERIFY(WriteTestFile(install(p + QStringLiteral("old-tool.txt")), "#!/bin/sh\n"));
    QVERIFY(::chmod(QFile::encodeName(install(p + QStringLiteral("old-tool.txt"))).constData(), 0751) == 0);

    const QList<std::pair<QString, QString>> files{{QStringLiteral("/app/tool.sh"), p + QStringLiteral("tool.sh")},
                                                   {QStringLiteral("/app/tool.elf"), p + QStringLiteral("tool")},
                                                   {QStringLiteral("/app/notes.txt"), p + QStringLiteral("notes.txt")},
                                                   {QStringLiteral("/app/tool.sh"), p + QStringLiteral("old-doc.sh")},
                                                   {QStringLiteral("/app/notes.txt"), p + QStringLiteral("old-tool.txt")}};
    QStringList list;
    for (const auto &[path, target] : files)
        list << (protocol == u"HTTP" ? QStringLiteral("http://127.0.0.1:%1").arg(m_http) : QString()) + path + u'=' + target;
    if (protocol == u"FTP") {
        FTP_CHECK ftp;
        configureFtp(ftp, m_ftp);
        DownloadFtpFiles(ftp, list, m_installDir, false, m_addLog, {});
    } else {
        THttpClient http;
        http.Host = QStringLiteral("127.0.0.1");
        http.Port = m_http;
        DownloadHttpFiles(http, list, m_installDir, false, m_addLog);
    }
    ::umask(savedMask);

    QCOMPARE(ReadAll(install(p + QStringLiteral("old-doc.sh"))), QByteArray("#!/bin/sh\necho tool\n"));
    QCOMPARE(modeOf(install(p + QStringLiteral("tool.sh"))), 0750);
    QCOMPARE(modeOf(install(p + QStringLiteral("tool"))), 0750);
    QCOMPARE(modeOf(install(p + QStringLiteral("notes.txt"))), 0640);
    QCOMPARE(modeOf(install(p + QStringLiteral("old-doc.sh"))), 0600);
    QCOMPARE(modeOf(install(p + QStringLiteral("old-tool.txt"))), 0751);
}

QTEST_GUILESS_MAIN(tst_Downloads)
#include "tst_Downloads.moc"
