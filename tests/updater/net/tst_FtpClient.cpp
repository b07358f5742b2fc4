// FTP_CHECK against a real FTP server and proxy on loopback.
#include "FTP_VERSION_CHECK_Old.h"
#include "TestServers.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray Pattern(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return data;
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Replies of a scripted server that accepts the login.
QList<RecordingRelay::Step> LoginSteps()
{
    return {{"331 Password required.\r\n"}, {"230 Logged in.\r\n"}, {"200 Type set to I.\r\n"},
            {"215 UNIX Type: L8\r\n"}};
}

} // namespace

class tst_FtpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void loginAndRetrieveOnTheWire();
    void loginReplies_data();
    void loginReplies();
    void userSiteLoginThroughProxy();
    void userSiteWithoutProxyHostDialsServer();
    void sizeReplies_data();
    void sizeReplies();
    void sizeFromRealServers();
    void pasvWithoutBrackets();
    void missingFileKeepsOldTarget();
    void abortDuringLargeRetrieval();
    void abortWhileIdleKeepsRepliesInStep();
    void closedPortFails();
    void silentServerTimesOut();
    void tricklingReplyTimesOut();

private:
    void configure(FTP_CHECK &ftp, quint16 port)
    {
        ftp.Host = QStringLiteral("127.0.0.1");
        ftp.Port = port;
        ftp.ReadTimeout = 10000;
    }

    QTemporaryDir m_root;
    QTemporaryDir m_out;
    TestServers m_servers;
    quint16 m_ftp = 0;
    quint16 m_oddFtp = 0; // no SIZE, PASV without brackets
    quint16 m_proxy = 0;
    QString m_proxyTarget; // where the FTP server behind the proxy listens, port 21
    QByteArray m_large;
};

void tst_FtpClient::initTestCase()
{
    QVERIFY(m_root.isValid() && m_out.isValid());
    m_large = Pattern(6 * 1024 * 1024 + 123);
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("small.txt")), "small file\n"));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("pub/medium.bin")), Pattern(200000)));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("large.bin")), m_large));
    m_ftp = m_servers.startFtp(m_root.path());
    QVERIFY2(m_ftp, qPrintable(m_servers.lastError()));
    m_oddFtp = m_servers.startFtp(m_root.path(), {true, true});
    QVERIFY2(m_oddFtp, qPrintable(m_servers.lastError()));
    // ftp-proxy dials port 21 of the host named at login.
    m_proxyTarget = FreeLoopbackAddressFor(21);
    if (!m_proxyTarget.isEmpty()) {
        TestServers::FtpOptions at21;
        at21.address = m_proxyTarget;
        at21.port = 21;
        QVERIFY2(m_servers.startFtp(m_root.path(), at21), qPrintable(m_servers.lastError()));
        m_proxy = m_servers.startFtpProxy();
        QVERIFY2(m_proxy, qPrintable(m_servers.lastError()));
    }
}

void tst_FtpClient::cleanupTestCase()
{
    m_servers.stopAll();
}

void tst_FtpClient::loginAndRetrieveOnTheWire()
{
    RecordingRelay relay;
    const quint16 port = relay.start(m_ftp);
    QVERIFY(port);
    FTP_CHECK ftp;
    configure(ftp, port);
    QSignalSpy begin(&ftp, &FTP_CHECK::OnWorkBegin);
    QSignalSpy work(&ftp, &FTP_CHECK::OnWork);
    QSignalSpy end(&ftp, &FTP_CHECK::OnWorkEnd);

    ftp.Connect(5000);
    QVERIFY(ftp.Connected());
    QVERIFY(begin.isEmpty()); // commands raise no notifications
    const QString target = m_out.filePath(QStringLiteral("medium.bin"));
    ftp.Get(QStringLiteral("/pub/medium.bin"), target);
    QCOMPARE(ReadAll(target), Pattern(200000));
    ftp.Disconnect();
    QVERIFY(!ftp.Connected());

    QCOMPARE(begin.size(), 1);
    QCOMPARE(begin.at(0).at(1).toLongLong(), 0);
    QCOMPARE(end.size(), 1);
    QVERIFY(!work.isEmpty());
    qint64 last = 0;
    for (const QList<QVariant> &call : std::as_const(work)) {
        QVERIFY(call.at(1).toLongLong() > last);
        last = call.at(1).toLongLong();
    }
    QCOMPARE(last, 200000);

    QTRY_COMPARE(relay.received(), QByteArray("USER vantorupdate\r\nPASS harbor\r\nTYPE I\r\nSYST\r\n"
                                              "PASV\r\nRETR /pub/medium.bin\r\n"));
    QVERIFY(relay.sent().startsWith("220 "));
}

