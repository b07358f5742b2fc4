// The update run end to end: the real window against real FTP and HTTP servers
// on loopback, with its log, bars, button states, Cancel and Close.
#include "ErrorBox.h"
#include "ProfileFile.h"
#include "ShellOpen.h"
#include "TestServers.h"
#include "Unit1.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QByteArray Bytes(qint64 size, char seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char(seed + i % 13);
    return data;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_Unit1 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void ftpUpdateWithDetails();
    void httpUpdateWithoutDetails();
    void nothingToUpdate();
    void emptyFtpList();
    void emptyFileAddsNoBytes();
    void serverErrorEndsTheRun();
    void cancelDuringTransfer();
    void closeDuringRun();
    void httpRunUsesTwoConnections();
    void emptyLinesWithoutInfo_data();
    void emptyLinesWithoutInfo();
    void deliveredProgramStarts_data();
    void deliveredProgramStarts();

private:
    // Puts the descriptor on the server; returns its size.
    qint64 publish(const QByteArray &descriptor);
    void writeSettings(const QString &protocol, int updateId);
    int runEventLoop(const std::function<void()> &start);

    TestServers servers;
    QTemporaryDir serverRoot;
    quint16 ftpPort = 0;
    quint16 httpPort = 0;
    std::unique_ptr<QTemporaryDir> local;
    QString install, work, iniPath;
    QStringList boxes, opened;
};

void tst_Unit1::initTestCase()
{
    QApplication::setApplicationDisplayName(QStringLiteral("Update"));
    QVERIFY(serverRoot.isValid());
    ftpPort = servers.startFtp(serverRoot.path());
    QVERIFY2(ftpPort, qPrintable(servers.lastError()));
    httpPort = servers.startHttp(serverRoot.path());
    QVERIFY2(httpPort, qPrintable(servers.lastError()));
    for (int i = 1; i <= 4; ++i)
        QVERIFY(WriteTestFile(serverRoot.filePath(QStringLiteral("f%1.bin").arg(i)), Bytes(1000, char('a' + i))));
    QVERIFY(WriteTestFile(serverRoot.filePath(QStringLiteral("empty.bin")), QByteArray()));
    // Writes its parameters, one a line, to "marker" beside itself.
    QVERIFY(WriteTestFile(serverRoot.filePath(QStringLiteral("tool.sh")),
                          "#!/bin/sh\nd=$(dirname \"$0\")\nprintf '%s\\n' \"$@\" > \"$d/marker.tmp\" && mv \"$d/marker.tmp\" \"$d/marker\"\n"));
    QVERIFY(WriteTestFile(serverRoot.filePath(QStringLiteral("big.bin")), Bytes(16 * 1024 * 1024, 'z')));
    SetErrorBoxHandler([this](QWidget *, const QString &caption, const QString &text) {
        boxes << caption + u'|' + text;
    });
}

void tst_Unit1::init()
{
    local = std::make_unique<QTemporaryDir>();
    QVERIFY(local->isValid());
    install = local->filePath(QStringLiteral("app")) + u'/';
    work = local->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(install) && QDir().mkpath(work));
    QVERIFY(QDir::setCurrent(work));
    iniPath = local->filePath(QStringLiteral("Updater.ini"));
    boxes.clear();
    opened.clear();
    SetShellOpenHandler([this](const QString &t, const QString &p) { opened << t + u'|' + p; });
}

void tst_Unit1::cleanup()
{
    SetShellOpenHandler({});
    QDir::setCurrent(QDir::tempPath());
}

qint64 tst_Unit1::publish(const QByteArray &descriptor)
{
    QByteArray text = descriptor;
    text.replace("%P", QByteArray::number(httpPort)).replace("%I", install.toUtf8());
    if (!WriteTestFile(serverRoot.filePath(QStringLiteral("update.ini")), text))
        qFatal("cannot publish the descriptor");
    return text.size();
}

void tst_Unit1::writeSettings(const QString &protocol, int updateId)
{
    const QByteArray ini = "[Settings]\r\nCurrentVersion=2.0\r\nInstallDir=" + install.toUtf8()
                           + "\r\nProtocol=" + protocol.toUtf8() + "\r\nUpdateID=" + QByteArray::number(updateId)
                           + "\r\n[FTP]\r\nHost=127.0.0.1\r\nPort=" + QByteArray::number(ftpPort)
                           + "\r\nLocalFile=update.ini\r\nRemoteFile=/update.ini\r\n"
                             "[HTTP]\r\nHost=127.0.0.1\r\nPort=" + QByteArray::number(httpPort)
                           + "\r\nLocalFile=update.ini\r\nRemoteFile=/update.ini\r\n";
    QFile f(iniPath);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(ini);
}

