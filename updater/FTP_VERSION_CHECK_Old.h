// FTP_CHECK: the update program's FTP client. Passive mode, binary transfers,
// the built-in account, optional user@host proxy login. Used blocking on the
// update window's thread; the progress signals are emitted directly, so the
// window may process pending events (and call Abort) from inside them.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <stdexcept>

// Direction of a transfer as reported by the progress notifications. The
// update program only ever reads.
enum TWorkMode { wmRead, wmWrite };

// Every failure of the transfer clients and download operations. The message
// is the server's reply text, the response's status line or the system's
// message about the socket or file.
class ETransferError : public std::runtime_error
{
public:
    explicit ETransferError(const QString &message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    QString Message() const { return FMessage; }

private:
    QString FMessage;
};

enum TFtpProxyType { fpcmNone, fpcmUserSite };

struct TFtpProxySettings
{
    QString Host;
    int Port = 0;
    TFtpProxyType ProxyType = fpcmNone;
    // Kept for completeness; the update program leaves them empty.
    QString UserName;
    QString Password;
};

class FTP_CHECK : public QObject
{
    Q_OBJECT
public:
    // The account every update server offers. Not configurable on purpose.
    static QString BuiltInUser() { return QStringLiteral("vantorupdate"); }
    static QString BuiltInPassword() { return QStringLiteral("harbor"); }

    static constexpr int DefaultReadTimeout = 120000;

    explicit FTP_CHECK(QObject *parent = nullptr);
    ~FTP_CHECK() override;

    // Configuration (filled from the settings file by the window).
    QString Host;
    int Port = 0;
    TFtpProxySettings ProxySettings;
    QString LocalFile;   // local name of the descriptor copy
    QString RemoteFile;  // server path of the descriptor
    // Milliseconds to wait for each control-connection reply, all its lines
    // together. Tests shorten it.
    int ReadTimeout = DefaultReadTimeout;

    // True while the control connection is open.
    bool Connected() const;

    // Opens the control connection (to the proxy for fpcmUserSite with a proxy
    // host, else to Host:Port), logs in, sets TYPE I and sends SYST.
    // Throws ETransferError; on failure the connection is closed first.
    void Connect(int connectTimeoutMs);

    // SIZE query: the size as a signed 32-bit number, or -1 for any other
    // reply or an unreadable number. Throws ETransferError only when the
    // control connection fails or times out.
    qint32 Size(const QString &serverPath);

    // Retrieves serverPath into target (overwriting, no resume) over a passive
    // data connection. The data goes to a temporary file beside the target,
    // which replaces the target only when the transfer completed and was not
    // aborted; otherwise the old target stays as it was.
    // Throws ETransferError (file not creatable, reply outside the expected
    // codes, connection lost, time-out).
    void Get(const QString &serverPath, const QString &target);

    // Retrieves RemoteFile into target when RemoteFile is not empty.
    void GetRemoteFile(const QString &target);

    // When connected: sends ABOR without waiting for its reply and closes the
    // data connection. Safe to call from inside the progress signals.
    void Abort();

    // Closes the control (and any data) connection without QUIT.
    void Disconnect();

signals:
    void OnWorkBegin(TWorkMode mode, qint64 expectedSize);
    void OnWork(TWorkMode mode, qint64 count);
    void OnWorkEnd(TWorkMode mode);

private:
    struct Reply
    {
        int Code = 0;
        QString Text; // every line of the reply, joined by "\n"
    };
    void SendCommand(const QString &line);
    Reply ReadReply();
    Reply Command(const QString &line, std::initializer_list<int> accepted);
    void Expect(const Reply &reply, std::initializer_list<int> accepted);
    QByteArray ReadControlLine(const QDeadlineTimer &deadline);
    void DrainPendingAbortReplies();
    [[noreturn]] void FailConnection(const QString &message);

    QTcpSocket FControl;
    QTcpSocket FData;
    bool FInTransfer = false;
    int FTransferAborts = 0; // ABORs sent during the running retrieval
    // ABORs sent while no transfer ran, or after the server had already ended
    // the transfer: their replies are still to come and must not be taken for
    // the reply of the next command.
    int FPendingAbortReplies = 0;
};
