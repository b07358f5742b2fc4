// THttpClient against a real HTTP server and proxy on loopback.
#include "HttpClient.h"
#include "TestServers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray Pattern(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 13 + i / 97) & 0xff);
    return data;
}

QString GetError(THttpClient &http, const QString &url)
{
    try {
        http.Get(url);
    } catch (const ETransferError &e) {
        return e.Message();
    }
    return {};
}

} // namespace

class tst_HttpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void requestOnTheWire();
    void defaultUrlPort_data();
    void defaultUrlPort();
    void clientPortUsedForUrlWithoutPort();
    void port443GoesTo80();
    void chunkedBodyOneTransferPerChunk();
    void cookiesAreSentBack();
    void statusOutside2xxFails_data();
    void statusOutside2xxFails();
    void scriptedResponses_data();
    void scriptedResponses();
    void proxyRequestCarriesAbsoluteUrl();
    void disconnectDuringLargeBody();
    void closedPortFails();
    void closeInsideALineFails_data();
    void closeInsideALineFails();
    void silentServerTimesOut();

private:
    QString url(const QString &path, quint16 port) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
    }

    QTemporaryDir m_root;
    TestServers m_servers;
    quint16 m_http = 0;
    quint16 m_proxy = 0;
    QByteArray m_large;
    QByteArray m_chunked;
};

void tst_HttpClient::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_large = Pattern(8 * 1024 * 1024 + 17);
    m_chunked = Pattern(300000);
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("plain.txt")), "plain text\n"));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("large.bin")), m_large));
    QVERIFY(WriteTestFile(m_root.filePath(QStringLiteral("chunk.bin")), m_chunked));
    m_http = m_servers.startHttp(m_root.path());
    QVERIFY2(m_http, qPrintable(m_servers.lastError()));
    m_proxy = m_servers.startHttpProxy();
    QVERIFY2(m_proxy, qPrintable(m_servers.lastError()));
}

void tst_HttpClient::cleanupTestCase()
{
    m_servers.stopAll();
}

void tst_HttpClient::requestOnTheWire()
{
    RecordingRelay relay;
    const quint16 port = relay.start(m_http);
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = port;
    QSignalSpy begin(&http, &THttpClient::OnWorkBegin);
    QSignalSpy end(&http, &THttpClient::OnWorkEnd);
    http.Connect(5000);
    QVERIFY(http.Connected());
    QCOMPARE(http.Get(url(QStringLiteral("/plain.txt"), port)), QByteArray("plain text\n"));
    QVERIFY(http.LastResponseComplete());
    QCOMPARE(http.LastStatusLine(), QStringLiteral("HTTP/1.1 200 OK"));
    QCOMPARE(begin.size(), 1);
    QCOMPARE(begin.at(0).at(1).toLongLong(), 11);
    QCOMPARE(end.size(), 1);
    // The connection is kept alive and reused.
    QCOMPARE(http.Get(url(QStringLiteral("/plain.txt"), port)), QByteArray("plain text\n"));
    QCOMPARE(relay.connections(), 1);

    const QByteArray request = "GET /plain.txt HTTP/1.1\r\n"
                               "Content-Type: text/html\r\n"
                               "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n"
                               "Accept: text/html, */*\r\n"
                               "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                               "\r\n";
    QTRY_COMPARE(relay.received(), request + request);
}

void tst_HttpClient::defaultUrlPort_data()
{
    QTest::addColumn<int>("clientPort");
    QTest::addColumn<int>("urlPort");
    QTest::newRow("unset") << 0 << 80;
    QTest::newRow("80") << 80 << 80;
    QTest::newRow("443") << 443 << 80;
    QTest::newRow("8080") << 8080 << 8080;
    QTest::newRow("other") << 3128 << 3128;
}

void tst_HttpClient::defaultUrlPort()
{
    QFETCH(int, clientPort);
    QFETCH(int, urlPort);
    QCOMPARE(THttpClient::DefaultUrlPort(clientPort), urlPort);
}