// Runs the application's message loop as the program does, until the window
// ends it; 99 when it never does.
int tst_Unit1::runEventLoop(const std::function<void()> &start)
{
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    guard.start(60000);
    QTimer::singleShot(0, qApp, start);
    return QCoreApplication::exec();
}

static const QByteArray kThreeFiles =
    "[2.0\\Info]\r\nVersion 2.1\r\nFaster=yes\r\n"
    "[ShowDetails]\r\nShow=1\r\n"
    "[2.0\\UpdateID]\r\nUpdateID=7\r\n"
    "[2.0\\Files\\FTP]\r\n/f1.bin=f1.bin\r\n/f2.bin=Sub\\f2.bin\r\n/f3.bin=%If3copy.bin*\r\n"
    "[2.0\\Directory]\r\nSub=1\r\n"
    "[2.0\\Run]\r\n1=f1.bin|--go now\r\n2=/opt/none/tool*\r\n";

void tst_Unit1::ftpUpdateWithDetails()
{
    const qint64 descriptorBytes = publish(kThreeFiles);
    writeSettings(QStringLiteral("FTP"), 5);
    TForm1 form(iniPath);
    form.show();

    // In the middle of the second file the total bar counts the descriptor, the
    // first file and half of the second against the three files' 3000 bytes.
    int transfers = 0;
    int midSecondFile = -1;
    int timerRunning = 0;
    connect(form.ftp, &FTP_CHECK::OnWorkBegin, this, [&] {
        timerRunning += form.Timer->isActive();
        if (++transfers == 3) {
            emit form.ftp->OnWork(wmRead, 500);
            midSecondFile = form.ProgressBar2->value();
        }
    });
    QTest::mouseClick(form.Button1, Qt::LeftButton);

    QCOMPARE(boxes, QStringList());
    QCOMPARE(transfers, 4);
    const double expected = double(1000 + 500 + descriptorBytes) / 3000 * 100;
    QCOMPARE(midSecondFile, qRound(expected));
    QCOMPARE(form.ProgressBar2->value(), 100); // the descriptor's bytes push it to the end
    QCOMPARE(form.ProgressBar1->value(), 100);
    // The time-left timer runs during each FTP transfer only.
    QCOMPARE(timerRunning, 4);
    QVERIFY(!form.Timer->isActive());

    QCOMPARE(form.LogLines(), QStringList({QStringLiteral("Version 2.1"), QStringLiteral("Faster"), QString(),
                                           QStringLiteral("Created: ") + install + QStringLiteral("Sub"),
                                           QStringLiteral("Update size: 2.93 KB"), QStringLiteral("/f1.bin"),
                                           QStringLiteral("/f2.bin"), QStringLiteral("/f3.bin"), QString(),
                                           QStringLiteral("Done.")}));
    QCOMPARE(ReadAll(install + QStringLiteral("f1.bin")), Bytes(1000, 'b'));
    QCOMPARE(ReadAll(install + QStringLiteral("Sub/f2.bin")), Bytes(1000, 'c'));
    QCOMPARE(ReadAll(install + QStringLiteral("f3copy.bin")), Bytes(1000, 'd'));
    QCOMPARE(TProfileFile(iniPath).ReadInteger(QStringLiteral("Settings"), QStringLiteral("UpdateID"), 0), 7);
    QCOMPARE(opened, QStringList({install + QStringLiteral("f1.bin|--go now"), QStringLiteral("/opt/none/tool|")}));
    QCOMPARE(form.Button1->text(), QStringLiteral("Close"));
    QVERIFY(form.ComboBox1->isEnabled());

    // "Close" ends the program at once and leaves the descriptor copy; the
    // close box deletes it.
    const QString copy = work + QStringLiteral("/update.ini");
    QCOMPARE(ReadAll(copy).size(), descriptorBytes);
    QCOMPARE(runEventLoop([&] { form.Button1->click(); }), 0);
    QVERIFY(QFile::exists(copy));
    QVERIFY(form.close());
    QVERIFY(!QFile::exists(copy));
}