void tst_FtpClient::loginReplies_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QString>("error"); // empty: the login succeeds
    QTest::addColumn<QByteArray>("wire");

    const QByteArray full = "USER vantorupdate\r\nPASS harbor\r\nTYPE I\r\nSYST\r\n";
    QTest::newRow("331 then 230, SYST 215") << QByteArray("220 Hi\r\n")
        << QList<QByteArray>{"331 Pw\r\n", "230 Ok\r\n", "200 Ok\r\n", "215 UNIX\r\n"} << QString() << full;
    QTest::newRow("230 without PASS, SYST 500") << QByteArray("220 Hi\r\n")
        << QList<QByteArray>{"230 Ok\r\n", "200 Ok\r\n", "500 What?\r\n"} << QString()
        << QByteArray("USER vantorupdate\r\nTYPE I\r\nSYST\r\n");
    QTest::newRow("multi-line greeting, SYST 200") << QByteArray("220-Welcome\r\n220-to the test\r\n220 Ready\r\n")
        << QList<QByteArray>{"331 Pw\r\n", "230 Ok\r\n", "200 Ok\r\n", "200 Fine\r\n"} << QString() << full;
    QTest::newRow("greeting 421") << QByteArray("421 Too many users\r\n") << QList<QByteArray>{}
        << QStringLiteral("421 Too many users") << QByteArray();
    QTest::newRow("USER refused") << QByteArray("220 Hi\r\n") << QList<QByteArray>{"530 No such user\r\n"}
        << QStringLiteral("530 No such user") << QByteArray("USER vantorupdate\r\n");
    QTest::newRow("PASS refused") << QByteArray("220 Hi\r\n")
        << QList<QByteArray>{"331 Pw\r\n", "530 Login incorrect.\r\n"} << QStringLiteral("530 Login incorrect.")
        << QByteArray("USER vantorupdate\r\nPASS harbor\r\n");
    QTest::newRow("PASS answered 202") << QByteArray("220 Hi\r\n") << QList<QByteArray>{"331 Pw\r\n", "202 Meh\r\n"}
        << QStringLiteral("202 Meh") << QByteArray("USER vantorupdate\r\nPASS harbor\r\n");
    QTest::newRow("TYPE refused") << QByteArray("220 Hi\r\n")
        << QList<QByteArray>{"230 Ok\r\n", "504 Not implemented\r\n"} << QStringLiteral("504 Not implemented")
        << QByteArray("USER vantorupdate\r\nTYPE I\r\n");
    QTest::newRow("SYST 502") << QByteArray("220 Hi\r\n")
        << QList<QByteArray>{"230 Ok\r\n", "200 Ok\r\n", "502 No\r\n"} << QStringLiteral("502 No")
        << QByteArray("USER vantorupdate\r\nTYPE I\r\nSYST\r\n");
}

void tst_FtpClient::loginReplies()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QString, error);
    QFETCH(QByteArray, wire);

    QList<RecordingRelay::Step> steps;
    for (const QByteArray &reply : replies)
        steps << RecordingRelay::Step{reply};
    RecordingRelay peer;
    const quint16 port = peer.startScripted(steps, greeting, true);
    FTP_CHECK ftp;
    configure(ftp, port);
    QString message;
    try {
        ftp.Connect(5000);
    } catch (const ETransferError &e) {
        message = e.Message();
    }
    QCOMPARE(message, error);
    QCOMPARE(ftp.Connected(), error.isEmpty()); // a failed login closes the connection
    QTRY_COMPARE(peer.received(), wire);
}

void tst_FtpClient::userSiteLoginThroughProxy()
{
    // client -> relay -> ftp-proxy -> server: the proxy reads the server's
    // name from "USER name@host".
    if (!m_proxy)
        QSKIP("port 21 cannot be bound here for the server behind the FTP proxy");
    RecordingRelay relay;
    const quint16 port = relay.start(m_proxy);
    FTP_CHECK ftp;
    configure(ftp, 2121); // the client passes no server port on
    ftp.Host = m_proxyTarget;
    ftp.ProxySettings.Host = QStringLiteral("127.0.0.1");
    ftp.ProxySettings.Port = port;
    ftp.ProxySettings.ProxyType = fpcmUserSite;
    ftp.Connect(5000);
    const QString target = m_out.filePath(QStringLiteral("via-proxy.txt"));
    ftp.Get(QStringLiteral("/small.txt"), target);
    QCOMPARE(ReadAll(target), QByteArray("small file\n"));
    QCOMPARE(ftp.Size(QStringLiteral("/small.txt")), 11);
    ftp.Disconnect();
    QTRY_VERIFY(relay.received().endsWith("SIZE /small.txt\r\n"));
    QVERIFY2(relay.received().startsWith("USER vantorupdate@" + m_proxyTarget.toLatin1() + "\r\nPASS harbor\r\nTYPE I\r\nSYST\r\nPASV\r\n"),
             relay.received().constData());
}

