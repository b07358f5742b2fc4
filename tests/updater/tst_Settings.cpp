// The update window's settings file and Options page, driven through the real
// window: start-up, the proxy box, the proxy edits, the protocol list, and
// writes that the disk refuses.
#include "ErrorBox.h"
#include "ProfileFile.h"
#include "Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class tst_Settings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void settingsFileBesideTheExecutable();
    void noSettingsFile();
    void lowerCaseProtocolSelectsNothing();
    void startUp_data();
    void startUp();
    void typingRewritesBothKeys();
    void proxyEditWaitsForTheNextBoxClick();
    void switchingProtocolShowsAndKeepsItsPort();
    void refusedWriteShowsErrorAndStopsTheHandler();

private:
    QString settings(const QByteArray &content);
    QString read(const QString &section, const QString &key);
    std::unique_ptr<QTemporaryDir> dir;
    QString iniPath;
    QStringList boxes;
};

void tst_Settings::initTestCase()
{
    QApplication::setApplicationDisplayName(QStringLiteral("Update"));
    SetErrorBoxHandler([this](QWidget *, const QString &caption, const QString &text) {
        boxes << caption + u'|' + text;
    });
}

void tst_Settings::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir::setCurrent(dir->path()));
    iniPath = dir->filePath(QStringLiteral("Updater.ini"));
    boxes.clear();
}

void tst_Settings::cleanup()
{
    QDir::setCurrent(QDir::tempPath());
}

QString tst_Settings::settings(const QByteArray &content)
{
    QFile f(iniPath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the settings fixture");
    f.write(content);
    return iniPath;
}

QString tst_Settings::read(const QString &section, const QString &key)
{
    return TProfileFile(iniPath).ReadString(section, key, QStringLiteral("<none>"));
}

void tst_Settings::settingsFileBesideTheExecutable()
{
    QCOMPARE(TForm1::SettingsFileName(),
             QCoreApplication::applicationDirPath() + QStringLiteral("/tst_Settings.ini"));
}

void tst_Settings::noSettingsFile()
{
    TForm1 form(iniPath);
    QCOMPARE(form.windowTitle(), QStringLiteral("Update"));
    QCOMPARE(form.size(), QSize(378, 293));
    QCOMPARE(form.ComboBox1->currentIndex(), -1);
    QCOMPARE(form.ComboBox1->count(), 2);
    QVERIFY(!form.CheckBox1->isChecked());
    for (QWidget *w : {static_cast<QWidget *>(form.Edit1), static_cast<QWidget *>(form.Edit4),
                       static_cast<QWidget *>(form.Label1), static_cast<QWidget *>(form.Label4)})
        QVERIFY(!w->isEnabled());
    QVERIFY(form.Edit1->text().isEmpty() && form.Edit4->text().isEmpty());

    // A run fetches nothing and finds nothing; nothing is written either.
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(form.LogLines(), QStringList({QStringLiteral("There is nothing to update.")}));
    QCOMPARE(form.Button1->text(), QStringLiteral("Update"));
    QVERIFY(form.ComboBox1->isEnabled());
    QVERIFY(!QFile::exists(iniPath));
    QVERIFY(boxes.isEmpty());
}

void tst_Settings::lowerCaseProtocolSelectsNothing()
{
    const QByteArray content = "[Settings]\r\nProtocol=ftp\r\n[FTP]\r\nUseProxy=1\r\nProxyHost=p\r\n";
    settings(content);
    TForm1 form(iniPath);
    QCOMPARE(form.ComboBox1->currentIndex(), -1);
    QVERIFY(!form.CheckBox1->isChecked());
    QVERIFY(form.Edit1->text().isEmpty());
    // The FTP client is still configured from its own section.
    QCOMPARE(form.ftp->ProxySettings.ProxyType, fpcmUserSite);
    QFile f(iniPath);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
}

void tst_Settings::startUp_data()
{
    QTest::addColumn<QByteArray>("useProxy");
    QTest::addColumn<QByteArray>("proxyPort");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("storedUseProxy");
    QTest::addColumn<int>("port");

    QTest::newRow("true, the word") << QByteArray("true") << QByteArray("3128") << false << "true" << 3128;
    QTest::newRow("1") << QByteArray("1") << QByteArray("3128") << true << "1" << 3128;
    QTest::newRow("2 is written back as 1") << QByteArray("2") << QByteArray("3128") << true << "1" << 3128;
    QTest::newRow("-1") << QByteArray("-1") << QByteArray("3128") << true << "1" << 3128;
    QTest::newRow("hex port") << QByteArray("0") << QByteArray("0x1F90") << false << "0" << 8080;
    QTest::newRow("no port") << QByteArray("0") << QByteArray("") << false << "0" << 0;
}

void tst_Settings::startUp()
{
    QFETCH(QByteArray, useProxy);
    QFETCH(QByteArray, proxyPort);
    QFETCH(bool, ticked);
    QFETCH(QString, storedUseProxy);
    QFETCH(int, port);

    QByteArray content = "[Settings]\r\nProtocol=FTP\r\n[FTP]\r\nHost=srv\r\nPort=21\r\nUseProxy=" + useProxy
                         + "\r\nProxyHost= proxy.lan \r\n";
    if (!proxyPort.isEmpty())
        content += "ProxyPort=" + proxyPort + "\r\n";
    settings(content);
    TForm1 form(iniPath);

    QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("FTP"));
    QCOMPARE(form.CheckBox1->isChecked(), ticked);
    QCOMPARE(form.Edit1->isEnabled(), ticked);
    QCOMPARE(form.Label4->isEnabled(), ticked);
    QCOMPARE(form.Edit1->text(), QStringLiteral("proxy.lan"));
    QCOMPARE(form.Edit4->text(), QString::number(port));
    QCOMPARE(form.ftp->Host, QStringLiteral("srv"));
    QCOMPARE(form.ftp->Port, 21);
    QCOMPARE(form.ftp->ProxySettings.Host, QStringLiteral("proxy.lan"));
    QCOMPARE(form.ftp->ProxySettings.Port, port);
    QCOMPARE(form.ftp->ProxySettings.ProxyType, ticked ? fpcmUserSite : fpcmNone);
    // Filling the edits wrote both keys back; ticking the box wrote the flag.
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("ProxyHost")), QStringLiteral("proxy.lan"));
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("ProxyPort")), QString::number(port));
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("UseProxy")), storedUseProxy);
    QVERIFY(boxes.isEmpty());
}

