// Real servers on loopback for the updater tests, and the recording relay.
#include "TestServers.h"

#include "FTP_VERSION_CHECK_Old.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <functional>

#include <csignal>
#include <sys/prctl.h>

namespace {

const char kFtpScript[] = R"PY(
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

user, password, root = sys.argv[1], sys.argv[2], sys.argv[3]
size_unsupported = sys.argv[4] == "1"
no_brackets = sys.argv[5] == "1"
address, port = sys.argv[6], int(sys.argv[7])

class Handler(FTPHandler):
    def ftp_SIZE(self, path):
        if size_unsupported:
            self.respond('500 Command "SIZE" not understood.')
            return
        return FTPHandler.ftp_SIZE(self, path)

    def respond(self, resp, *args, **kwargs):
        if no_brackets and resp.startswith("227"):
            resp = "227 Entering passive mode " + resp[resp.index("(") + 1:resp.index(")")]
        return FTPHandler.respond(self, resp, *args, **kwargs)

authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elr")
Handler.authorizer = authorizer
Handler.banner = "Test FTP server ready."
server = FTPServer((address, port), Handler)
print(server.address[1], flush=True)
server.serve_forever()
)PY";

} // namespace

quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString FreeLoopbackAddressFor(quint16 port)
{
    // Derived from the process id so that parallel test programs try
    // different addresses first.
    const quint32 seed = static_cast<quint32>(QCoreApplication::applicationPid());
    for (quint32 i = 0; i < 64; ++i) {
        const quint32 n = (seed * 64 + i) % (250 * 250);
        const QHostAddress address(QStringLiteral("127.%1.%2.%3").arg(10 + n / 250 % 200).arg(n % 250 + 1).arg(i % 250 + 1));
        QTcpServer probe;
        if (probe.listen(address, port))
            return address.toString();
        if (probe.serverError() == QAbstractSocket::SocketAccessError)
            return {};
    }
    return {};
}

bool WriteTestFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

TestServers::TestServers() = default;

TestServers::~TestServers()
{
    stopAll();
}

void TestServers::stopAll()
{
    for (QProcess *process : std::as_const(m_processes)) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
        delete process;
    }
    m_processes.clear();
}

QProcess *TestServers::launch(const QString &program, const QStringList &args)
{
    auto *process = new QProcess;
    const QString base = m_dir.filePath(QStringLiteral("proc%1").arg(++m_serial));
    process->setStandardErrorFile(base + QStringLiteral(".err"));
    process->setWorkingDirectory(m_dir.path());
    // A test that crashes never reaches the destructor: let the kernel stop
    // the server together with the test program.
    process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process->start(program, args);
    m_processes << process;
    if (!process->waitForStarted(5000)) {
        m_lastError = program + QStringLiteral(": ") + process->errorString();
        return nullptr;
    }
    return process;
}

bool TestServers::waitListening(QProcess *process, quint16 port)
{
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (process->state() == QProcess::NotRunning)
            break;
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200)) {
            probe.abort();
            return true;
        }
        process->waitForFinished(50); // returns at once if the server died
    }
    m_lastError = QStringLiteral("%1 did not listen on port %2 (see %3)")
                      .arg(process->program()).arg(port).arg(m_dir.path());
    return false;
}

quint16 TestServers::startFtp(const QString &root)
{
    return startFtp(root, FtpOptions());
}

quint16 TestServers::startFtp(const QString &root, const FtpOptions &options)
{
    if (!m_dir.isValid()) {
        m_lastError = QStringLiteral("no temporary folder");
        return 0;
    }
    const QString script = m_dir.filePath(QStringLiteral("ftpserver.py"));
    if (!WriteTestFile(script, kFtpScript)) {
        m_lastError = QStringLiteral("cannot write ") + script;
        return 0;
    }
    // pyftpdlib is installed for Debian's own interpreter, which need not be
    // the first python3 on PATH.
    QProcess *process = launch(QStringLiteral("/usr/bin/python3"),
                               {script, FTP_CHECK::BuiltInUser(), FTP_CHECK::BuiltInPassword(),
                                QDir(root).absolutePath(),
                                options.sizeUnsupported ? QStringLiteral("1") : QStringLiteral("0"),
                                options.pasvWithoutBrackets ? QStringLiteral("1") : QStringLiteral("0"),
                                options.address, QString::number(options.port)});
    if (!process)
        return 0;
    QDeadlineTimer deadline(15000);
    while (!process->canReadLine() && process->state() == QProcess::Running && !deadline.hasExpired())
        process->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    const quint16 port = static_cast<quint16>(process->readLine().trimmed().toUInt());
    if (port == 0)
        m_lastError = QStringLiteral("FTP server did not start (see %1)").arg(m_dir.path());
    return port;
}

