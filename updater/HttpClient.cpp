#include "HttpClient.h"

#include <QNetworkCookieJar>

THttpClient::THttpClient(QObject *parent) : QObject(parent), FCookies(new QNetworkCookieJar(this)) {}
THttpClient::~THttpClient() = default;
bool THttpClient::Connected() const { return FSocket.state() == QAbstractSocket::ConnectedState; }
void THttpClient::Connect(int) { throw ETransferError(QStringLiteral("Not implemented")); }
QByteArray THttpClient::Get(const QString &) { throw ETransferError(QStringLiteral("Not implemented")); }
void THttpClient::Disconnect() { FSocket.abort(); }
int THttpClient::DefaultUrlPort(int clientPort)
{
    return (clientPort == 0 || clientPort == 80 || clientPort == 443) ? 80 : clientPort;
}
