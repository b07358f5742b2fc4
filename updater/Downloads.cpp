// The update run's download operations.
#include "Downloads.h"

#include "ProgramMode.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

int g_connectTimeout = 30000;

// Writes a whole body atomically: the old file stays until the new one is
// complete on disk.
void WriteWholeFile(const QString &path, const QByteArray &data)
{
    // Unbuffered: through Qt's buffer a short write (disk full, size limit) can
    // go unnoticed and commit() would rename a truncated file into place.
    const bool existed = QFileInfo::exists(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw ETransferError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
    if (file.write(data) != data.size() || !GrantProgramMode(file, existed, data) || !file.commit())
        throw ETransferError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, file.errorString()));
}

} // namespace

int DownloadConnectTimeout()
{
    return g_connectTimeout;
}

void SetDownloadConnectTimeout(int ms)
{
    g_connectTimeout = ms;
}

QString DownloadTarget(const QString &value, const QString &installDir)
{
    if (value.endsWith(QLatin1Char('*')))
        return value.chopped(1);
    // An empty value would name the install folder itself, not a file.
    return value.isEmpty() ? QString() : installDir + value;
}

QString FetchDescriptor(const QString &protocol, FTP_CHECK &ftp, THttpClient &http,
                        const THttpDescriptorSource &source, const TAddLog &addLog)
{
    if (protocol == QLatin1String("FTP")) {
        if (!ftp.Connected())
            ftp.Connect(g_connectTimeout);
        if (ftp.Connected()) {
            ftp.GetRemoteFile(ftp.LocalFile);
            ftp.Disconnect();
        }
        return ftp.LocalFile;
    }
    if (protocol == QLatin1String("HTTP")) {
        if (!http.Connected())
            http.Connect(g_connectTimeout);
        if (http.Connected()) {
            const QString url = QStringLiteral("http://") + source.Host + source.RemoteFile;
            if (addLog)
                addLog(url);
            const QByteArray body = http.Get(url);
            // A descriptor cut short would be misread; the previous copy, if
            // any, is read instead.
            if (http.LastResponseComplete())
                WriteWholeFile(source.LocalFile, body);
            http.Disconnect();
        }
        return source.LocalFile;
    }
    return {};
}

qint64 FtpTotalSize(FTP_CHECK &ftp, const QStringList &ftpList)
{
    qint64 total = 0;
    for (const QString &entry : ftpList) {
        if (!ftp.Connected())
            ftp.Connect(g_connectTimeout);
        const QString path = entry.section(QLatin1Char('='), 0, 0);
        if (path.isEmpty())
            continue;
        total += ftp.Size(path);
    }
    return total;
}

void DownloadFtpFiles(FTP_CHECK &ftp, const QStringList &ftpList, const QString &installDir,
                      bool showDetails, const TAddLog &addLog,
                      const std::function<void(qint32 size)> &setCurrentFileSize)
{
    for (const QString &entry : ftpList) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString path = entry.left(eq);
        const QString target = DownloadTarget(entry.mid(eq + 1), installDir);
        if (target.isEmpty())
            continue;
        if (!ftp.Connected())
            ftp.Connect(g_connectTimeout);
        const qint32 size = ftp.Size(path);
        if (setCurrentFileSize)
            setCurrentFileSize(size);
        ftp.Get(path, target);
        if (showDetails && ftp.Connected() && addLog)
            addLog(path);
    }
    if (ftp.Connected())
        ftp.Disconnect();
}

void DownloadHttpFiles(THttpClient &http, const QStringList &httpList, const QString &installDir,
                       bool showDetails, const TAddLog &addLog, const std::function<void()> &beforeFile)
{
    for (const QString &entry : httpList) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString url = entry.left(eq);
        const QString target = DownloadTarget(entry.mid(eq + 1), installDir);
        if (target.isEmpty())
            continue;
        if (beforeFile)
            beforeFile();
        if (!http.Connected())
            http.Connect(g_connectTimeout);
        const QByteArray body = http.Get(url);
        const bool complete = http.LastResponseComplete();
        // An incomplete body never replaces the installed file.
        if (complete)
            WriteWholeFile(target, body);
        if (showDetails && addLog)
            addLog(complete ? url : QStringLiteral("Incomplete: ") + url);
    }
    if (http.Connected())
        http.Disconnect();
}