quint16 TestServers::startFakePeer(const QStringList &args)
{
    const QString script = QStringLiteral(VANTOR_SOURCE_DIR "/tests/updater/support/fake_peer.py");
    QProcess *process = launch(QStringLiteral("/usr/bin/python3"), QStringList{script} + args);
    if (!process)
        return 0;
    QDeadlineTimer deadline(15000);
    while (!process->canReadLine() && process->state() == QProcess::Running && !deadline.hasExpired())
        process->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    const quint16 port = static_cast<quint16>(process->readLine().trimmed().toUInt());
    if (port == 0)
        m_lastError = QStringLiteral("fake peer did not start (see %1)").arg(m_dir.path());
    return port;
}

quint16 TestServers::startHttpReplyThenClose(const QByteArray &reply)
{
    return startFakePeer({QStringLiteral("http-reply"), QString::fromLatin1(reply.toHex())});
}

quint16 TestServers::startFtpTrickle(int intervalMs, int limitSeconds)
{
    return startFakePeer({QStringLiteral("ftp-trickle"), QString::number(intervalMs), QString::number(limitSeconds)});
}

quint16 TestServers::startFtpProxy()
{
    const quint16 port = FreeLoopbackPort();
    const QString conf = m_dir.filePath(QStringLiteral("ftp-proxy.conf"));
    const QString text = QStringLiteral(
                             "[-Global-]\n"
                             "ServerType standalone\n"
                             "Listen 127.0.0.1\n"
                             "Port %1\n"
                             "DestinationAddress 127.0.0.1\n"
                             "AllowMagicUser yes\n"
                             "PidFile %2/ftp-proxy.pid\n"
                             "LogDestination %2/ftp-proxy.log\n"
                             "LogLevel INF\n")
                             .arg(port)
                             .arg(m_dir.path());
    if (!WriteTestFile(conf, text.toUtf8())) {
        m_lastError = QStringLiteral("cannot write ") + conf;
        return 0;
    }
    QProcess *process = launch(QStringLiteral("/usr/sbin/ftp-proxy"), {QStringLiteral("-d"), QStringLiteral("-n"),
                                                                        QStringLiteral("-f"), conf});
    if (!process || !waitListening(process, port))
        return 0;
    return port;
}