void tst_Unit1::httpUpdateWithoutDetails()
{
    publish("[2.0\\Info]\r\nFour files\r\n[2.0\\UpdateID]\r\nUpdateID=6\r\n"
            "[2.0\\Files\\HTTP]\r\nhttp://127.0.0.1/f1.bin=a.bin\r\nhttp://127.0.0.1/f2.bin=b.bin\r\n"
            "http://127.0.0.1/f3.bin=c.bin\r\nhttp://127.0.0.1:%P/f4.bin=d.bin\r\n");
    writeSettings(QStringLiteral("HTTP"), 5);
    TForm1 form(iniPath);
    QList<int> totals;
    connect(form.http, &THttpClient::OnWorkEnd, this, [&] { totals << form.ProgressBar2->value(); });
    QTest::mouseClick(form.Button1, Qt::LeftButton);

    QCOMPARE(boxes, QStringList());
    // The descriptor's transfer counts nothing; each file adds a quarter.
    QCOMPARE(totals, QList<int>({0, 25, 50, 75, 100}));
    QCOMPARE(form.TimeStat->text(), QString()); // the timer only runs for FTP
    QCOMPARE(form.LogLines(), QStringList({QStringLiteral("Four files"), QString(), QString(), QStringLiteral("Done.")}));
    for (const auto &[name, seed] : {std::pair{"a.bin", 'b'}, {"b.bin", 'c'}, {"c.bin", 'd'}, {"d.bin", 'e'}})
        QCOMPARE(ReadAll(install + QString::fromLatin1(name)), Bytes(1000, seed));
    QCOMPARE(TProfileFile(iniPath).ReadInteger(QStringLiteral("Settings"), QStringLiteral("UpdateID"), 0), 6);
    QCOMPARE(form.Button1->text(), QStringLiteral("Close"));
}

void tst_Unit1::nothingToUpdate()
{
    publish(kThreeFiles);
    writeSettings(QStringLiteral("HTTP"), 7);
    TForm1 form(iniPath);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(form.LogLines(), QStringList({QStringLiteral("There is nothing to update.")}));
    QCOMPARE(form.Button1->text(), QStringLiteral("Update"));
    QVERIFY(form.ComboBox1->isEnabled());
    QVERIFY(!QFile::exists(install + QStringLiteral("f1.bin")));
    QVERIFY(!QFile::exists(install + QStringLiteral("Sub")));
    QVERIFY(opened.isEmpty());
    QVERIFY(boxes.isEmpty());
}

void tst_Unit1::emptyFtpList()
{
    publish("[2.0\\Info]\r\nJust a tool\r\n[ShowDetails]\r\nShow=1\r\n[2.0\\UpdateID]\r\nUpdateID=8\r\n"
            "[2.0\\Run]\r\n1=/opt/tool|-x*\r\n");
    writeSettings(QStringLiteral("FTP"), 5);
    TForm1 form(iniPath);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(form.LogLines(), QStringList({QStringLiteral("Just a tool"), QString(), QString(), QStringLiteral("Done.")}));
    QCOMPARE(TProfileFile(iniPath).ReadInteger(QStringLiteral("Settings"), QStringLiteral("UpdateID"), 0), 8);
    QCOMPARE(opened, QStringList({QStringLiteral("/opt/tool|-x")}));
    QCOMPARE(form.Button1->text(), QStringLiteral("Close"));
}

// An empty file raises no progress notification, so it must not count the
// previous transfer's bytes a second time in the total bar.
void tst_Unit1::emptyFileAddsNoBytes()
{
    const qint64 descriptorBytes = publish("[2.0\\Info]\r\nWith an empty file\r\n[2.0\\UpdateID]\r\nUpdateID=6\r\n"
                                           "[2.0\\Files\\FTP]\r\n/f1.bin=f1.bin\r\n/empty.bin=empty.bin\r\n/f2.bin=f2.bin\r\n");
    writeSettings(QStringLiteral("FTP"), 5);
    TForm1 form(iniPath);
    int transfers = 0;
    int midLastFile = -1;
    connect(form.ftp, &FTP_CHECK::OnWorkBegin, this, [&] {
        if (++transfers == 4) {
            emit form.ftp->OnWork(wmRead, 500);
            midLastFile = form.ProgressBar2->value();
        }
    });
    QTest::mouseClick(form.Button1, Qt::LeftButton);

    QCOMPARE(boxes, QStringList());
    QCOMPARE(transfers, 4);
    QCOMPARE(midLastFile, qRound(double(descriptorBytes + 1000 + 0 + 500) / 2000 * 100));
    QCOMPARE(ReadAll(install + QStringLiteral("empty.bin")), QByteArray());
    QCOMPARE(form.Button1->text(), QStringLiteral("Close"));
}

