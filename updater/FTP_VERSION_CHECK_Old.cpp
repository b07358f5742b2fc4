#include "FTP_VERSION_CHECK_Old.h"

FTP_CHECK::FTP_CHECK(QObject *parent) : QObject(parent) {}
FTP_CHECK::~FTP_CHECK() = default;
bool FTP_CHECK::Connected() const { return FControl.state() == QAbstractSocket::ConnectedState; }
void FTP_CHECK::Connect(int) { throw ETransferError(QStringLiteral("Not implemented")); }
qint32 FTP_CHECK::Size(const QString &) { return -1; }
void FTP_CHECK::Get(const QString &, const QString &) { throw ETransferError(QStringLiteral("Not implemented")); }
void FTP_CHECK::GetRemoteFile(const QString &target)
{
    if (!RemoteFile.isEmpty())
        Get(RemoteFile, target);
}
void FTP_CHECK::Abort() {}
void FTP_CHECK::Disconnect() { FControl.abort(); }