void tst_HttpClient::clientPortUsedForUrlWithoutPort()
{
    // Like Port 8080 in the settings: a URL without a port goes to it.
    RecordingRelay relay;
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = relay.start(m_http);
    QCOMPARE(http.Get(QStringLiteral("http://127.0.0.1/plain.txt")), QByteArray("plain text\n"));
    QTRY_VERIFY(relay.received().contains("\r\nHost: 127.0.0.1:" + QByteArray::number(http.Port) + "\r\n"));
}

void tst_HttpClient::port443GoesTo80()
{
    const QString address = FreeLoopbackAddressFor(80);
    if (address.isEmpty())
        QSKIP("port 80 cannot be bound here");
    // The relay listens on port 80 of that address and forwards to nginx.
    RecordingRelay port80;
    QCOMPARE(port80.startOn(address, 80, m_http), quint16(80));
    THttpClient http;
    http.Host = address;
    http.Port = 443;
    QCOMPARE(http.Get(QStringLiteral("http://%1/plain.txt").arg(address)), QByteArray("plain text\n"));
    QTRY_VERIFY(port80.received().contains("\r\nHost: " + address.toLatin1() + "\r\n"));
}

void tst_HttpClient::chunkedBodyOneTransferPerChunk()
{
    RecordingRelay relay;
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = relay.start(m_http);
    QSignalSpy begin(&http, &THttpClient::OnWorkBegin);
    QSignalSpy work(&http, &THttpClient::OnWork);
    QSignalSpy end(&http, &THttpClient::OnWorkEnd);
    QCOMPARE(http.Get(url(QStringLiteral("/chunked/chunk.bin"), http.Port)), m_chunked);
    QVERIFY(http.LastResponseComplete());
    QVERIFY(relay.sent().contains("Transfer-Encoding: chunked"));
    QVERIFY2(begin.size() > 1, "nginx sent a single chunk");
    QCOMPARE(end.size(), begin.size());
    qint64 total = 0;
    for (const QList<QVariant> &call : std::as_const(begin)) {
        QVERIFY(call.at(1).toLongLong() > 0);
        total += call.at(1).toLongLong();
    }
    QCOMPARE(total, m_chunked.size());
    // Each transfer counts from 0 up to its own chunk's size.
    QVERIFY(work.last().at(1).toLongLong() <= begin.last().at(1).toLongLong());
}

void tst_HttpClient::cookiesAreSentBack()
{
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = m_http;
    QCOMPARE(GetError(http, url(QStringLiteral("/cookie/check"), m_http)), QStringLiteral("HTTP/1.1 403 Forbidden"));
    QCOMPARE(http.Get(url(QStringLiteral("/cookie/set"), m_http)), QByteArray("cookie set\n"));
    QCOMPARE(http.Get(url(QStringLiteral("/cookie/check"), m_http)), QByteArray("cookie ok\n"));
    // Held in memory by this client only.
    THttpClient other;
    QCOMPARE(GetError(other, url(QStringLiteral("/cookie/check"), m_http)), QStringLiteral("HTTP/1.1 403 Forbidden"));
}

void tst_HttpClient::statusOutside2xxFails_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");
    QTest::newRow("redirect not followed") << QStringLiteral("/redirect") << QStringLiteral("HTTP/1.1 302 Moved Temporarily");
    QTest::newRow("missing") << QStringLiteral("/missing.txt") << QStringLiteral("HTTP/1.1 404 Not Found");
    QTest::newRow("204 has no body") << QStringLiteral("/nocontent") << QString();
}

void tst_HttpClient::statusOutside2xxFails()
{
    QFETCH(QString, path);
    QFETCH(QString, error);
    RecordingRelay relay;
    THttpClient http;
    http.Port = relay.start(m_http);
    QCOMPARE(GetError(http, url(path, http.Port)), error);
    // The error body was read off, so the kept-alive connection still works.
    QCOMPARE(http.Get(url(QStringLiteral("/plain.txt"), http.Port)), QByteArray("plain text\n"));
    QCOMPARE(relay.connections(), 1);
}