void tst_Unit1::serverErrorEndsTheRun()
{
    publish("[2.0\\Info]\r\nBroken\r\n[2.0\\UpdateID]\r\nUpdateID=9\r\n"
            "[2.0\\Files\\FTP]\r\n/f1.bin=f1.bin\r\n/missing.bin=m.bin\r\n/f2.bin=f2.bin\r\n"
            "[2.0\\Run]\r\n1=/opt/tool*\r\n");
    writeSettings(QStringLiteral("FTP"), 5);
    TForm1 form(iniPath);
    QTest::mouseClick(form.Button1, Qt::LeftButton);

    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().startsWith(QStringLiteral("Update|550")), qPrintable(boxes.first()));
    QVERIFY(boxes.first().endsWith(u'.'));
    QCOMPARE(form.Button1->text(), QStringLiteral("Cancel"));
    QCOMPARE(ReadAll(install + QStringLiteral("f1.bin")), Bytes(1000, 'b')); // what was done stays
    QVERIFY(!QFile::exists(install + QStringLiteral("f2.bin")));
    QCOMPARE(TProfileFile(iniPath).ReadInteger(QStringLiteral("Settings"), QStringLiteral("UpdateID"), 0), 5);
    QVERIFY(opened.isEmpty());
    QVERIFY(!form.LogLines().contains(QStringLiteral("Done.")));
    // No run is in progress: the protocol can be switched right away.
    QVERIFY(form.ComboBox1->isEnabled());

    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(form.Button1->text(), QStringLiteral("Update"));
}

void tst_Unit1::cancelDuringTransfer()
{
    publish("[2.0\\Info]\r\nLarge\r\n[2.0\\UpdateID]\r\nUpdateID=9\r\n"
            "[2.0\\Files\\FTP]\r\n/f1.bin=f1.bin\r\n/big.bin=big.bin\r\n/f2.bin=f2.bin\r\n"
            "[2.0\\Run]\r\n1=/opt/tool*\r\n");
    writeSettings(QStringLiteral("FTP"), 5);
    TForm1 form(iniPath);
    form.show();

    // The user clicks twice while the large file arrives: the first click
    // cancels, the second (now on "Update") must not start a run inside it.
    int transfers = 0;
    QStringList captionsInTransfer;
    connect(form.ftp, &FTP_CHECK::OnWorkBegin, this, [&] {
        if (++transfers == 3) {
            QTimer::singleShot(0, form.Button1, &QPushButton::click);
            QTimer::singleShot(0, form.Button1, &QPushButton::click);
        }
    });
    connect(form.ftp, &FTP_CHECK::OnWorkEnd, this, [&] { captionsInTransfer << form.Button1->text(); });
    QTest::mouseClick(form.Button1, Qt::LeftButton);

    QVERIFY(boxes.isEmpty());
    QCOMPARE(transfers, 3);
    // The clicks were handled inside the transfer, which then went on to its end.
    QCOMPARE(captionsInTransfer, QStringList({QStringLiteral("Cancel"), QStringLiteral("Cancel"), QStringLiteral("Update")}));
    QCOMPARE(form.Button1->text(), QStringLiteral("Update"));
    QVERIFY(form.ComboBox1->isEnabled());
    QCOMPARE(ReadAll(install + QStringLiteral("f1.bin")), Bytes(1000, 'b'));
    QVERIFY(!QFile::exists(install + QStringLiteral("big.bin"))); // no partial target
    QVERIFY(!QFile::exists(install + QStringLiteral("f2.bin")));
    QCOMPARE(TProfileFile(iniPath).ReadInteger(QStringLiteral("Settings"), QStringLiteral("UpdateID"), 0), 5);
    QVERIFY(opened.isEmpty());
    QCOMPARE(form.LogLines(), QStringList({QStringLiteral("Large"), QString()}));
    QVERIFY(!form.ftp->Connected());

    // The next run starts afresh and completes.
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(form.Button1->text(), QStringLiteral("Close"));
    QCOMPARE(ReadAll(install + QStringLiteral("big.bin")).size(), 16 * 1024 * 1024);
}

void tst_Unit1::closeDuringRun()
{
    publish(kThreeFiles);
    writeSettings(QStringLiteral("FTP"), 5);
    TForm1 form(iniPath);
    form.show();
    const QString copy = work + QStringLiteral("/update.ini");

    int transfers = 0;
    bool copyGoneWhileRunning = false;
    bool shownWhileRunning = false;
    connect(form.ftp, &FTP_CHECK::OnWorkBegin, this, [&] {
        if (++transfers == 2)
            QTimer::singleShot(0, &form, &QWidget::close);
        if (transfers == 4) {
            copyGoneWhileRunning = !QFile::exists(copy);
            shownWhileRunning = form.isVisible();
        }
    });
    QCOMPARE(runEventLoop([&] { QTest::mouseClick(form.Button1, Qt::LeftButton); }), 0);

    QVERIFY(copyGoneWhileRunning);
    QVERIFY(shownWhileRunning);
    // The run went on to its end before the program ended.
    QCOMPARE(form.LogLines().constLast(), QStringLiteral("Done."));
    QCOMPARE(TProfileFile(iniPath).ReadInteger(QStringLiteral("Settings"), QStringLiteral("UpdateID"), 0), 7);
}

