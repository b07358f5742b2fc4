// THttpClient: request, response parsing, bodies by length, chunks or close.
#include "HttpClient.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QUrl>

#include <algorithm>
#include <climits>

namespace {

constexpr qint64 kReadChunk = 64 * 1024;
constexpr qint64 kMaxLine = 64 * 1024;

struct TUrlParts
{
    QString Host;
    int Port = -1; // -1: the URL names none
    QString Path;
};

// Splits "http://host[:port]/path" as it stands, so the path goes out exactly
// as the descriptor wrote it.
TUrlParts SplitUrl(const QString &url)
{
    TUrlParts parts;
    QString rest = url;
    const qsizetype scheme = rest.indexOf(QStringLiteral("://"));
    if (scheme >= 0)
        rest = rest.mid(scheme + 3);
    qsizetype pathStart = rest.indexOf(QLatin1Char('/'));
    const qsizetype query = rest.indexOf(QLatin1Char('?'));
    if (query >= 0 && (pathStart < 0 || query < pathStart))
        pathStart = query;
    QString authority = pathStart >= 0 ? rest.left(pathStart) : rest;
    parts.Path = pathStart >= 0 ? rest.mid(pathStart) : QStringLiteral("/");
    if (parts.Path.startsWith(QLatin1Char('?')))
        parts.Path.prepend(QLatin1Char('/'));
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0)
        authority = authority.mid(at + 1);
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        const int port = authority.mid(colon + 1).toInt(&ok);
        if (ok)
            parts.Port = port;
        authority = authority.left(colon);
    }
    parts.Host = authority;
    return parts;
}

} // namespace

THttpClient::THttpClient(QObject *parent) : QObject(parent), FCookies(new QNetworkCookieJar(this))
{
    // The proxy is ours to speak to; no system or application proxy may
    // wrap the connection.
    FSocket.setProxy(QNetworkProxy::NoProxy);
}

THttpClient::~THttpClient() = default;

int THttpClient::DefaultUrlPort(int clientPort)
{
    return (clientPort == 0 || clientPort == 80 || clientPort == 443) ? 80 : clientPort;
}

bool THttpClient::Connected() const
{
    return FSocket.state() == QAbstractSocket::ConnectedState;
}

void THttpClient::Disconnect()
{
    if (FSocket.state() != QAbstractSocket::UnconnectedState)
        FDisconnected = true;
    FSocket.abort();
}

void THttpClient::OpenTo(const QString &host, int port, int connectTimeoutMs)
{
    FSocket.abort();
    if (port <= 0 || port > 65535)
        throw ETransferError(QStringLiteral("Connection refused"));
    FSocket.connectToHost(host, static_cast<quint16>(port));
    if (!FSocket.waitForConnected(connectTimeoutMs)) {
        const QString message = FSocket.errorString();
        FSocket.abort();
        throw ETransferError(message);
    }
    FPeerHost = host;
    FPeerPort = port;
}

void THttpClient::Connect(int connectTimeoutMs)
{
    if (!ProxyParams.ProxyServer.isEmpty())
        OpenTo(ProxyParams.ProxyServer, ProxyParams.ProxyPort, connectTimeoutMs);
    else
        OpenTo(Host, Port, connectTimeoutMs);
}

// Waits for bytes beyond those already buffered: buffered bytes that do not
// complete a line are no reason to read on, or a close after half a line would
// never be seen. Returns false when the connection is closed (by the server,
// or by Disconnect from a progress notification); throws ETransferError when
// the deadline passes first.
bool THttpClient::WaitForMoreData(const QDeadlineTimer &deadline)
{
    const qint64 before = FSocket.bytesAvailable();
    for (;;) {
        if (FSocket.state() != QAbstractSocket::ConnectedState)
            return FSocket.bytesAvailable() > before;
        if (deadline.hasExpired()) {
            FSocket.abort();
            throw ETransferError(QStringLiteral("Read timed out."));
        }
        const qint64 left = deadline.remainingTime();
        FSocket.waitForReadyRead(left < 0 ? -1 : static_cast<int>(std::clamp<qint64>(left, 1, INT_MAX)));
        if (FSocket.bytesAvailable() > before)
            return true;
    }
}

QByteArray THttpClient::ReadLine(const QDeadlineTimer &deadline)
{
    for (;;) {
        if (FSocket.canReadLine()) {
            QByteArray line = FSocket.readLine();
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            return line;
        }
        // No header or chunk-size line is anywhere near this long; a peer
        // that sends one is not an HTTP server.
        if (FSocket.bytesAvailable() > kMaxLine) {
            FSocket.abort();
            throw ETransferError(QStringLiteral("Response line too long."));
        }
        if (!WaitForMoreData(deadline)) {
            FSocket.abort();
            throw ETransferError(QStringLiteral("Connection closed by the server."));
        }
    }
}

// Reads into `body` until `length` bytes came (-1: until the server closes)
// or the wait for more runs out; returns the bytes read.
qint64 THttpClient::ReadBody(qint64 length, QByteArray &body)
{
    emit OnWorkBegin(wmRead, length < 0 ? 0 : length);
    qint64 count = 0;
    try {
        while ((length < 0 || count < length) && !FDisconnected) {
            if (FSocket.bytesAvailable() == 0 && !WaitForMoreData(QDeadlineTimer(ReadTimeout)))
                break;
            const QByteArray data = FSocket.read(length < 0 ? kReadChunk : qMin(kReadChunk, length - count));
            body += data;
            count += data.size();
            emit OnWork(wmRead, count);
        }
    } catch (const ETransferError &) {
        emit OnWorkEnd(wmRead);
        throw;
    }
    emit OnWorkEnd(wmRead);
    return count;
}