quint16 TestServers::startHttp(const QString &root)
{
    const quint16 port = FreeLoopbackPort();
    const QString dir = m_dir.path();
    const QString conf = m_dir.filePath(QStringLiteral("nginx.conf"));
    // master_process off: one process that keeps the current user, so no
    // worker switches to an account that cannot read the test's folders.
    const QString text =
        QStringLiteral(
            "daemon off;\n"
            "master_process off;\n"
            "worker_processes 1;\n"
            "pid %1/nginx.pid;\n"
            "error_log %1/nginx-error.log info;\n"
            "events { worker_connections 64; }\n"
            "http {\n"
            "  access_log %1/nginx-access.log;\n"
            "  client_body_temp_path %1/nginx-body;\n"
            "  proxy_temp_path %1/nginx-proxy;\n"
            "  fastcgi_temp_path %1/nginx-fastcgi;\n"
            "  uwsgi_temp_path %1/nginx-uwsgi;\n"
            "  scgi_temp_path %1/nginx-scgi;\n"
            "  default_type application/octet-stream;\n"
            "  server {\n"
            "    listen 127.0.0.1:%2;\n"
            "    root %3;\n"
            // The SSI filter drops the length, so the body goes out in chunks.
            "    location /chunked/ { ssi on; ssi_types *; alias %3/; }\n"
            "    location = /cookie/set { add_header Set-Cookie \"session=abc123; Path=/\"; return 200 \"cookie set\\n\"; }\n"
            "    location = /cookie/check { if ($cookie_session != \"abc123\") { return 403; } return 200 \"cookie ok\\n\"; }\n"
            "    location = /redirect { return 302 /plain.txt; }\n"
            "    location = /nocontent { return 204; }\n"
            "  }\n"
            "}\n")
            .arg(dir)
            .arg(port)
            .arg(QDir(root).absolutePath());
    if (!WriteTestFile(conf, text.toUtf8())) {
        m_lastError = QStringLiteral("cannot write ") + conf;
        return 0;
    }
    QProcess *process = launch(QStringLiteral("/usr/sbin/nginx"),
                               {QStringLiteral("-p"), dir, QStringLiteral("-c"), conf, QStringLiteral("-e"),
                                dir + QStringLiteral("/nginx-error.log")});
    if (!process || !waitListening(process, port))
        return 0;
    return port;
}

quint16 TestServers::startHttpProxy()
{
    const quint16 port = FreeLoopbackPort();
    const QString conf = m_dir.filePath(QStringLiteral("tinyproxy.conf"));
    const QString text = QStringLiteral(
                             "Port %1\n"
                             "Listen 127.0.0.1\n"
                             "Timeout 60\n"
                             "MaxClients 16\n"
                             "Allow 127.0.0.1\n"
                             "DisableViaHeader Yes\n"
                             "LogLevel Info\n"
                             "LogFile \"%2/tinyproxy.log\"\n"
                             "PidFile \"%2/tinyproxy.pid\"\n")
                             .arg(port)
                             .arg(m_dir.path());
    if (!WriteTestFile(conf, text.toUtf8())) {
        m_lastError = QStringLiteral("cannot write ") + conf;
        return 0;
    }
    QProcess *process = launch(QStringLiteral("/usr/bin/tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"), conf});
    if (!process || !waitListening(process, port))
        return 0;
    return port;
}

// ---------------------------------------------------------------------------

class RelayWorker : public QObject
{
public:
    RelayWorker(RecordingRelay *owner) : m_owner(owner) {}

    quint16 listen(quint16 listenPort)
    {
        m_server = new QTcpServer(this);
        if (!m_server->listen(m_address, listenPort))
            return 0;
        connect(m_server, &QTcpServer::newConnection, this, &RelayWorker::accept);
        return m_server->serverPort();
    }

    // Closes the listener and every connection (they are its children).
    void shutdown()
    {
        delete m_server;
        m_server = nullptr;
    }

    QHostAddress m_address = QHostAddress(QHostAddress::LocalHost);
    quint16 m_targetPort = 0;
    bool m_scripted = false;
    bool m_lineMode = false;
    QByteArray m_greeting;
    QList<RecordingRelay::Step> m_steps;

private:
    void record(QByteArray RecordingRelay::*field, const QByteArray &data)
    {
        QMutexLocker lock(&m_owner->m_mutex);
        m_owner->*field += data;
    }

    void accept()
    {
        while (QTcpSocket *client = m_server->nextPendingConnection()) {
            {
                QMutexLocker lock(&m_owner->m_mutex);
                ++m_owner->m_connections;
            }
            if (m_scripted)
                serveScripted(client);
            else
                forward(client);
        }
    }