// One connection for the descriptor, one for all the files (nginx keeps it
// alive), and none per file.
void tst_Unit1::httpRunUsesTwoConnections()
{
    publish("[2.0\\UpdateID]\r\nUpdateID=6\r\n"
            "[2.0\\Files\\HTTP]\r\nhttp://127.0.0.1/f1.bin=a.bin\r\nhttp://127.0.0.1/f2.bin=b.bin\r\n"
            "http://127.0.0.1/f3.bin=c.bin\r\n");
    RecordingRelay relay;
    const quint16 nginx = httpPort;
    httpPort = relay.start(nginx);
    writeSettings(QStringLiteral("HTTP"), 5);
    httpPort = nginx;
    TForm1 form(iniPath);
    QTest::mouseClick(form.Button1, Qt::LeftButton);

    QCOMPARE(boxes, QStringList());
    QCOMPARE(form.Button1->text(), QStringLiteral("Close"));
    QCOMPARE(ReadAll(install + QStringLiteral("c.bin")), Bytes(1000, 'd'));
    QCOMPARE(relay.connections(), 2);
    QTRY_COMPARE(relay.received().count("GET "), 4);
}

void tst_Unit1::emptyLinesWithoutInfo_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<bool>("details");
    QTest::addColumn<QStringList>("log"); // %I: the install folder
    const QStringList plain{QString(), QString(), QStringLiteral("Done.")};
    QTest::newRow("FTP") << QStringLiteral("FTP") << false << plain;
    QTest::newRow("HTTP") << QStringLiteral("HTTP") << false << plain;
    QTest::newRow("FTP, details") << QStringLiteral("FTP") << true
                                  << QStringList{QString(), QStringLiteral("Created: %ISub"), QStringLiteral("Update size: 1000 B"),
                                                 QStringLiteral("/f1.bin"), QString(), QStringLiteral("Done.")};
}

// The empty lines around the description stand also when the descriptor has
// no description at all.
void tst_Unit1::emptyLinesWithoutInfo()
{
    QFETCH(QString, protocol);
    QFETCH(bool, details);
    QFETCH(QStringList, log);
    publish(QByteArray("[ShowDetails]\r\nShow=") + (details ? "1" : "0")
            + "\r\n[2.0\\UpdateID]\r\nUpdateID=6\r\n[2.0\\Directory]\r\nSub=1\r\n"
              "[2.0\\Files\\FTP]\r\n/f1.bin=f1.bin\r\n[2.0\\Files\\HTTP]\r\nhttp://127.0.0.1/f1.bin=f1.bin\r\n");
    writeSettings(protocol, 5);
    TForm1 form(iniPath);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(boxes, QStringList());
    log.replaceInStrings(QStringLiteral("%I"), install);
    QCOMPARE(form.LogLines(), log);
    QCOMPARE(form.memo1->toPlainText(), log.join(u'\n'));
}

void tst_Unit1::deliveredProgramStarts_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::newRow("FTP") << QStringLiteral("FTP");
    QTest::newRow("HTTP") << QStringLiteral("HTTP");
}

// A script the update brings as a new file and names in its Run section
// really starts, through the real shell open, with its parameters.
void tst_Unit1::deliveredProgramStarts()
{
    QFETCH(QString, protocol);
    SetShellOpenHandler({});
    publish("[2.0\\UpdateID]\r\nUpdateID=6\r\n"
            "[2.0\\Files\\FTP]\r\n/tool.sh=tool.sh\r\n[2.0\\Files\\HTTP]\r\nhttp://127.0.0.1/tool.sh=tool.sh\r\n"
            "[2.0\\Run]\r\n1=tool.sh|one \"two words\"\r\n");
    writeSettings(protocol, 5);
    TForm1 form(iniPath);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(boxes, QStringList());
    QCOMPARE(form.Button1->text(), QStringLiteral("Close"));
    const QString marker = install + QStringLiteral("marker");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    QCOMPARE(ReadAll(marker), QByteArray("one\ntwo words\n"));
}

QTEST_MAIN(tst_Unit1)
#include "tst_Unit1.moc"
