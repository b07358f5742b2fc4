// FTP_CHECK: control connection, login, SIZE and passive retrieval.
#include "FTP_VERSION_CHECK_Old.h"

#include "ProgramMode.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QSaveFile>

#include <algorithm>
#include <climits>

namespace {

constexpr qint64 kReadChunk = 64 * 1024;
constexpr qint64 kMaxLine = 64 * 1024;

bool IsIn(int code, std::initializer_list<int> codes)
{
    for (int c : codes)
        if (c == code)
            return true;
    return false;
}

// "227 Entering Passive Mode (127,0,0,1,195,80)." or, from servers that leave
// the brackets out, the numbers after the last blank.
bool ParsePasv(const QString &reply, QString &host, quint16 &port)
{
    QString line = reply.section(QLatin1Char('\n'), 0, 0).trimmed();
    QString address;
    const qsizetype open = line.indexOf(QLatin1Char('('));
    const qsizetype close = line.indexOf(QLatin1Char(')'), open + 1);
    if (open >= 0 && close > open)
        address = line.mid(open + 1, close - open - 1);
    else
        address = line.mid(line.lastIndexOf(QLatin1Char(' ')) + 1);
    const QStringList parts = address.split(QLatin1Char(','));
    if (parts.size() != 6)
        return false;
    int n[6];
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        n[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || n[i] < 0 || n[i] > 255)
            return false;
    }
    host = QStringLiteral("%1.%2.%3.%4").arg(n[0]).arg(n[1]).arg(n[2]).arg(n[3]);
    port = static_cast<quint16>(n[4] * 256 + n[5]);
    return true;
}

} // namespace

FTP_CHECK::FTP_CHECK(QObject *parent) : QObject(parent)
{
    // The FTP proxy is handled by the login form; no system or application
    // proxy may wrap the connections.
    FControl.setProxy(QNetworkProxy::NoProxy);
    FData.setProxy(QNetworkProxy::NoProxy);
}

FTP_CHECK::~FTP_CHECK() = default;

bool FTP_CHECK::Connected() const
{
    return FControl.state() == QAbstractSocket::ConnectedState;
}

void FTP_CHECK::FailConnection(const QString &message)
{
    Disconnect();
    throw ETransferError(message);
}

void FTP_CHECK::Connect(int connectTimeoutMs)
{
    Disconnect();
    const bool viaProxy = ProxySettings.ProxyType == fpcmUserSite && !ProxySettings.Host.isEmpty();
    const QString host = viaProxy ? ProxySettings.Host : Host;
    const int port = viaProxy ? ProxySettings.Port : Port;
    if (port <= 0 || port > 65535)
        FailConnection(QStringLiteral("Connection refused"));
    FControl.connectToHost(host, static_cast<quint16>(port));
    if (!FControl.waitForConnected(connectTimeoutMs))
        FailConnection(FControl.errorString());

    try {
        Expect(ReadReply(), {220});
        // The login form follows the proxy type alone: user@host names the
        // server (never the proxy, and no port) for the proxy to dial.
        QString user = BuiltInUser();
        if (ProxySettings.ProxyType == fpcmUserSite)
            user += QLatin1Char('@') + Host;
        const Reply login = Command(QStringLiteral("USER ") + user, {230, 331});
        if (login.Code == 331)
            Command(QStringLiteral("PASS ") + BuiltInPassword(), {230});
        Command(QStringLiteral("TYPE I"), {200});
        Command(QStringLiteral("SYST"), {200, 215, 500});
    } catch (const ETransferError &) {
        Disconnect();
        throw;
    }
}

void FTP_CHECK::Disconnect()
{
    FData.abort();
    FControl.abort();
    FInTransfer = false;
    FTransferAborts = 0;
    FPendingAbortReplies = 0;
}

void FTP_CHECK::Abort()
{
    if (!Connected())
        return;
    FControl.write("ABOR\r\n");
    FControl.flush();
    if (FInTransfer)
        ++FTransferAborts;
    else
        ++FPendingAbortReplies;
    FData.abort();
}

QByteArray FTP_CHECK::ReadControlLine(const QDeadlineTimer &deadline)
{
    for (;;) {
        if (FControl.canReadLine())
            return FControl.readLine();
        // No reply line is anywhere near this long; a peer that sends one is
        // not an FTP server.
        if (FControl.bytesAvailable() > kMaxLine)
            FailConnection(QStringLiteral("Reply line too long."));
        if (FControl.state() != QAbstractSocket::ConnectedState)
            FailConnection(QStringLiteral("Connection closed by the server."));
        if (deadline.hasExpired())
            FailConnection(QStringLiteral("Read timed out."));
        const qint64 left = deadline.remainingTime();
        FControl.waitForReadyRead(left < 0 ? -1 : static_cast<int>(std::clamp<qint64>(left, 1, INT_MAX)));
    }
}