void tst_FtpClient::userSiteWithoutProxyHostDialsServer()
{
    RecordingRelay peer;
    const quint16 port = peer.startScripted(LoginSteps(), "220 Hi\r\n", true);
    FTP_CHECK ftp;
    configure(ftp, port);
    // An address, not "localhost": a minimal machine may have no hosts file.
    ftp.Host = QStringLiteral("127.0.0.1");
    ftp.ProxySettings.ProxyType = fpcmUserSite; // ticked, but no proxy host
    ftp.ProxySettings.Port = FreeLoopbackPort();
    ftp.Connect(5000);
    QVERIFY(ftp.Connected());
    QTRY_VERIFY(peer.received().startsWith("USER vantorupdate@127.0.0.1\r\nPASS harbor\r\n"));
}

void tst_FtpClient::sizeReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("size");
    QTest::newRow("213") << QByteArray("213 1234\r\n") << 1234;
    QTest::newRow("213 with blanks") << QByteArray("213    77  \r\n") << 77;
    QTest::newRow("largest 32-bit") << QByteArray("213 2147483647\r\n") << 2147483647;
    QTest::newRow("2 GiB does not fit") << QByteArray("213 2147483648\r\n") << -1;
    QTest::newRow("not a number") << QByteArray("213 12ab\r\n") << -1;
    QTest::newRow("not supported") << QByteArray("500 Unknown command\r\n") << -1;
    QTest::newRow("missing file") << QByteArray("550 No such file\r\n") << -1;
    QTest::newRow("other success code") << QByteArray("250 1234\r\n") << -1;
}

void tst_FtpClient::sizeReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, size);
    QList<RecordingRelay::Step> steps = LoginSteps();
    steps << RecordingRelay::Step{reply} << RecordingRelay::Step{"213 5\r\n"};
    RecordingRelay peer;
    FTP_CHECK ftp;
    configure(ftp, peer.startScripted(steps, "220 Hi\r\n", true));
    ftp.Connect(5000);
    QCOMPARE(ftp.Size(QStringLiteral("/a b.txt")), size);
    QCOMPARE(ftp.Size(QStringLiteral("/next")), 5); // any reply is taken, the next one stays in step
    QTRY_VERIFY(peer.received().endsWith("SYST\r\nSIZE /a b.txt\r\nSIZE /next\r\n"));
}

void tst_FtpClient::sizeFromRealServers()
{
    FTP_CHECK ftp;
    configure(ftp, m_ftp);
    ftp.Connect(5000);
    QCOMPARE(ftp.Size(QStringLiteral("/large.bin")), m_large.size());
    QCOMPARE(ftp.Size(QStringLiteral("/nothing-here")), -1);
    ftp.Disconnect();

    configure(ftp, m_oddFtp);
    ftp.Connect(5000);
    QCOMPARE(ftp.Size(QStringLiteral("/large.bin")), -1);
}

void tst_FtpClient::pasvWithoutBrackets()
{
    RecordingRelay relay;
    FTP_CHECK ftp;
    configure(ftp, relay.start(m_oddFtp));
    ftp.Connect(5000);
    const QString target = m_out.filePath(QStringLiteral("nobrackets.bin"));
    ftp.Get(QStringLiteral("/pub/medium.bin"), target);
    QCOMPARE(ReadAll(target), Pattern(200000));
    QTRY_VERIFY(relay.sent().contains("227 Entering passive mode 127,0,0,1,"));
}

