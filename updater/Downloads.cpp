#include "Downloads.h"

namespace {
int g_connectTimeout = 30000;
}

int DownloadConnectTimeout() { return g_connectTimeout; }
void SetDownloadConnectTimeout(int ms) { g_connectTimeout = ms; }
QString DownloadTarget(const QString &value, const QString &installDir)
{
    if (value.endsWith(QLatin1Char('*')))
        return value.chopped(1);
    return value.isEmpty() ? QString() : installDir + value;
}
QString FetchDescriptor(const QString &, FTP_CHECK &, THttpClient &, const THttpDescriptorSource &, const TAddLog &)
{
    return {};
}
qint64 FtpTotalSize(FTP_CHECK &, const QStringList &) { return 0; }
void DownloadFtpFiles(FTP_CHECK &, const QStringList &, const QString &, bool, const TAddLog &,
                      const std::function<void(qint32)> &) {}
void DownloadHttpFiles(THttpClient &, const QStringList &, const QString &, bool, const TAddLog &) {}
