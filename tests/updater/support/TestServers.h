// Real servers for the updater tests, started on free loopback ports and
// stopped again (also when a test fails, from the destructor):
//
//   TestServers servers;
//   quint16 ftp   = servers.startFtp(root);            // pyftpdlib, built-in account, home = root
//   quint16 proxy = servers.startFtpProxy();           // ftp-proxy taking USER name@host
//   quint16 http  = servers.startHttp(root);           // nginx serving root (see below)
//   quint16 hprox = servers.startHttpProxy();          // tinyproxy
//   QVERIFY2(ftp, qPrintable(servers.lastError()));    // every start returns 0 on failure
//
// Configs, logs and pid files live in a temporary folder (workDir()); no fixed
// ports, no root-owned default paths, everything runs as the current user.
//
// nginx, besides the files under root, answers:
//   /chunked/<file>  the file sent with "Transfer-Encoding: chunked"
//   /cookie/set      200 with "Set-Cookie: session=abc123; Path=/"
//   /cookie/check    200 "cookie ok" only with the cookie "session=abc123", else 403
//   /redirect        302 to /plain.txt
//   /nocontent       204
// Any other missing path gives 404.
//
// RecordingRelay sits between a client and a server on its own thread (the
// clients block the test's thread) and records the bytes in both directions;
// in scripted mode it is the server itself and answers each request with the
// next canned reply (or stays silent when it has none).
#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class QThread;
class RelayWorker;

// A loopback port that was free a moment ago.
quint16 FreeLoopbackPort();

// An address 127.x.y.z on which the given port could be bound a moment ago,
// or an empty text (e.g. a port below 1024 without the right to bind it).
QString FreeLoopbackAddressFor(quint16 port);

// Writes data to path (parents created); false on failure.
bool WriteTestFile(const QString &path, const QByteArray &data);

class TestServers
{
public:
    struct FtpOptions
    {
        bool sizeUnsupported = false;   // SIZE answered "500 ..."
        bool pasvWithoutBrackets = false; // "227 Entering passive mode 127,0,0,1,p1,p2"
        QString address = QStringLiteral("127.0.0.1");
        quint16 port = 0; // 0: any free port
    };

    TestServers();
    ~TestServers();
    TestServers(const TestServers &) = delete;
    TestServers &operator=(const TestServers &) = delete;

    quint16 startFtp(const QString &root);
    quint16 startFtp(const QString &root, const FtpOptions &options);
    // The proxy dials the host named in "USER name@host" on port 21 (it
    // passes no port on): serve the FTP server for it on port 21 of an
    // address from FreeLoopbackAddressFor(21).
    quint16 startFtpProxy();
    quint16 startHttp(const QString &root);
    quint16 startHttpProxy();

    // Peers that misbehave on purpose (fake_peer.py beside this file):
    // answers every HTTP request with `reply` and closes the connection;
    quint16 startHttpReplyThenClose(const QByteArray &reply);
    // greets every FTP client with "220-" continuation lines, one each
    // intervalMs, for limitSeconds, and then closes without ending the reply.
    quint16 startFtpTrickle(int intervalMs, int limitSeconds);

    // Kills every server started so far.
    void stopAll();

    QString lastError() const { return m_lastError; }
    QString workDir() const { return m_dir.path(); }

private:
    QProcess *launch(const QString &program, const QStringList &args);
    bool waitListening(QProcess *process, quint16 port);
    quint16 startFakePeer(const QStringList &args);

    QTemporaryDir m_dir;
    QList<QProcess *> m_processes;
    QString m_lastError;
    int m_serial = 0;
};

class RecordingRelay
{
public:
    struct Step
    {
        QByteArray reply;
        bool closeAfter = false;
    };

    RecordingRelay();
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay &) = delete;
    RecordingRelay &operator=(const RecordingRelay &) = delete;

    // Forwards every connection to 127.0.0.1:targetPort. Listens on
    // 127.0.0.1:listenPort (0: a free port). Returns the port, 0 on failure.
    quint16 start(quint16 targetPort, quint16 listenPort = 0);
    // The same, listening on another loopback address.
    quint16 startOn(const QString &address, quint16 listenPort, quint16 targetPort);

    // Answers by itself: the greeting (if any) on connect, then each complete
    // request (a line for FTP-style peers when lineMode, else up to the empty
    // line ending the HTTP header) with the next step. No steps: silent.
    quint16 startScripted(const QList<Step> &steps, const QByteArray &greeting = {},
                          bool lineMode = false, quint16 listenPort = 0);

    QByteArray received() const; // client to server, all connections in order
    QByteArray sent() const;     // server to client
    int connections() const;

    void stop();

private:
    friend class RelayWorker;
    mutable QMutex m_mutex;
    QByteArray m_received;
    QByteArray m_sent;
    int m_connections = 0;
    QThread *m_thread = nullptr;
    RelayWorker *m_worker = nullptr;
};