void tst_FtpClient::missingFileKeepsOldTarget()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("installed.exe"));
    QVERIFY(WriteTestFile(target, "the installed program"));
    FTP_CHECK ftp;
    configure(ftp, m_ftp);
    ftp.Connect(5000);
    QString message;
    try {
        ftp.Get(QStringLiteral("/no/such/file.exe"), target);
    } catch (const ETransferError &e) {
        message = e.Message();
    }
    QVERIFY2(message.startsWith(QStringLiteral("550 ")), qPrintable(message));
    QCOMPARE(ReadAll(target), QByteArray("the installed program"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("installed.exe")});
    QVERIFY(ftp.Connected());
    QCOMPARE(ftp.Size(QStringLiteral("/small.txt")), 11);

    // A target that cannot be created fails before any command is sent.
    message.clear();
    try {
        ftp.Get(QStringLiteral("/small.txt"), dir.filePath(QStringLiteral("no-folder/x.txt")));
    } catch (const ETransferError &e) {
        message = e.Message();
    }
    QVERIFY2(message.startsWith(QStringLiteral("Cannot create file")), qPrintable(message));
    QCOMPARE(ftp.Size(QStringLiteral("/small.txt")), 11);
}

void tst_FtpClient::abortDuringLargeRetrieval()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("large.bin"));
    QVERIFY(WriteTestFile(target, "previous version"));
    RecordingRelay relay;
    FTP_CHECK ftp;
    configure(ftp, relay.start(m_ftp));
    ftp.Connect(5000);
    qint64 lastCount = 0;
    int aborts = 0;
    connect(&ftp, &FTP_CHECK::OnWork, this, [&](TWorkMode, qint64 count) {
        lastCount = count;
        if (aborts++ == 0)
            ftp.Abort(); // what the Cancel button does from inside a notification
    });
    QSignalSpy end(&ftp, &FTP_CHECK::OnWorkEnd);
    ftp.Get(QStringLiteral("/large.bin"), target); // ends early, without an error
    QCOMPARE(end.size(), 1);
    QVERIFY(lastCount < m_large.size());
    QCOMPARE(ReadAll(target), QByteArray("previous version"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    QVERIFY(ftp.Connected());
    QCOMPARE(ftp.Size(QStringLiteral("/small.txt")), 11); // the replies are still in step
    QTRY_VERIFY(relay.received().endsWith("RETR /large.bin\r\nABOR\r\nSIZE /small.txt\r\n"));
}

void tst_FtpClient::abortWhileIdleKeepsRepliesInStep()
{
    // A Cancel after a failed run sends ABOR on an idle connection; its late
    // answer must not be taken for the next command's reply.
    FTP_CHECK ftp;
    configure(ftp, m_ftp);
    ftp.Connect(5000);
    ftp.Abort();
    QVERIFY(ftp.Connected());
    QCOMPARE(ftp.Size(QStringLiteral("/small.txt")), 11);
    const QString target = m_out.filePath(QStringLiteral("after-abort.txt"));
    ftp.Get(QStringLiteral("/small.txt"), target);
    QCOMPARE(ReadAll(target), QByteArray("small file\n"));
}

void tst_FtpClient::closedPortFails()
{
    FTP_CHECK ftp;
    configure(ftp, FreeLoopbackPort());
    QVERIFY_THROWS_EXCEPTION(ETransferError, ftp.Connect(5000));
    QVERIFY(!ftp.Connected());
    configure(ftp, 0); // an unset port
    QVERIFY_THROWS_EXCEPTION(ETransferError, ftp.Connect(5000));
}

void tst_FtpClient::silentServerTimesOut()
{
    QCOMPARE(FTP_CHECK().ReadTimeout, 120000);
    RecordingRelay peer;
    FTP_CHECK ftp;
    configure(ftp, peer.startScripted({}, {}, true));
    ftp.ReadTimeout = 300;
    QString message;
    try {
        ftp.Connect(5000);
    } catch (const ETransferError &e) {
        message = e.Message();
    }
    QCOMPARE(message, QStringLiteral("Read timed out."));
    QVERIFY(!ftp.Connected());
}

// The time-out holds for a whole reply: continuation lines arriving well
// inside it, one after the other, do not extend it. (The peer gives up after
// 15 s and closes, so a client that waited per line fails here, not hangs.)
void tst_FtpClient::tricklingReplyTimesOut()
{
    const quint16 port = m_servers.startFtpTrickle(100, 15);
    QVERIFY2(port, qPrintable(m_servers.lastError()));
    FTP_CHECK ftp;
    configure(ftp, port);
    ftp.ReadTimeout = 1000;
    QString message;
    try {
        ftp.Connect(5000);
    } catch (const ETransferError &e) {
        message = e.Message();
    }
    QCOMPARE(message, QStringLiteral("Read timed out."));
    QVERIFY(!ftp.Connected());
}

QTEST_GUILESS_MAIN(tst_FtpClient)
#include "tst_FtpClient.moc"
