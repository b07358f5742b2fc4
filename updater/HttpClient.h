// THttpClient: the update program's HTTP/1.1 client (GET only), optionally
// through an HTTP proxy, with in-memory cookies. Used blocking on the update
// window's thread; the progress signals are emitted directly, so the window
// may process pending events (and call Disconnect) from inside them.
#pragma once

#include "FTP_VERSION_CHECK_Old.h" // TWorkMode, ETransferError

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTcpSocket>

class QNetworkCookieJar;

struct THttpProxyParams
{
    QString ProxyServer; // empty: no proxy
    int ProxyPort = 0;
};

class THttpClient : public QObject
{
    Q_OBJECT
public:
    explicit THttpClient(QObject *parent = nullptr);
    ~THttpClient() override;

    // Configuration (filled from the settings file by the window).
    QString Host;
    int Port = 0;
    THttpProxyParams ProxyParams;

    static constexpr int DefaultReadTimeout = 120000;
    // Milliseconds the client waits for the server: for a response's status
    // line and headers as a whole, for each chunk-size line, and for each
    // arrival of body data. Tests shorten it.
    int ReadTimeout = DefaultReadTimeout;

    // The fixed request headers.
    static QString ContentType() { return QStringLiteral("text/html"); }
    static QString Accept() { return QStringLiteral("text/html, */*"); }
    static QString UserAgent() { return QStringLiteral("Mozilla/3.0 (compatible; Indy Library)"); }

    // True while a connection is open.
    bool Connected() const;

    // Opens a connection to ProxyServer:ProxyPort when a proxy server is set,
    // otherwise to Host:Port. Throws ETransferError with the system's message.
    void Connect(int connectTimeoutMs);

    // GET url over HTTP/1.1 and return the body. Reuses the open connection
    // when it goes to the right endpoint, else (re)connects. A status outside
    // 2xx throws ETransferError carrying the status line. A body cut short
    // (server closed early, or Disconnect from a progress signal) returns
    // what arrived, with LastResponseComplete() false. A connection closed
    // before a status, header or chunk-size line is complete, a line longer
    // than 64 KiB, or a server silent beyond ReadTimeout throws ETransferError
    // and closes the connection.
    QByteArray Get(const QString &url);

    // False when the last Get's body ended before its announced end.
    bool LastResponseComplete() const { return FComplete; }
    // Status line of the last response ("HTTP/1.1 200 OK").
    QString LastStatusLine() const { return FStatusLine; }

    // Closes the connection; a request in progress stops reading.
    void Disconnect();

    // The port a URL without an explicit port goes to, given the client's Port:
    // the client's Port unless it is 0, 80 or 443, in which case 80.
    static int DefaultUrlPort(int clientPort);

signals:
    void OnWorkBegin(TWorkMode mode, qint64 expectedSize);
    void OnWork(TWorkMode mode, qint64 count);
    void OnWorkEnd(TWorkMode mode);

private:
    void OpenTo(const QString &host, int port, int connectTimeoutMs);
    QByteArray ReadLine(const QDeadlineTimer &deadline);
    qint64 ReadBody(qint64 length, QByteArray &body);
    bool ReadTransfer(qint64 length, QByteArray &body);
    bool ReadToClose(QByteArray &body);
    bool WaitForMoreData(const QDeadlineTimer &deadline);

    QTcpSocket FSocket;
    QString FPeerHost;
    int FPeerPort = 0;
    QNetworkCookieJar *FCookies = nullptr;
    bool FComplete = true;
    bool FDisconnected = false; // Disconnect called during the request
    QString FStatusLine;
};