FTP_CHECK::Reply FTP_CHECK::ReadReply()
{
    // The time-out covers the whole reply: a server that keeps sending
    // continuation lines holds the client no longer than a silent one.
    const QDeadlineTimer deadline(ReadTimeout);
    Reply reply;
    QStringList lines;
    QString first = QString::fromUtf8(ReadControlLine(deadline)).trimmed();
    lines << first;
    bool ok = false;
    reply.Code = first.left(3).toInt(&ok);
    if (!ok || first.size() < 3)
        reply.Code = 0;
    // A multi-line reply runs from "ddd-" to the first line "ddd ".
    if (reply.Code != 0 && first.size() > 3 && first.at(3) == QLatin1Char('-')) {
        const QString end = first.left(3) + QLatin1Char(' ');
        for (;;) {
            const QString line = QString::fromUtf8(ReadControlLine(deadline)).trimmed();
            lines << line;
            if (line.startsWith(end) || line == first.left(3))
                break;
        }
    }
    reply.Text = lines.join(QLatin1Char('\n'));
    return reply;
}

void FTP_CHECK::DrainPendingAbortReplies()
{
    while (FPendingAbortReplies > 0) {
        --FPendingAbortReplies;
        ReadReply();
    }
}

void FTP_CHECK::SendCommand(const QString &line)
{
    if (!Connected())
        FailConnection(QStringLiteral("Not connected."));
    DrainPendingAbortReplies();
    FControl.write(line.toUtf8() + "\r\n");
    FControl.flush();
}

void FTP_CHECK::Expect(const Reply &reply, std::initializer_list<int> accepted)
{
    if (!IsIn(reply.Code, accepted))
        throw ETransferError(reply.Text);
}

FTP_CHECK::Reply FTP_CHECK::Command(const QString &line, std::initializer_list<int> accepted)
{
    SendCommand(line);
    Reply reply = ReadReply();
    Expect(reply, accepted);
    return reply;
}

qint32 FTP_CHECK::Size(const QString &serverPath)
{
    SendCommand(QStringLiteral("SIZE ") + serverPath);
    const Reply reply = ReadReply();
    if (reply.Code != 213)
        return -1;
    const QString first = reply.Text.section(QLatin1Char('\n'), 0, 0);
    const qsizetype blank = first.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return -1;
    bool ok = false;
    const qint32 size = first.mid(blank + 1).trimmed().toInt(&ok);
    return ok ? size : -1;
}

void FTP_CHECK::GetRemoteFile(const QString &target)
{
    if (!RemoteFile.isEmpty())
        Get(RemoteFile, target);
}

void FTP_CHECK::Get(const QString &serverPath, const QString &target)
{
    // The old target must survive anything short of a complete transfer, so
    // the data goes to a temporary file that is renamed over it at the end.
    // Unbuffered, so that every short write is seen at once (see WriteWholeFile).
    const bool existed = QFileInfo::exists(target);
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw ETransferError(QStringLiteral("Cannot create file \"%1\". %2").arg(target, file.errorString()));

    const Reply pasv = Command(QStringLiteral("PASV"), {227});
    QString dataHost;
    quint16 dataPort = 0;
    if (!ParsePasv(pasv.Text, dataHost, dataPort))
        throw ETransferError(pasv.Text);

    FData.abort();
    FData.connectToHost(dataHost, dataPort);
    if (!FData.waitForConnected(-1)) {
        const QString message = FData.errorString();
        FData.abort();
        throw ETransferError(message);
    }
    try {
        Command(QStringLiteral("RETR ") + serverPath, {125, 150, 154});
    } catch (const ETransferError &) {
        FData.abort();
        throw;
    }

    FInTransfer = true;
    FTransferAborts = 0;
    emit OnWorkBegin(wmRead, 0);
    bool complete = false;
    QByteArray head; // the first bytes, which tell a program from a document
    try {
        qint64 count = 0;
        QDeadlineTimer deadline(ReadTimeout);
        for (;;) {
            if (FData.bytesAvailable() > 0) {
                const QByteArray chunk = FData.read(kReadChunk);
                if (head.size() < 4)
                    head += chunk.left(4 - head.size());
                if (file.write(chunk) != chunk.size())
                    throw ETransferError(QStringLiteral("Cannot write file \"%1\". %2").arg(target, file.errorString()));
                count += chunk.size();
                deadline.setRemainingTime(ReadTimeout);
                emit OnWork(wmRead, count);
                continue;
            }
            // The server closed the data connection (end of file), or an
            // abort from inside OnWork closed it.
            if (FData.state() != QAbstractSocket::ConnectedState)
                break;
            if (deadline.hasExpired())
                FailConnection(QStringLiteral("Read timed out."));
            FData.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        }
        FData.abort();

        FInTransfer = false;
        const Reply final = ReadReply();
        if (IsIn(final.Code, {426, 450})) {
            // The transfer was cut; the follow-up reply is the ABOR answer
            // when we aborted.
            Expect(ReadReply(), {226, 225});
            FPendingAbortReplies += qMax(0, FTransferAborts - 1);
        } else {
            Expect(final, {225, 226, 250});
            // The server had finished before our ABOR reached it; its answer
            // to the ABOR is still to come.
            FPendingAbortReplies += FTransferAborts;
            complete = FTransferAborts == 0;
        }
    } catch (const ETransferError &) {
        FInTransfer = false;
        FData.abort();
        emit OnWorkEnd(wmRead);
        throw;
    }
    FTransferAborts = 0;
    emit OnWorkEnd(wmRead);

    if (complete && (!GrantProgramMode(file, existed, head) || !file.commit()))
        throw ETransferError(QStringLiteral("Cannot write file \"%1\". %2").arg(target, file.errorString()));
    // Otherwise the temporary file is discarded with the QSaveFile.
}