void tst_HttpClient::scriptedResponses_data()
{
    QTest::addColumn<QList<QByteArray>>("responses"); // one per request; the last closes
    QTest::addColumn<QByteArray>("body");              // of the first request
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QByteArray>("secondRequestHas");

    QTest::newRow("100 skipped") << QList<QByteArray>{"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"}
                                 << QByteArray("abc") << true << QByteArray();
    QTest::newRow("Set-cookie2 kept") << QList<QByteArray>{"HTTP/1.1 200 OK\r\nSet-cookie2: k2=v2\r\nSet-cookie: k1=v1\r\nContent-Length: 0\r\n\r\n",
                                                           "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}
                                      << QByteArray() << true << QByteArray("\r\nCookie: k2=v2; k1=v1\r\n");
    QTest::newRow("HTTP/1.0 body to the close") << QList<QByteArray>{"HTTP/1.0 200 OK\r\n\r\nuntil the end"}
                                                << QByteArray("until the end") << true << QByteArray();
    QTest::newRow("body shorter than announced") << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"}
                                                 << QByteArray("abc") << false << QByteArray();
    QTest::newRow("chunk cut short") << QList<QByteArray>{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n8\r\nde"}
                                     << QByteArray("abcde") << false << QByteArray();
}

void tst_HttpClient::scriptedResponses()
{
    QFETCH(QList<QByteArray>, responses);
    QFETCH(QByteArray, body);
    QFETCH(bool, complete);
    QFETCH(QByteArray, secondRequestHas);
    QList<RecordingRelay::Step> steps;
    for (const QByteArray &response : responses)
        steps << RecordingRelay::Step{response, &response == &responses.last()};
    RecordingRelay peer;
    THttpClient http;
    http.Port = peer.startScripted(steps);
    QCOMPARE(http.Get(url(QStringLiteral("/first"), http.Port)), body);
    QCOMPARE(http.LastResponseComplete(), complete);
    if (!secondRequestHas.isEmpty()) {
        http.Get(url(QStringLiteral("/second"), http.Port));
        QTRY_VERIFY(peer.received().contains("GET /second"));
        QVERIFY2(peer.received().mid(peer.received().indexOf("GET /second")).contains(secondRequestHas),
                 peer.received().constData());
    }
}

void tst_HttpClient::proxyRequestCarriesAbsoluteUrl()
{
    RecordingRelay relay;
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = m_http;
    http.ProxyParams.ProxyServer = QStringLiteral("127.0.0.1");
    http.ProxyParams.ProxyPort = relay.start(m_proxy);
    http.Connect(5000); // to the proxy
    const QString target = url(QStringLiteral("/plain.txt"), m_http);
    QCOMPARE(http.Get(target), QByteArray("plain text\n"));
    QTRY_VERIFY(relay.received().endsWith("\r\n\r\n"));
    QVERIFY2(relay.received().startsWith("GET " + target.toLatin1() + " HTTP/1.1\r\n"
                                         "Content-Type: text/html\r\n"
                                         "Host: 127.0.0.1:" + QByteArray::number(m_http) + "\r\n"),
             relay.received().constData());
    QCOMPARE(relay.connections(), 1);
}

void tst_HttpClient::disconnectDuringLargeBody()
{
    THttpClient http;
    http.Port = m_http;
    qint64 last = 0;
    int calls = 0;
    auto cancel = connect(&http, &THttpClient::OnWork, this, [&](TWorkMode, qint64 count) {
        last = count;
        if (calls++ == 0)
            http.Disconnect(); // the Cancel button, from inside a notification
    });
    const QByteArray body = http.Get(url(QStringLiteral("/large.bin"), m_http)); // no error
    QVERIFY(!http.LastResponseComplete());
    QVERIFY(body.size() < m_large.size());
    QCOMPARE(body.size(), last);
    QVERIFY(!http.Connected());
    disconnect(cancel);

    // Cancel at the end of a chunk: no error either, and the body counts as
    // incomplete.
    calls = 0;
    cancel = connect(&http, &THttpClient::OnWorkEnd, this, [&](TWorkMode) {
        if (calls++ == 0)
            http.Disconnect();
    });
    http.Get(url(QStringLiteral("/chunked/chunk.bin"), m_http));
    QVERIFY(!http.LastResponseComplete());
    disconnect(cancel);
    // The next request opens a new connection.
    QCOMPARE(http.Get(url(QStringLiteral("/large.bin"), m_http)), m_large);
    QVERIFY(http.LastResponseComplete());
}

void tst_HttpClient::closedPortFails()
{
    THttpClient http;
    http.Host = QStringLiteral("127.0.0.1");
    http.Port = FreeLoopbackPort();
    QVERIFY_THROWS_EXCEPTION(ETransferError, http.Connect(5000));
    QVERIFY(!http.Connected());
    QVERIFY(!GetError(http, url(QStringLiteral("/x"), http.Port)).isEmpty());
    http.Port = 0;
    QVERIFY_THROWS_EXCEPTION(ETransferError, http.Connect(5000));
}

void tst_HttpClient::closeInsideALineFails_data()
{
    QTest::addColumn<QByteArray>("reply"); // sent, then the connection closes
    QTest::addColumn<int>("transfers");    // body transfers begun before the close
    QTest::newRow("before the status line") << QByteArray() << 0;
    QTest::newRow("inside the status line") << QByteArray("HTTP/1.1 200 O") << 0;
    QTest::newRow("inside a header line") << QByteArray("HTTP/1.1 200 OK\r\nContent-Len") << 0;
    QTest::newRow("before the empty line") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n") << 0;
    QTest::newRow("inside a chunk-size line") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n1") << 1;
    QTest::newRow("inside the last chunk's trailer")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nX-Sum: 1") << 1;
}

// A close that cuts a line short is an error at once: the request neither
// waits for the rest of the line nor takes half a reply for a whole one.
void tst_HttpClient::closeInsideALineFails()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, transfers);
    const quint16 port = m_servers.startHttpReplyThenClose(reply);
    QVERIFY2(port, qPrintable(m_servers.lastError()));
    THttpClient http;
    http.Port = port;
    http.ReadTimeout = 20000; // far beyond the test's own pace: a close must not wait for it
    QSignalSpy begin(&http, &THttpClient::OnWorkBegin);
    QSignalSpy end(&http, &THttpClient::OnWorkEnd);
    QCOMPARE(GetError(http, url(QStringLiteral("/x"), port)), QStringLiteral("Connection closed by the server."));
    QVERIFY(!http.Connected());
    QCOMPARE(begin.size(), transfers);
    QCOMPARE(end.size(), transfers);
}

void tst_HttpClient::silentServerTimesOut()
{
    QCOMPARE(THttpClient().ReadTimeout, 120000);
    // Silent after the status line; then silent in the middle of a body.
    const QList<QByteArray> replies{"HTTP/1.1 200 OK\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"};
    for (const QByteArray &reply : replies) {
        RecordingRelay peer;
        THttpClient http;
        http.Port = peer.startScripted({RecordingRelay::Step{reply, false}});
        http.ReadTimeout = 300;
        QSignalSpy begin(&http, &THttpClient::OnWorkBegin);
        QSignalSpy end(&http, &THttpClient::OnWorkEnd);
        QCOMPARE(GetError(http, url(QStringLiteral("/x"), http.Port)), QStringLiteral("Read timed out."));
        QVERIFY(!http.Connected());
        QCOMPARE(end.size(), begin.size());
    }
}

QTEST_GUILESS_MAIN(tst_HttpClient)
#include "tst_HttpClient.moc"