// One transfer of a known length: the whole body, or one chunk.
bool THttpClient::ReadTransfer(qint64 length, QByteArray &body)
{
    return ReadBody(length, body) == length;
}

bool THttpClient::ReadToClose(QByteArray &body)
{
    ReadBody(-1, body);
    return !FDisconnected;
}

QByteArray THttpClient::Get(const QString &url)
{
    FComplete = true;
    FStatusLine.clear();
    const TUrlParts parts = SplitUrl(url);
    const int port = parts.Port >= 0 ? parts.Port : DefaultUrlPort(Port);
    const bool viaProxy = !ProxyParams.ProxyServer.isEmpty();
    const QString peerHost = viaProxy ? ProxyParams.ProxyServer : parts.Host;
    const int peerPort = viaProxy ? ProxyParams.ProxyPort : port;

    // A kept-alive connection the server has closed meanwhile is only seen
    // once the socket is polled.
    if (Connected() && FSocket.bytesAvailable() == 0)
        FSocket.waitForReadyRead(0);
    if (Connected() && (FPeerHost != peerHost || FPeerPort != peerPort || FSocket.bytesAvailable() > 0))
        FSocket.abort();
    if (!Connected())
        OpenTo(peerHost, peerPort, -1);
    FDisconnected = false;

    const QUrl qurl(url);
    QByteArray request = "GET " + (viaProxy ? url : parts.Path).toUtf8() + " HTTP/1.1\r\n";
    request += "Content-Type: " + ContentType().toUtf8() + "\r\n";
    request += "Host: " + parts.Host.toUtf8();
    if (port != 80)
        request += ':' + QByteArray::number(port);
    request += "\r\n";
    request += "Accept: " + Accept().toUtf8() + "\r\n";
    request += "User-Agent: " + UserAgent().toUtf8() + "\r\n";
    const QList<QNetworkCookie> cookies = FCookies->cookiesForUrl(qurl);
    if (!cookies.isEmpty()) {
        QList<QByteArray> pairs;
        for (const QNetworkCookie &cookie : cookies)
            pairs << cookie.toRawForm(QNetworkCookie::NameAndValueOnly);
        request += "Cookie: " + pairs.join("; ") + "\r\n";
    }
    request += "\r\n";
    FSocket.write(request);
    while (FSocket.bytesToWrite() > 0)
        if (!FSocket.waitForBytesWritten(ReadTimeout))
            break;

    int status = 0;
    QByteArray version;
    qint64 contentLength = -1;
    bool chunked = false;
    QByteArray connection;
    for (;;) {
        // The status line and the headers are one reply: a server that
        // trickles header lines is held to the same limit as a silent one.
        const QDeadlineTimer replyDeadline(ReadTimeout);
        const QByteArray statusLine = ReadLine(replyDeadline);
        FStatusLine = QString::fromUtf8(statusLine);
        const QList<QByteArray> fields = statusLine.split(' ');
        version = fields.value(0).toUpper();
        status = fields.value(1).toInt();
        if (!version.startsWith("HTTP/") || status == 0) {
            FSocket.abort();
            throw ETransferError(FStatusLine);
        }
        contentLength = -1;
        chunked = false;
        connection.clear();
        for (;;) {
            const QByteArray line = ReadLine(replyDeadline);
            if (line.isEmpty())
                break;
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-length")
                contentLength = value.toLongLong();
            else if (name == "transfer-encoding")
                chunked = value.toLower().contains("chunked");
            else if (name == "connection")
                connection = value.toLower();
            else if (name == "set-cookie" || name == "set-cookie2")
                FCookies->setCookiesFromUrl(QNetworkCookie::parseCookies(value), qurl);
        }
        if (status != 100)
            break;
    }

    QByteArray body;
    bool closedByBody = false;
    if (status == 204 || status == 304 || (status >= 100 && status < 200)) {
        // no body
    } else if (chunked) {
        while (!FDisconnected) {
            const QByteArray sizeLine = ReadLine(QDeadlineTimer(ReadTimeout));
            bool ok = false;
            const qint64 size = sizeLine.split(';').value(0).trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0) {
                FSocket.abort();
                throw ETransferError(QStringLiteral("Invalid chunk size."));
            }
            if (size == 0) {
                const QDeadlineTimer trailerDeadline(ReadTimeout);
                while (!ReadLine(trailerDeadline).isEmpty()) {
                }
                break;
            }
            // A Cancel during the chunk's last notification leaves no
            // connection to read the chunk's end from.
            if (!ReadTransfer(size, body) || FDisconnected) {
                FComplete = false;
                break;
            }
            ReadLine(QDeadlineTimer(ReadTimeout));
        }
        if (FDisconnected)
            FComplete = false;
    } else if (contentLength >= 0) {
        FComplete = ReadTransfer(contentLength, body);
    } else {
        FComplete = ReadToClose(body);
        closedByBody = true;
    }

    const bool keepAlive = version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
    if (!keepAlive || closedByBody || !FComplete)
        FSocket.abort();

    if (status < 200 || status > 299)
        throw ETransferError(FStatusLine);
    return body;
}