    void forward(QTcpSocket *client)
    {
        auto *upstream = new QTcpSocket(client);
        auto pending = std::make_shared<QByteArray>();
        connect(upstream, &QTcpSocket::connected, client, [upstream, pending] {
            upstream->write(*pending);
            pending->clear();
        });
        connect(client, &QTcpSocket::readyRead, upstream, [this, client, upstream, pending] {
            const QByteArray data = client->readAll();
            record(&RecordingRelay::m_received, data);
            if (upstream->state() == QAbstractSocket::ConnectedState)
                upstream->write(data);
            else
                *pending += data;
        });
        connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream] {
            const QByteArray data = upstream->readAll();
            record(&RecordingRelay::m_sent, data);
            client->write(data);
        });
        connect(upstream, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
        connect(upstream, &QTcpSocket::errorOccurred, client, [client](QAbstractSocket::SocketError) {
            client->disconnectFromHost();
        });
        connect(client, &QTcpSocket::disconnected, client, [client, upstream] {
            upstream->disconnectFromHost();
            client->deleteLater();
        });
        upstream->connectToHost(QHostAddress::LocalHost, m_targetPort);
    }

    void serveScripted(QTcpSocket *client)
    {
        auto buffer = std::make_shared<QByteArray>();
        if (!m_greeting.isEmpty()) {
            record(&RecordingRelay::m_sent, m_greeting);
            client->write(m_greeting);
        }
        connect(client, &QTcpSocket::readyRead, client, [this, client, buffer] {
            const QByteArray data = client->readAll();
            record(&RecordingRelay::m_received, data);
            *buffer += data;
            const QByteArray end = m_lineMode ? QByteArray("\r\n") : QByteArray("\r\n\r\n");
            qsizetype at;
            while ((at = buffer->indexOf(end)) >= 0) {
                buffer->remove(0, at + end.size());
                if (m_steps.isEmpty())
                    continue;
                const RecordingRelay::Step step = m_steps.takeFirst();
                record(&RecordingRelay::m_sent, step.reply);
                client->write(step.reply);
                if (step.closeAfter) {
                    client->disconnectFromHost();
                    return;
                }
            }
        });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }

    RecordingRelay *m_owner;
    QTcpServer *m_server = nullptr;
};

RecordingRelay::RecordingRelay() = default;

RecordingRelay::~RecordingRelay()
{
    stop();
}

void RecordingRelay::stop()
{
    if (!m_thread)
        return;
    RelayWorker *w = m_worker;
    QMetaObject::invokeMethod(w, [w] { w->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker; // its thread has ended
    m_worker = nullptr;
    delete m_thread;
    m_thread = nullptr;
}

static quint16 startWorker(QThread *&thread, RelayWorker *&worker, RecordingRelay *owner,
                           const std::function<void(RelayWorker *)> &setup, quint16 listenPort)
{
    worker = new RelayWorker(owner);
    setup(worker);
    thread = new QThread;
    thread->setObjectName(QStringLiteral("RecordingRelay"));
    worker->moveToThread(thread);
    thread->start();
    quint16 port = 0;
    RelayWorker *w = worker;
    QMetaObject::invokeMethod(w, [w, &port, listenPort] { port = w->listen(listenPort); },
                              Qt::BlockingQueuedConnection);
    return port;
}

quint16 RecordingRelay::start(quint16 targetPort, quint16 listenPort)
{
    stop();
    return startWorker(m_thread, m_worker, this, [targetPort](RelayWorker *w) { w->m_targetPort = targetPort; },
                       listenPort);
}

quint16 RecordingRelay::startOn(const QString &address, quint16 listenPort, quint16 targetPort)
{
    stop();
    return startWorker(
        m_thread, m_worker, this,
        [&](RelayWorker *w) {
            w->m_address = QHostAddress(address);
            w->m_targetPort = targetPort;
        },
        listenPort);
}

quint16 RecordingRelay::startScripted(const QList<Step> &steps, const QByteArray &greeting, bool lineMode,
                                      quint16 listenPort)
{
    stop();
    return startWorker(
        m_thread, m_worker, this,
        [&](RelayWorker *w) {
            w->m_scripted = true;
            w->m_steps = steps;
            w->m_greeting = greeting;
            w->m_lineMode = lineMode;
        },
        listenPort);
}

QByteArray RecordingRelay::received() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

QByteArray RecordingRelay::sent() const
{
    QMutexLocker lock(&m_mutex);
    return m_sent;
}

int RecordingRelay::connections() const
{
    QMutexLocker lock(&m_mutex);
    return m_connections;
}