void tst_Settings::typingRewritesBothKeys()
{
    settings("[Settings]\r\nProtocol=HTTP\r\n[HTTP]\r\nUseProxy=1\r\nProxyHost=cache\r\nProxyPort=3128\r\n");
    TForm1 form(iniPath);
    // Someone else changes the file; one typed character writes both edits.
    TProfileFile(iniPath).DeleteKey(QStringLiteral("HTTP"), QStringLiteral("ProxyPort"));
    TProfileFile(iniPath).WriteString(QStringLiteral("HTTP"), QStringLiteral("ProxyHost"), QStringLiteral("other"));
    QTest::keyClick(form.Edit1, Qt::Key_End);
    QTest::keyClick(form.Edit1, 'x');
    QCOMPARE(read(QStringLiteral("HTTP"), QStringLiteral("ProxyHost")), QStringLiteral("cachex"));
    QCOMPARE(read(QStringLiteral("HTTP"), QStringLiteral("ProxyPort")), QStringLiteral("3128"));
    // A port typed as text is stored as typed and reads back as 0.
    form.Edit4->selectAll();
    QTest::keyClicks(form.Edit4, QStringLiteral("abc"));
    QCOMPARE(read(QStringLiteral("HTTP"), QStringLiteral("ProxyPort")), QStringLiteral("abc"));
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("ProxyHost")), QStringLiteral("<none>"));
    form.CheckBox1->click(); // clear: applies the settings, port 0 from "abc"
    QCOMPARE(form.http->ProxyParams.ProxyServer, QString());
    form.CheckBox1->click();
    QCOMPARE(form.http->ProxyParams.ProxyServer, QStringLiteral("cachex"));
    QCOMPARE(form.http->ProxyParams.ProxyPort, 0);
}

void tst_Settings::proxyEditWaitsForTheNextBoxClick()
{
    settings("[Settings]\r\nProtocol=FTP\r\n[FTP]\r\nUseProxy=1\r\nProxyHost=old\r\nProxyPort=2121\r\n");
    TForm1 form(iniPath);
    QCOMPARE(form.ftp->ProxySettings.Host, QStringLiteral("old"));
    form.Edit1->selectAll();
    QTest::keyClicks(form.Edit1, QStringLiteral("new"));
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("ProxyHost")), QStringLiteral("new"));
    QCOMPARE(form.ftp->ProxySettings.Host, QStringLiteral("old")); // a run now still uses "old"

    form.CheckBox1->click();
    QVERIFY(!form.CheckBox1->isChecked());
    QVERIFY(!form.Edit1->isEnabled());
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("UseProxy")), QStringLiteral("0"));
    // Host and port reach the FTP client whether ticked or not.
    QCOMPARE(form.ftp->ProxySettings.Host, QStringLiteral("new"));
    QCOMPARE(form.ftp->ProxySettings.Port, 2121);
    QCOMPARE(form.ftp->ProxySettings.ProxyType, fpcmNone);
}

