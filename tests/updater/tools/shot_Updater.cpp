// Screenshot driver for the update window (a tool, not a test: ctest does not
// run it). It needs VANTOR_SCREENSHOT_DIR and a real X server, e.g.
//   VANTOR_SCREENSHOT_DIR=$PWD/docs QT_QPA_PLATFORM=xcb
//     xvfb-run -a -s "-screen 0 1024x768x24" build/tests/shot_Updater
// (both lines as one command)
// It runs an FTP update against the test servers and saves updater-before.png,
// updater-during.png and updater-after.png (the whole screen, via ImageMagick).
#include "ErrorBox.h"
#include "ShellOpen.h"
#include "TestServers.h"
#include "Unit1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class shot_Updater : public QObject
{
    Q_OBJECT
private slots:
    void beforeDuringAfter();
};

// The screen, cut to the window (and a small margin around it).
static bool Shoot(const QWidget &window, const QString &file)
{
    QCoreApplication::processEvents();
    QApplication::sync();
    const QRect r = window.frameGeometry().adjusted(-8, -8, 8, 8);
    const QString crop = QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y());
    return QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                        QStringLiteral("-crop"), crop, QStringLiteral("+repage"), file})
           == 0;
}

void shot_Updater::beforeDuringAfter()
{
    const QString out = qEnvironmentVariable("VANTOR_SCREENSHOT_DIR");
    if (out.isEmpty())
        QFAIL("VANTOR_SCREENSHOT_DIR is not set");
    QApplication::setApplicationDisplayName(QStringLiteral("Update"));
    SetShellOpenHandler([](const QString &, const QString &) {});

    QTemporaryDir serverRoot, local;
    TestServers servers;
    const quint16 ftpPort = servers.startFtp(serverRoot.path());
    QVERIFY2(ftpPort, qPrintable(servers.lastError()));
    QVERIFY(WriteTestFile(serverRoot.filePath(QStringLiteral("Vantor")), QByteArray(300000, 'v')));
    QVERIFY(WriteTestFile(serverRoot.filePath(QStringLiteral("help.zip")), QByteArray(64 * 1024 * 1024, 'h')));
    QVERIFY(WriteTestFile(serverRoot.filePath(QStringLiteral("de.bab")), QByteArray(20000, 'd')));
    QVERIFY(WriteTestFile(serverRoot.filePath(QStringLiteral("update.ini")),
                          "[2.0\\Info]\r\nVantor 2.1 is ready.\r\nSchedules now survive a restart.\r\n"
                          "Please close Vantor before you go on.\r\n"
                          "[ShowDetails]\r\nShow=1\r\n[2.0\\UpdateID]\r\nUpdateID=7\r\n"
                          "[2.0\\Files\\FTP]\r\n/Vantor=Vantor\r\n/help.zip=help.zip\r\n/de.bab=Languages\\de.bab\r\n"
                          "[2.0\\Directory]\r\nLanguages=1\r\n"));
    const QString install = local.filePath(QStringLiteral("app")) + u'/';
    QVERIFY(QDir().mkpath(install) && QDir().mkpath(local.filePath(QStringLiteral("work"))));
    QVERIFY(QDir::setCurrent(local.filePath(QStringLiteral("work"))));
    const QString ini = local.filePath(QStringLiteral("Updater.ini"));
    QVERIFY(WriteTestFile(ini, "[Settings]\r\nCurrentVersion=2.0\r\nInstallDir=" + install.toUtf8()
                                   + "\r\nProtocol=FTP\r\nUpdateID=5\r\n[FTP]\r\nHost=127.0.0.1\r\nPort="
                                   + QByteArray::number(ftpPort)
                                   + "\r\nLocalFile=update.ini\r\nRemoteFile=/update.ini\r\n"));

    TForm1 form(ini);
    form.move(40, 40);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(Shoot(form, out + QStringLiteral("/updater-before.png")));

    bool shot = false;
    connect(form.ftp, &FTP_CHECK::OnWork, this, [&] {
        if (shot || form.ProgressBar2->value() < 40)
            return;
        shot = true;
        // Let the time-left timer tick once, so the label shows what a user sees.
        QTRY_VERIFY_WITH_TIMEOUT(!form.TimeStat->text().isEmpty(), 5000);
        QVERIFY(Shoot(form, out + QStringLiteral("/updater-during.png")));
    });
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QVERIFY(shot);
    QCOMPARE(form.Button1->text(), QStringLiteral("Close"));
    QVERIFY(Shoot(form, out + QStringLiteral("/updater-after.png")));
    QDir::setCurrent(QDir::tempPath());
}

QTEST_MAIN(shot_Updater)
#include "shot_Updater.moc"
