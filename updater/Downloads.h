// The update run's download operations over the two transfer clients:
// fetching the descriptor, summing the FTP sizes and fetching the file lists.
// None of them catches errors: the first ETransferError ends the operation.
#pragma once

#include "FTP_VERSION_CHECK_Old.h"
#include "HttpClient.h"

#include <QString>
#include <QStringList>

#include <functional>

// Appends one line to the update window's log.
using TAddLog = std::function<void(const QString &line)>;

// Connect time-out of every connect the download operations make: 30000 ms.
// Tests may lower it; the program never changes it.
int DownloadConnectTimeout();
void SetDownloadConnectTimeout(int ms);

// Where the descriptor comes from over HTTP: the HTTP section's Host,
// RemoteFile (appended to "http://" + Host) and LocalFile (the name in the
// working folder).
struct THttpDescriptorSource
{
    QString Host;
    QString RemoteFile;
    QString LocalFile;
};

// The local file a file entry's target value names: a value ending in "*"
// without the "*" (absolute, or relative to the working folder), otherwise
// installDir + value joined as they stand. Empty when the value (after
// removing the "*") is empty: such entries are skipped.
QString DownloadTarget(const QString &value, const QString &installDir);

// Fetches the descriptor for protocol "FTP" (ftp's RemoteFile into its
// LocalFile) or "HTTP" (logs the URL, GETs it, writes source.LocalFile) and
// disconnects. Returns the local name (ftp.LocalFile / source.LocalFile), or
// an empty text for any other protocol. An HTTP body cut short is not
// written. Relative names resolve against the working folder.
QString FetchDescriptor(const QString &protocol, FTP_CHECK &ftp, THttpClient &http,
                        const THttpDescriptorSource &source, const TAddLog &addLog);

// Sum of the SIZE of every entry's server path (text before the first "=");
// an unsized file counts -1, an empty path 0. Connects when needed and leaves
// the connection open.
qint64 FtpTotalSize(FTP_CHECK &ftp, const QStringList &ftpList);

// Fetches every "server path=target" entry in order. setCurrentFileSize gets
// each file's SIZE before its retrieval. With showDetails the server path is
// logged after each file while still connected. Disconnects at the end.
void DownloadFtpFiles(FTP_CHECK &ftp, const QStringList &ftpList, const QString &installDir,
                      bool showDetails, const TAddLog &addLog,
                      const std::function<void(qint32 size)> &setCurrentFileSize);

// Fetches every "URL=target" entry in order over one connection, kept while
// the server keeps it alive, writing each body only when it arrived whole
// (with showDetails the URL is logged after each file, and "Incomplete: " +
// URL for a body cut short). beforeFile runs before each fetch; an exception
// from it ends the list there. Disconnects after the last entry.
void DownloadHttpFiles(THttpClient &http, const QStringList &httpList, const QString &installDir,
                       bool showDetails, const TAddLog &addLog,
                       const std::function<void()> &beforeFile = {});