void tst_Settings::switchingProtocolShowsAndKeepsItsPort()
{
    settings("[Settings]\r\nProtocol=FTP\r\n"
             "[FTP]\r\nUseProxy=1\r\nProxyHost=ftpproxy\r\nProxyPort=8080\r\n"
             "[HTTP]\r\nHost=web\r\nPort=80\r\nUseProxy=0\r\nProxyHost=webcache\r\nProxyPort=3128\r\n");
    TForm1 form(iniPath);
    QVERIFY(form.CheckBox1->isChecked());
    QCOMPARE(form.http->ProxyParams.ProxyServer, QString());

    form.ComboBox1->setFocus();
    QTest::keyClick(form.ComboBox1, Qt::Key_Down); // the user picks HTTP
    QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("HTTP"));
    QCOMPARE(read(QStringLiteral("Settings"), QStringLiteral("Protocol")), QStringLiteral("HTTP"));
    QCOMPARE(form.Edit1->text(), QStringLiteral("webcache"));
    QCOMPARE(form.Edit4->text(), QStringLiteral("3128"));
    QCOMPARE(read(QStringLiteral("HTTP"), QStringLiteral("ProxyPort")), QStringLiteral("3128"));
    QCOMPARE(read(QStringLiteral("HTTP"), QStringLiteral("ProxyHost")), QStringLiteral("webcache"));
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("ProxyPort")), QStringLiteral("8080"));
    // HTTP has no proxy: the box clears, writes that back and applies.
    QVERIFY(!form.CheckBox1->isChecked());
    QCOMPARE(read(QStringLiteral("HTTP"), QStringLiteral("UseProxy")), QStringLiteral("0"));

    form.CheckBox1->click();
    QCOMPARE(read(QStringLiteral("HTTP"), QStringLiteral("UseProxy")), QStringLiteral("1"));
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("UseProxy")), QStringLiteral("1"));
    QCOMPARE(form.http->ProxyParams.ProxyServer, QStringLiteral("webcache"));
    QCOMPARE(form.http->ProxyParams.ProxyPort, 3128);
    form.CheckBox1->click();
    QCOMPARE(form.http->ProxyParams.ProxyServer, QString());
    QCOMPARE(form.http->ProxyParams.ProxyPort, 0);
    QVERIFY(boxes.isEmpty());
}

namespace {
// Makes every file write of this process fail past a few bytes, as a full or
// refusing disk would; permission bits would not stop root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = m_saved;
        tight.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};
} // namespace

void tst_Settings::refusedWriteShowsErrorAndStopsTheHandler()
{
    const QString expectedBox = QStringLiteral("Update|Unable to write to ") + iniPath + u'.';

    // At start: filling Edit1 fails, so Edit4 stays empty and the window opens.
    settings("[Settings]\r\nProtocol=FTP\r\n[FTP]\r\nUseProxy=0\r\nProxyHost=p1\r\nProxyPort=21\r\n");
    {
        FileSizeLimit limit(8);
        TForm1 form(iniPath);
        QCOMPARE(boxes, QStringList({expectedBox}));
        QCOMPARE(form.Edit1->text(), QStringLiteral("p1"));
        QCOMPARE(form.Edit4->text(), QString());
    }
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("ProxyPort")), QStringLiteral("21"));

    // A click on the box: the edits follow it, the write fails, and the
    // settings are not applied again (the client keeps the old proxy host).
    boxes.clear();
    TForm1 form(iniPath);
    QVERIFY(boxes.isEmpty());
    TProfileFile(iniPath).WriteString(QStringLiteral("FTP"), QStringLiteral("ProxyHost"), QStringLiteral("p2"));
    {
        FileSizeLimit limit(8);
        form.CheckBox1->click();
    }
    QCOMPARE(boxes, QStringList({expectedBox}));
    QVERIFY(form.CheckBox1->isChecked());
    QVERIFY(form.Edit1->isEnabled());
    QCOMPARE(read(QStringLiteral("FTP"), QStringLiteral("UseProxy")), QStringLiteral("0"));
    QCOMPARE(form.ftp->ProxySettings.Host, QStringLiteral("p1"));
    QCOMPARE(form.ftp->ProxySettings.ProxyType, fpcmNone);
}

QTEST_MAIN(tst_Settings)
#include "tst_Settings.moc"
